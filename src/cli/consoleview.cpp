#include "cli/consoleview.h"

#include "platform/console.h"
#include "serverlist/marks.h"

#include <cstdio>

namespace velmora::cli {

namespace {

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

ConsoleView::ConsoleView(const serverlist::ServerListModel& lista, bool terminal)
    : lista_(lista), terminal_(terminal) {
    if (!terminal_)
        return;
    timer_.setInterval(kRedrawMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { redraw(); });
    timer_.start();
}

ConsoleView::~ConsoleView() {
    stop();
}

void ConsoleView::printLine(const QString& line) {
    erase();
    write(stdout, line + QLatin1Char('\n'));
}

void ConsoleView::printError(const QString& line) {
    erase();
    write(stderr, line + QLatin1Char('\n'));
}

void ConsoleView::stop() {
    timer_.stop();
    erase();
}

QStringList ConsoleView::rowsAtWork() const {
    const platform::TerminalSize size = terminalSize(platform::ConsoleStream::Output);
    // One column short of the width, so that no line wraps and the cursor
    // goes back over exactly the lines drawn.
    const int width = size.columns > 1 ? size.columns - 1 : 79;
    const int room = size.rows > 3 ? size.rows - 2 : 10;
    QStringList lines;
    int more = 0;
    for (int row = 0; row < lista_.count(); ++row) {
        if (lista_.mark(row) != serverlist::MarkWorking)
            continue;
        if (lines.size() + 1 >= room) {
            ++more;
            continue;
        }
        const QString line = QStringLiteral("  row ") + QString::number(row + 1) +
                             QStringLiteral("  ") + lista_.subItem(row, 0).rightJustified(4) +
                             QStringLiteral("  ") + lista_.subItem(row, 1) + QStringLiteral("  ") +
                             serverlist::ServerListModel::displayText(lista_.caption(row));
        lines.append(line.left(width));
    }
    if (more > 0)
        lines.append(QStringLiteral("  ... and %1 more rows at work").arg(more).left(width));
    return lines;
}

void ConsoleView::redraw() {
    const QStringList lines = rowsAtWork();
    if (lines == shown_)
        return;
    erase();
    if (lines.isEmpty())
        return;
    write(stdout, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    shown_ = lines;
}

void ConsoleView::erase() {
    if (shown_.isEmpty())
        return;
    // Up over the lines drawn, then clear to the end of the screen.
    write(stdout, QStringLiteral("\x1b[%1A\r\x1b[J").arg(shown_.size()));
    shown_.clear();
}

} // namespace velmora::cli
