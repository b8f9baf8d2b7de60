#pragma once

#include "batch/batchcontext.h"
#include "batch/batchwindow.h"
#include "fileset/fileset.h"
#include "platform/result.h"
#include "robocopy/robocopyrun.h"
#include "serverlist/serverlistmodel.h"
#include "serverlist/serverquery.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTableView;
class QTimer;
class QToolButton;
class QTreeWidget;

namespace velmora::app {

class LimitSpinBox;

// A menu item's own enabled state. Qt reports a hidden item as disabled, but
// an item keeps its state while hidden (the hidden robocopy item is enabled
// with the file set all the same), so the state is kept with the item too.
inline constexpr const char* kItemEnabledProperty = "itemEnabled";
void setMenuItemEnabled(QAction* item, bool enabled);
bool isMenuItemEnabled(const QAction* item);

class Journal;

// Where the program finds its files: the folder of the executable (with its
// trailing separator), and the server list found at start-up (empty:
// serveri.txt in the program's folder).
struct ProgramPaths {
    std::string programFolder;
    std::string serverListFile{};
};

// The main window: the server list, the file to send, the log panes, the
// state labels, the limit field and the two context menus. Controls keep the
// names of the original layout so that they can be found by name. The batches
// reach it as their BatchWindow, on the main thread only.
class TForm1 : public QWidget, public batch::BatchWindow {
    Q_OBJECT
public:
    // The batches reach files through fileSystems (tests put a faulty one in).
    explicit TForm1(ProgramPaths paths,
                    batch::FileSystemResolver fileSystems = platform::fileSystemFor,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // What other parts of the program read and write on the main thread.
    serverlist::ServerListModel& lista() override { return listaModel_; }
    fileset::FileSet& fileSet() override { return fileSet_; }
    batch::OperationState& operationState() { return batchContext_->state(); }
    const std::shared_ptr<batch::BatchContext>& batchContext() const { return batchContext_; }
    const std::string& robocopyTempPath() const { return robocopyTempPath_; }
    // The selected server row, -1 when none is selected.
    int selectedRow() const;
    void selectRow(int row);
    void appendMemo1(const QString& line) override;
    void appendMemo2(const QString& line) override;
    void setStateLabel(batch::StateColour colour, const QString& caption) override;
    // The menu item of a name of the layout (Kopiraj1, Dodajfajl1, ...).
    QAction* menuItem(const QString& name) const;
    QMenu* popupMenu1() const { return PopupMenu1; }
    QMenu* popupMenu2() const { return PopupMenu2; }
    // The database query, so that tests can point it at their own database.
    serverlist::ServerQuery& kveri() { return Kveri; }
    // The robocopy runs given whose end has not come yet (their tools neither
    // seen starting nor reported as not started).
    int robocopyRunsInFlight() const { return robocopyRunsInFlight_; }

    // What a robocopy run works on: the selected row and its run.
    struct RobocopyTarget {
        int row;
        robocopy::ToolRun run;
    };

    // The operations journal the window writes (the program's own unless a
    // test gives another).
    Journal& journal() { return *journal_; }
    void setJournal(Journal& journal) { journal_ = &journal; }
    void rowReported(const batch::RowReport& report) override;
    void batchEnded(const batch::BatchSummary& summary) override;
    // A row's tooltip: its full path, then its last outcome with the
    // system's reason, where the window has heard of one in this load.
    QString rowToolTip(int row) const;

public slots:
    // Window and log panes.
    void Timer1Timer();
    void Info1Click();
    void Krajprograma1Click();
    void SpeedButton1Click();
    void SpeedButton2Click();

    // Server list.
    void ListaDblClick();
    void Loadfromserveriinifile1Click();
    void Loadfromdatabase1Click();

    // Batches.
    void Kopiraj1Click();
    void Proveriverzije1Click();
    void Proveridalipostojiracunar1Click();
    void Prekinioperacuju1Click();

    // Select commands.
    void Oznacisve1Click();
    void Obrisisve1Click();
    void Oznacidostupne1Click();
    void Oznacinedostupne1Click();
    void Oznaikaouspenokopirane1Click();
    void Oznacisamoneuspesne1Click();
    void Oznaisvenepoznate1Click();
    void Oznailoeverzije1Click();
    void Oznaidobreverzije1Click();
    // Paint commands.
    void Oznaikaodostupan1Click();
    void Oznaiizabranikaoneuraen1Click();
    void Oznaiizabranikaodajedobraverzija1Click();
    void Oznaiizabranikaodajeloaverzija1Click();
    void Oznaiizabranikaodajenepoznat1Click();
    void ekiraniobojkaonedostupan1Click();
    void ekiranimobriiinformacije1Click();

    // Robocopy runs and network tools for the selected server.
    void Kopirajsarobocopy1Click();
    void Kopirajsaexternimrobocopy1Click();
    void Ping1Click();
    void Pingt1Click();
    void Otvorifolder1Click();

    // File set.
    void Dodajfajl1Click();
    void Obrisilistu1Click();
    void Otvorifolder2Click();
    void Pokrenifajl1Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void buildControls();
    void buildMenus();
    void loadServerFile();
    void setFileMenuState(bool fileHeld);
    void startPing(bool continuous);
    enum class RobocopyTool { Embedded, External };
    void handOffToRobocopy(const RobocopyTarget& target, RobocopyTool tool);
    // On the main thread, when a run's steps have ended.
    void robocopyRunEnded(int row, std::uint64_t generation, RobocopyTool tool,
                          const platform::Result<robocopy::StartOutcome>& outcome);
    // The journal's record of a one-server command (robocopy, ping, open
    // folder), with the command's own fields.
    void journalTool(const QString& command, int row, const QString& outcome,
                     const std::string& reason, const QJsonObject& fields = {});
    void journalTool(const QString& command, int row, const platform::Status& started,
                     const QJsonObject& fields = {});
    // The last outcome of a row, for its tooltip.
    struct RowNote {
        QString operation;
        QDateTime when;
        QString outcome;
        QString reason;
    };
    void noteRow(int row, RowNote note);
    // The paint commands set the checked rows' texts by hand: what the window
    // heard of those rows no longer describes them.
    void forgetNotesOfCheckedRows();
    void journalRobocopy(const QString& command, int row, const robocopy::ToolRun& run,
                         const std::string& tool,
                         const platform::Result<robocopy::StartOutcome>& outcome);
    void journalStart();
    void journalExit();
    // The owner of any message the desktop shell shows for this window.
    void* shellOwner();

    ProgramPaths paths_;
    std::string robocopyTempPath_;
    serverlist::ServerListModel listaModel_;
    serverlist::ServerQuery Kveri;
    fileset::FileSet fileSet_;
    std::shared_ptr<batch::BatchContext> batchContext_;
    bool shown_ = false;
    int robocopyRunsInFlight_ = 0;
    Journal* journal_;
    QHash<int, RowNote> rowNotes_;
    std::uint64_t notesGeneration_ = 0;

    QTreeWidget* Fajlovi = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Image2 = nullptr;
    LimitSpinBox* Ssss = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QTableView* Lista = nullptr;
    QTimer* Timer1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QHash<QString, QAction*> menuItems_;
};

} // namespace velmora::app
