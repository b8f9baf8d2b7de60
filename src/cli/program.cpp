#include "cli/program.h"

#include "app/formats.h"
#include "cli/consoleview.h"
#include "cli/consolewindow.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/rollout.h"
#include "cli/selection.h"
#include "platform/console.h"
#include "serverlist/filesource.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <string>
#include <vector>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0"
#endif

namespace velmora::cli {

namespace {

int usageError(const std::string& message) {
    std::fprintf(stderr, "velmora-cli: %s\nTry 'velmora-cli --help'.\n", message.c_str());
    return Rollout::BadUsage;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "velmora-cli: %s\n", message.c_str());
    return Rollout::BadUsage;
}

// The folder a report goes to must be there and take files, so that a run is
// not spent before the report is found to have no place.
bool reportFolderWritable(const std::string& path) {
    const QFileInfo folder(QFileInfo(QFile::decodeName(path.c_str())).absolutePath());
    return folder.isDir() && folder.isWritable();
}

} // namespace

int runCommandLine(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = parseCommandLine(arguments);
    if (!parsed)
        return usageError(parsed.error().message);
    const CommandLine& line = parsed.value();
    if (line.action == CommandLine::Action::Help) {
        std::fputs(usageText().c_str(), stdout);
        return Rollout::AllSucceeded;
    }
    if (line.action == CommandLine::Action::Version) {
        std::printf("velmora-cli %s\n", VELMORA_VERSION);
        return Rollout::AllSucceeded;
    }
    const Options& options = line.options;

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-cli"));
    app::applyProgramFormats();

    ConsoleWindow window;
    // The list is read by the window's own load: the same line rules and
    // character set.
    if (platform::Status loaded = serverlist::loadServerFile(window.lista(), options.servers);
        !loaded)
        return failure("cannot read the server list " + options.servers + ": " +
                       loaded.error().message);
    if (window.lista().count() == 0)
        return failure("the server list " + options.servers + " has no rows");

    std::optional<std::vector<QString>> failedBefore;
    if (!options.onlyFailed.empty()) {
        auto failed = failedRowTexts(options.onlyFailed);
        if (!failed)
            return failure(failed.error().message);
        failedBefore = std::move(failed).value();
    }
    auto selection = pickRows(window.lista(), options.rows, failedBefore);
    if (!selection)
        return usageError(selection.error().message);
    for (const QString& text : selection.value().missing)
        std::fprintf(stderr, "velmora-cli: note: %s failed in %s but is not in the list\n",
                     text.toLocal8Bit().constData(), options.onlyFailed.c_str());

    if (options.kind != batch::BatchKind::Reachability) {
        auto added = window.fileSet().add(options.file);
        if (!added)
            return failure("cannot read the file " + options.file + ": " + added.error().message);
        // Without its time stamp the copies could not be stamped, and the
        // version check would have nothing to compare.
        if (added.value() == fileset::FileSet::AddOutcome::EntryMissing)
            return failure("cannot read the time stamp of the file " + options.file);
    }
    for (const ReportTarget& report : options.reports)
        if (!reportFolderWritable(report.path))
            return failure("cannot write the report " + report.path +
                           ": its folder is missing or takes no files");

    const bool terminal = platform::isTerminal(platform::ConsoleStream::Output) &&
                          platform::enableTerminalSequences(platform::ConsoleStream::Output);
    ConsoleView view(window.lista(), terminal);
    Rollout rollout(options, window, view, selection.value().rows);
    if (selection.value().rows.empty()) {
        // Every row that failed before is in the list no more or has not
        // failed: nothing to do, which is no failure.
        view.printLine(QStringLiteral("Nothing to do: no row of the list failed in ") +
                       QString::fromLocal8Bit(options.onlyFailed) + QLatin1Char('.'));
        const RunRecord run = rollout.record();
        return writeReports(options, run, view) ? Rollout::AllSucceeded : Rollout::SomeFailed;
    }
    rollout.start();
    return QCoreApplication::exec();
}

} // namespace velmora::cli
