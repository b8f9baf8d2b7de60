#pragma once

#include "platform/result.h"
#include "platform/shell.h"

#include <string>

// Handing the copy of the file set's file to one server over to the robocopy
// tool: the tool's argument string, the backup of the server's previous copy,
// and the two ways of starting the tool. Widget-free: the window's commands
// check the selection, show the messages and mark the row.
namespace velmora::robocopy {

// The resource that carries the tool inside the program.
inline constexpr const char* kToolResourceType = "EXEFILE";
inline constexpr const char* kToolResourceName = "TESTFILE";
// The tool in the program's own folder that the second command starts.
inline constexpr const char* kExternalToolName = "robocopy.exe";

// What one run works on: the selected row's caption (the server's folder, used
// exactly as written) and the local path of the file to send.
struct ToolRun {
    std::string serverPath;
    std::string filePath;
};

// "SOURCE" "TARGET" "NAME" /Z followed by one blank: the file's folder (without
// its final separator, except for a root such as C:\), the server path, and the
// file's name.
std::string robocopyArguments(const ToolRun& run);

// Whether the run can be handed to the tool at all. An empty server path names
// no server (joined with the name it would address the disk's root), and a
// double quote in either path would end its quoted piece early, splitting the
// arguments; such a run is refused, its message ready to show ("Nije dobar
// server!" for the server path), before anything is written or moved.
platform::Status checkRun(const ToolRun& run);

// Keeps the server's previous copy under "_" + name: deletes the old backup,
// then renames the copy, both without looking at the result. True when the
// copy was moved.
bool backupPreviousCopy(const ToolRun& run);

enum class StartOutcome {
    Started,     // the tool was handed the copy (its own result is never seen)
    ToolMissing, // no tool file to start
};

// "Kopiraj sa robocopy (100% sigurno)": writes the tool carried in the
// program's resources to the temp path, backs up the server's copy and starts
// the tool, returning once the tool has started. The file stays for the tool
// to run from; the next run replaces it. An Error, its message ready to show, is a
// refused run (checkRun), the file-creation failure ("Cannot create file ...",
// also while another run of this program is still starting the tool from the
// same path; nothing else has been done then), or a tool that could not be
// started or was not seen starting ("Cannot start ..."; the server's copy is
// back in place and the temp file deleted). Blocks for as long as the start
// takes: call it off the main thread.
platform::Result<StartOutcome> runEmbeddedTool(const ToolRun& run, const std::string& tempPath,
                                               platform::WindowOwner owner);

// "Robocopy (može više kopiranja odjednom)": backs up the server's copy and
// starts robocopy.exe from the program's folder (which ends in a separator).
// Errors and blocking as for the embedded tool's start.
platform::Result<StartOutcome> runExternalTool(const ToolRun& run, const std::string& programFolder,
                                               platform::WindowOwner owner);

} // namespace velmora::robocopy
