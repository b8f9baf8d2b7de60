// The commands for the one selected server: hand the copy to robocopy, ping
// the server, open its folder. They start outside programs and return at once.
#include "app/mainwindow.h"

#include "app/dialogs.h"
#include "nettools/hostname.h"
#include "platform/shell.h"
#include "robocopy/robocopyrun.h"
#include "serverlist/marks.h"
#include "serverlist/systemtext.h"

#include <optional>

namespace velmora::app {

namespace {

struct RobocopyTarget {
    int row;
    robocopy::ToolRun run;
};

// The selected row and what a robocopy run works on; none, after the message
// where one is due, when no row is selected or no file is held (the items are
// enabled only while a file is held: without one there is nothing to hand over).
std::optional<RobocopyTarget> robocopyTarget(TForm1& form) {
    const int row = form.selectedRow();
    if (row < 0) {
        dialogs::showMessage(&form, QStringLiteral("Izaberite lokaciju!"));
        return std::nullopt;
    }
    if (!form.fileSet().isHeld())
        return std::nullopt;
    return RobocopyTarget{row, {form.lista().caption(row), form.fileSet().path()}};
}

} // namespace

void* TForm1::shellOwner() {
#ifdef _WIN32
    return reinterpret_cast<void*>(winId());
#else
    return nullptr;
#endif
}

void TForm1::markHandedToRobocopy(int row) {
    listaModel_.setMark(row, serverlist::MarkRobocopy);
    listaModel_.setSubItem(row, 1, QStringLiteral("kopirano sa robocopy"));
}

void TForm1::Kopirajsarobocopy1Click() {
    const auto target = robocopyTarget(*this);
    if (!target)
        return;
    const auto run = robocopy::runEmbeddedTool(target->run, robocopyTempPath_, shellOwner());
    if (!run) {
        dialogs::showMessage(this, serverlist::decodeSystemText(run.error().message));
        return;
    }
    if (run.value() == robocopy::StartOutcome::Started)
        markHandedToRobocopy(target->row);
}

void TForm1::Kopirajsaexternimrobocopy1Click() {
    const auto target = robocopyTarget(*this);
    if (!target)
        return;
    const auto run = robocopy::runExternalTool(target->run, paths_.programFolder, shellOwner());
    if (!run) {
        dialogs::showMessage(this, serverlist::decodeSystemText(run.error().message));
        return;
    }
    if (run.value() == robocopy::StartOutcome::ToolMissing) {
        dialogs::showMessage(this, QStringLiteral("Nemate robocopy.exe u foderu gde je program!"));
        return;
    }
    markHandedToRobocopy(target->row);
}

void TForm1::startPing(bool continuous) {
    const int row = selectedRow();
    if (row < 0)
        return;
    const auto host = nettools::hostNameOf(listaModel_.caption(row));
    if (!host) {
        dialogs::showMessage(this, QStringLiteral("Nije dobar server!"));
        return;
    }
    // Whether ping answers is for the user to read in its own window.
    (void)platform::shellStartPing(*host, continuous, shellOwner());
}

void TForm1::Ping1Click() {
    startPing(false);
}

void TForm1::Pingt1Click() {
    startPing(true);
}

void TForm1::Otvorifolder1Click() {
    const int row = selectedRow();
    if (row < 0)
        return;
    // The path goes to the shell untested; the shell reports what it cannot open.
    (void)platform::shellOpen(listaModel_.caption(row), shellOwner());
}

} // namespace velmora::app
