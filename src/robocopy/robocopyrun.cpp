#include "robocopy/robocopyrun.h"

#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/programfile.h"
#include "platform/resources.h"

namespace velmora::robocopy {

namespace {

std::string backupName(const ToolRun& run) {
    return "_" + platform::fileNamePart(run.filePath);
}

// The backup is taken before the tool starts, so it can only ever move the
// previous copy, never the one the tool writes. If the tool cannot be started
// at all, the previous copy goes back in place: the server keeps its program.
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
    auto tool = platform::findModuleResource(kToolResourceType, kToolResourceName);
    if (!tool) {
        platform::Error error = tool.error();
        error.message = std::string("Resource ") + kToolResourceName + " not found";
        return error;
    }
    if (platform::Status written =
            platform::writeProgramFile(tempPath, tool.value().data, tool.value().size);
        !written) {
        platform::Error error = written.error();
        error.message = "Cannot create file \"" + tempPath + "\". " + error.message;
        return error;
    }
    platform::FileSystem& local = platform::localFileSystem();
    if (!local.fileExists(tempPath))
        return StartOutcome::ToolMissing;
    if (platform::Status started = startWithBackup(run, tempPath, owner); !started) {
        (void)local.deleteFile(tempPath);
        return started.error();
    }
    // A started tool runs from the file, which stays until the next run
    // replaces it (Windows refuses to delete it; a terminal may start the tool
    // only a moment after the start has returned).
    return StartOutcome::Started;
}

platform::Result<StartOutcome> runExternalTool(const ToolRun& run, const std::string& programFolder,
                                               platform::WindowOwner owner) {
    const std::string tool = programFolder + kExternalToolName;
    if (!platform::localFileSystem().fileExists(tool))
        return StartOutcome::ToolMissing;
    if (platform::Status started = startWithBackup(run, tool, owner); !started)
        return started.error();
    return StartOutcome::Started;
}

} // namespace velmora::robocopy
