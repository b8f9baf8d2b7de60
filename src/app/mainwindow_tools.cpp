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
#include "serverlist/systemtext.h"

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
        dialogs::showMessage(&form, serverlist::decodeSystemText(checked.error().message));
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
    const std::uint64_t generation = listaModel_.generation();
    const std::string toolPath = tool == RobocopyTool::Embedded
                                     ? robocopyTempPath_
                                     : paths_.programFolder + robocopy::kExternalToolName;
    ++robocopyRunsInFlight_;
    auto* handOff = new robocopy::RobocopyHandOff(
        batchContext_, std::move(steps),
        [target, generation, tool, toolPath](
            batch::BatchWindow& window, const platform::Result<robocopy::StartOutcome>& outcome) {
            auto& form = static_cast<TForm1&>(window);
            form.journalRobocopy(tool == RobocopyTool::Embedded
                                     ? QStringLiteral("robocopy")
                                     : QStringLiteral("robocopy-external"),
                                 target.row, target.run, toolPath, outcome);
            form.robocopyRunEnded(target.row, generation, tool, outcome);
        });
    handOff->Start();
}

void TForm1::robocopyRunEnded(int row, std::uint64_t generation, RobocopyTool tool,
                              const platform::Result<robocopy::StartOutcome>& outcome) {
    --robocopyRunsInFlight_;
    if (!outcome) {
        dialogs::showMessage(this, serverlist::decodeSystemText(outcome.error().message));
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
    const QString command = continuous ? QStringLiteral("ping -t") : QStringLiteral("ping");
    if (!host) {
        journalTool(command, row, QStringLiteral("bad-server"), {});
        dialogs::showMessage(this, QStringLiteral("Nije dobar server!"));
        return;
    }
    // The host name is a row's text; ping takes it in the system's character
    // set. Whether ping answers is for the user to read in its own window.
    const std::string systemHost = platform::listTextForSystem(*host);
    journalTool(command, row, platform::shellStartPing(systemHost, continuous, shellOwner()),
                {{QStringLiteral("host"), serverlist::decodeSystemText(systemHost)}});
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
    journalTool(QStringLiteral("open-folder"), row,
                platform::shellOpen(listaModel_.caption(row), shellOwner()));
}

} // namespace velmora::app
