#pragma once

#include "batch/rowreport.h"
#include "cli/rowranges.h"
#include "platform/result.h"

#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

enum class ReportFormat { Json, Csv };

struct ReportTarget {
    std::string path;
    ReportFormat format = ReportFormat::Json;
};

// What one run of velmora-cli is to do. Paths stay the bytes they were given.
struct Options {
    batch::BatchKind kind = batch::BatchKind::Copy;
    std::string servers;           // --servers: the server list, in serveri.txt's form
    std::string file;              // --file: the file to send or compare (copy, check)
    int limit = 10;                // --limit: live workers at most, 2..200
    std::optional<RowRanges> rows; // --rows
    std::string onlyFailed;        // --only-failed: an earlier report
    std::vector<ReportTarget> reports;
};

struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    Options options;
};

constexpr int kMinimumLimit = 2;
constexpr int kMaximumLimit = 200;

// Reads the arguments after the program's name. A usage error comes back as
// an error whose message says in plain words what is wrong.
platform::Result<CommandLine> parseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string usageText();

} // namespace velmora::cli
