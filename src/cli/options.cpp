#include "cli/options.h"

#include <charconv>

namespace velmora::cli {

namespace {

platform::Error usage(std::string message) {
    return platform::Error{0, std::move(message)};
}

bool endsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

platform::Result<int> parseLimit(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < kMinimumLimit ||
        value > kMaximumLimit)
        return usage("--limit takes a whole number from " + std::to_string(kMinimumLimit) + " to " +
                     std::to_string(kMaximumLimit) + ", not \"" + text + "\"");
    return value;
}

platform::Result<ReportTarget> parseReport(const std::string& path) {
    if (endsWith(path, ".json"))
        return ReportTarget{path, ReportFormat::Json};
    if (endsWith(path, ".csv"))
        return ReportTarget{path, ReportFormat::Csv};
    return usage("--report names a file ending in .json or .csv, not \"" + path + "\"");
}

} // namespace

platform::Result<CommandLine> parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    Options& options = line.options;
    std::optional<batch::BatchKind> command;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (name.rfind("--", 0) == 0) {
            if (const std::size_t equals = name.find('='); equals != std::string::npos) {
                value = name.substr(equals + 1);
                name.resize(equals);
            }
        }
        if (name == "--help" || name == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (name == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        }
        if (name.rfind("-", 0) != 0) {
            if (command)
                return usage("one command only; \"" + name + "\" is one too many");
            if (name == "copy")
                command = batch::BatchKind::Copy;
            else if (name == "check")
                command = batch::BatchKind::VersionCheck;
            else if (name == "reach")
                command = batch::BatchKind::Reachability;
            else
                return usage("unknown command \"" + name + "\" (copy, check or reach)");
            continue;
        }
        const bool takesValue = name == "--servers" || name == "--file" || name == "--limit" ||
                                name == "--rows" || name == "--only-failed" || name == "--report";
        if (!takesValue)
            return usage("unknown option \"" + name + "\"");
        if (!value) {
            if (i + 1 == arguments.size())
                return usage(name + " needs a value");
            value = arguments[++i];
        }
        if (name == "--servers") {
            options.servers = *value;
        } else if (name == "--file") {
            options.file = *value;
        } else if (name == "--limit") {
            auto limit = parseLimit(*value);
            if (!limit)
                return limit.error();
            options.limit = limit.value();
        } else if (name == "--rows") {
            auto rows = parseRowRanges(*value);
            if (!rows)
                return rows.error();
            options.rows = std::move(rows).value();
        } else if (name == "--only-failed") {
            options.onlyFailed = *value;
        } else {
            auto report = parseReport(*value);
            if (!report)
                return report.error();
            options.reports.push_back(std::move(report).value());
        }
    }

    if (!command)
        return usage("no command given (copy, check or reach)");
    options.kind = *command;
    if (options.servers.empty())
        return usage("--servers FILE is needed: the list of server folders");
    const bool needsFile = options.kind != batch::BatchKind::Reachability;
    if (needsFile && options.file.empty())
        return usage(std::string(batch::batchKindName(options.kind)) +
                     " needs --file PATH: the file to " +
                     (options.kind == batch::BatchKind::Copy ? "send" : "compare with"));
    if (!needsFile && !options.file.empty())
        return usage("reach takes no --file");
    return line;
}

std::string usageText() {
    return R"(Usage: velmora-cli COMMAND --servers FILE [OPTIONS]

Runs one batch of Velmora over a list of server folders, without the window,
and ends when its last server is done.

Commands:
  copy     copy the file to every picked server folder, keeping the server's
           previous copy as _NAME (needs --file)
  check    compare the server's copy with the file by size and time stamp
           (needs --file)
  reach    test whether each picked server folder can be reached

Options:
  --servers FILE       the server list: one folder per line, as serveri.txt
                       (\\host\share\folder or a local folder)
  --file PATH          the file to send (copy) or to compare with (check)
  --limit N            servers worked on at once, 2 to 200 (default 10)
  --rows LIST          only these rows of the list, numbered from 1: 3,5-9
  --only-failed REPORT only the rows that did not succeed in an earlier
                       report (JSON or CSV, matched by the row's text)
  --report FILE        write a report: FILE.json or FILE.csv; may be given
                       twice, once for each form
  --help               show this text
  --version            show the version

Every row of the list is picked unless --rows or --only-failed say otherwise
(both together: the rows in both). On a terminal the rows at work show their
progress; otherwise one line is written per row as it ends. A summary follows.

Ctrl-C (or SIGTERM) aborts the running copies, starts no further row, and
ends once the running work has ended; a second Ctrl-C stops waiting for
checks that still wait on a server. A copy that has begun to put its file
in place always finishes, so that no server is left without its program.

Exit status: 0 every row succeeded, 1 some rows failed, 2 bad usage or no
list, 3 interrupted.
)";
}

} // namespace velmora::cli
