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
// previous copy, never the one the tool writes. If the tool could not even be
// started, the previous copy goes back in place: the server keeps its program.
StartOutcome startWithBackup(const ToolRun& run, const std::string& tool,
                             platform::WindowOwner owner) {
    const bool moved = backupPreviousCopy(run);
    const platform::Status started =
        platform::shellStartConsoleProgram(tool, robocopyArguments(run), owner);
    if (!started && moved) {
        const std::string name = platform::fileNamePart(run.filePath);
        (void)platform::fileSystemFor(run.serverPath)
            .renameNoReplace(platform::joinPath(run.serverPath, backupName(run)),
                             platform::joinPath(run.serverPath, name));
    }
    return StartOutcome::Started;
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
    startWithBackup(run, tempPath, owner);
    // Refused while the tool runs from the file; it is replaced at the next run.
    (void)local.deleteFile(tempPath);
    return StartOutcome::Started;
}

StartOutcome runExternalTool(const ToolRun& run, const std::string& programFolder,
                             platform::WindowOwner owner) {
    const std::string tool = programFolder + kExternalToolName;
    if (!platform::localFileSystem().fileExists(tool))
        return StartOutcome::ToolMissing;
    return startWithBackup(run, tool, owner);
}

} // namespace velmora::robocopy
