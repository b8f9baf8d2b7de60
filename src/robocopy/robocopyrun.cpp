#include "robocopy/robocopyrun.h"

#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/programfile.h"
#include "platform/resources.h"

#include <mutex>
#include <set>

namespace velmora::robocopy {

namespace {

std::string backupName(const ToolRun& run) {
    return "_" + platform::fileNamePart(run.filePath);
}

bool holdsQuote(const std::string& path) {
    return path.find('"') != std::string::npos;
}

// A temp path from which a run of this program writes or starts the tool. Until
// the tool runs, the file is not busy yet, so a second run would replace it
// under the first: it is refused instead, as it is once the tool runs.
class ToolFileClaim {
public:
    explicit ToolFileClaim(std::string path) : path_(std::move(path)) {
        std::lock_guard lock(mutex());
        held_ = claimed().insert(path_).second;
    }
    ~ToolFileClaim() {
        if (!held_)
            return;
        std::lock_guard lock(mutex());
        claimed().erase(path_);
    }
    ToolFileClaim(const ToolFileClaim&) = delete;
    ToolFileClaim& operator=(const ToolFileClaim&) = delete;
    bool held() const { return held_; }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::set<std::string>& claimed() {
        static std::set<std::string> instance;
        return instance;
    }

    std::string path_;
    bool held_ = false;
};

platform::Error cannotCreate(const std::string& tempPath, platform::Error error) {
    error.message = "Cannot create file \"" + tempPath + "\". " + error.message;
    return error;
}

// The backup is taken before the tool starts, so it can only ever move the
// previous copy, never the one the tool writes. If the tool is not seen
// running, the previous copy goes back in place: the server keeps its program
// (a rename that never replaces, so a copy the tool has made after all stays).
platform::Status startWithBackup(const ToolRun& run, const std::string& tool,
                                 platform::WindowOwner owner) {
    const bool moved = backupPreviousCopy(run);
    const platform::Status started =
        platform::shellStartConsoleProgram(tool, robocopyArguments(run), owner);
    if (started)
        return {};
    if (moved) {
        const std::string name = platform::fileNamePart(run.filePath);
        (void)platform::fileSystemFor(run.serverPath)
            .renameNoReplace(platform::joinPath(run.serverPath, backupName(run)),
                             platform::joinPath(run.serverPath, name));
    }
    platform::Error error = started.error();
    error.message = "Cannot start \"" + tool + "\". " + error.message;
    return error;
}

} // namespace

std::string robocopyArguments(const ToolRun& run) {
    return "\"" + platform::folderWithoutTrailingDelimiter(platform::folderPart(run.filePath)) +
           "\" \"" + run.serverPath + "\" \"" + platform::fileNamePart(run.filePath) + "\" /Z ";
}

platform::Status checkRun(const ToolRun& run) {
    if (run.serverPath.empty() || holdsQuote(run.serverPath))
        return platform::Error{0, "Nije dobar server!"};
    if (holdsQuote(run.filePath))
        return platform::Error{0, "\"" + run.filePath +
                                      "\" holds a double quote, which the tool cannot be given."};
    return {};
}

bool backupPreviousCopy(const ToolRun& run) {
    platform::FileSystem& files = platform::fileSystemFor(run.serverPath);
    const std::string backup = platform::joinPath(run.serverPath, backupName(run));
    (void)files.deleteFile(backup);
    return files
        .renameNoReplace(platform::joinPath(run.serverPath, platform::fileNamePart(run.filePath)),
                         backup)
        .ok();
}

platform::Result<StartOutcome> runEmbeddedTool(const ToolRun& run, const std::string& tempPath,
                                               platform::WindowOwner owner) {
    if (platform::Status checked = checkRun(run); !checked)
        return checked.error();
    const ToolFileClaim claim(tempPath);
    if (!claim.held())
        return cannotCreate(tempPath, platform::programFileInUse());
    auto tool = platform::findModuleResource(kToolResourceType, kToolResourceName);
    if (!tool) {
        platform::Error error = tool.error();
        error.message = std::string("Resource ") + kToolResourceName + " not found";
        return error;
    }
    if (platform::Status written =
            platform::writeProgramFile(tempPath, tool.value().data, tool.value().size);
        !written)
        return cannotCreate(tempPath, written.error());
    platform::FileSystem& local = platform::localFileSystem();
    if (!local.fileExists(tempPath))
        return StartOutcome::ToolMissing;
    if (platform::Status started = startWithBackup(run, tempPath, owner); !started) {
        (void)local.deleteFile(tempPath);
        return started.error();
    }
    // A started tool runs from the file, which stays until the next run
    // replaces it (Windows refuses to delete it).
    return StartOutcome::Started;
}

platform::Result<StartOutcome> runExternalTool(const ToolRun& run, const std::string& programFolder,
                                               platform::WindowOwner owner) {
    if (platform::Status checked = checkRun(run); !checked)
        return checked.error();
    const std::string tool = programFolder + kExternalToolName;
    if (!platform::localFileSystem().fileExists(tool))
        return StartOutcome::ToolMissing;
    if (platform::Status started = startWithBackup(run, tool, owner); !started)
        return started.error();
    return StartOutcome::Started;
}

} // namespace velmora::robocopy
