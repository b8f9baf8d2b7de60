// The commands for the one selected server: hand the copy to robocopy, ping
// the server, open its folder. They start outside programs and return at once.
#include "app/mainwindow.h"

#include "app/dialogs.h"
#include "nettools/hostname.h"
#include "platform/listcharset.h"
#include "platform/shell.h"
#include "robocopy/robocopyhandoff.h"
#include "robocopy/robocopyrun.h"
#include "serverlist/marks.h"

#include <optional>

namespace velmora::app {

namespace {

// The selected row and what a robocopy run works on; none, after the message
// where one is due, when no row is selected, no file is held (the items are
// enabled only while a file is held: without one there is nothing to hand
// over), or the row cannot be handed to the tool.
std::optional<TForm1::RobocopyTarget> robocopyTarget(TForm1& form) {
    const int row = form.selectedRow();
    if (row < 0) {
        dialogs::showMessage(&form, QStringLiteral("Izaberite lokaciju!"));
        return std::nullopt;
    }
    if (!form.fileSet().isHeld())
        return std::nullopt;
    TForm1::RobocopyTarget target{row, {form.lista().caption(row), form.fileSet().path()}};
    if (const platform::Status checked = robocopy::checkRun(target.run); !checked) {
        dialogs::showMessage(&form, QString::fromLocal8Bit(checked.error().message));
        return std::nullopt;
    }
    return target;
}

} // namespace

void* TForm1::shellOwner() {
#ifdef _WIN32
    return reinterpret_cast<void*>(winId());
#else
    return nullptr;
#endif
}

void TForm1::handOffToRobocopy(const RobocopyTarget& target, RobocopyTool tool) {
    // The run moves the server's copy and waits for the tool to start: on a
    // thread of its own, so that the window goes on. The row is marked once
    // the tool is seen starting, if the list still holds the same rows.
    robocopy::RobocopyHandOff::Steps steps;
    if (tool == RobocopyTool::Embedded)
        steps = [run = target.run, tempPath = robocopyTempPath_, owner = shellOwner()] {
            return robocopy::runEmbeddedTool(run, tempPath, owner);
        };
    else
        steps = [run = target.run, folder = paths_.programFolder, owner = shellOwner()] {
            return robocopy::runExternalTool(run, folder, owner);
        };
    const int row = target.row;
    const std::uint64_t generation = listaModel_.generation();
    ++robocopyRunsInFlight_;
    auto* handOff = new robocopy::RobocopyHandOff(
        batchContext_, std::move(steps),
        [row, generation, tool](batch::BatchWindow& window,
                                const platform::Result<robocopy::StartOutcome>& outcome) {
            static_cast<TForm1&>(window).robocopyRunEnded(row, generation, tool, outcome);
        });
    handOff->Start();
}

void TForm1::robocopyRunEnded(int row, std::uint64_t generation, RobocopyTool tool,
                              const platform::Result<robocopy::StartOutcome>& outcome) {
    --robocopyRunsInFlight_;
    if (!outcome) {
        dialogs::showMessage(this, QString::fromLocal8Bit(outcome.error().message));
        return;
    }
    switch (outcome.value()) {
    case robocopy::StartOutcome::Started:
        if (generation == listaModel_.generation()) {
            listaModel_.setMark(row, serverlist::MarkRobocopy);
            listaModel_.setSubItem(row, 1, QStringLiteral("kopirano sa robocopy"));
        }
        break;
    case robocopy::StartOutcome::ToolMissing:
        if (tool == RobocopyTool::External)
            dialogs::showMessage(this,
                                 QStringLiteral("Nemate robocopy.exe u foderu gde je program!"));
        break;
    }
}

void TForm1::Kopirajsarobocopy1Click() {
    if (const auto target = robocopyTarget(*this))
        handOffToRobocopy(*target, RobocopyTool::Embedded);
}

void TForm1::Kopirajsaexternimrobocopy1Click() {
    if (const auto target = robocopyTarget(*this))
        handOffToRobocopy(*target, RobocopyTool::External);
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
    // The host name is a row's text; ping takes it in the system's character
    // set. Whether ping answers is for the user to read in its own window.
    (void)platform::shellStartPing(platform::listTextForSystem(*host), continuous, shellOwner());
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
