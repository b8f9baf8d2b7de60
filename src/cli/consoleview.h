#pragma once

#include "serverlist/serverlistmodel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace velmora::cli {

// What the console shows. Lines are written as they come, to standard output
// (errors to standard error). On a terminal the rows at work (marked working)
// are shown below them, one line each with their "%" and "Informacije" texts,
// redrawn at most ten times a second; elsewhere nothing but the lines.
class ConsoleView final : public QObject {
public:
    ConsoleView(const serverlist::ServerListModel& lista, bool terminal);
    ~ConsoleView() override;

    void printLine(const QString& line);
    void printError(const QString& line);
    // Takes the rows at work off the terminal, for the last lines.
    void stop();

    static constexpr int kRedrawMilliseconds = 100;

private:
    void redraw();
    void erase();
    QStringList rowsAtWork() const;

    const serverlist::ServerListModel& lista_;
    bool terminal_;
    QTimer timer_;
    QStringList shown_;
};

} // namespace velmora::cli
