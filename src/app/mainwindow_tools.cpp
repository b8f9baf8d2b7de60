// The commands for the one selected server: hand the copy to robocopy, ping
// the server, open its folder. They start outside programs and return at once.
#include "app/mainwindow.h"

#include "app/dialogs.h"
#include "nettools/hostname.h"
#include "platform/shell.h"
#include "robocopy/robocopyrun.h"
#include "serverlist/marks.h"

namespace velmora::app {

namespace {
const QString kChooseServer = QStringLiteral("Izaberite lokaciju!");
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
    const int row = selectedRow();
    if (row < 0) {
        dialogs::showMessage(this, kChooseServer);
        return;
    }
    // The item is enabled only while a file is held; without one there is
    // nothing to hand over.
    if (!fileSet_.isHeld())
        return;
    const auto run = robocopy::runEmbeddedTool({listaModel_.caption(row), fileSet_.path()},
                                               robocopyTempPath_, shellOwner());
    if (!run) {
        dialogs::showMessage(this, QString::fromLocal8Bit(run.error().message));
        return;
    }
    if (run.value() == robocopy::StartOutcome::Started)
        markHandedToRobocopy(row);
}

void TForm1::Kopirajsaexternimrobocopy1Click() {
    const int row = selectedRow();
    if (row < 0) {
        dialogs::showMessage(this, kChooseServer);
        return;
    }
    if (!fileSet_.isHeld())
        return;
    const auto outcome = robocopy::runExternalTool({listaModel_.caption(row), fileSet_.path()},
                                                   paths_.programFolder, shellOwner());
    if (outcome == robocopy::StartOutcome::ToolMissing) {
        dialogs::showMessage(this, QStringLiteral("Nemate robocopy.exe u foderu gde je program!"));
        return;
    }
    markHandedToRobocopy(row);
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
