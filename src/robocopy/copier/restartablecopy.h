#pragma once

#include "platform/filesystem.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// One file's copy into a folder, as the console copier does it: through a
// partial file beside the target that an interrupted run leaves behind and the
// next restartable run continues, then put in place so that the folder never
// lacks the file.
namespace velmora::robocopy {

// The copy is written in pieces of this size; progress is told after each.
inline constexpr std::size_t kPieceSize = 64 * 1024;

struct CopyRequest {
    std::string sourceFolder; // the local folder of the file
    std::string targetFolder; // a local folder or \\host\share\folder, as written
    std::string name;         // the file's name in both folders
    bool restartable = false; // continue a partial file of the same source
};

// What the copy tells while it runs; either may be left empty.
struct CopyListener {
    // A partial file of the same source is continued from this offset.
    std::function<void(std::uint64_t offset)> restarting;
    // The partial file now holds done of total bytes.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

enum class CopyResult { UpToDate, Copied, Failed };

struct CopyOutcome {
    CopyResult result = CopyResult::Failed;
    std::uint64_t copiedBytes = 0;  // written by this run
    std::uint64_t resumedBytes = 0; // taken over from a partial file
    std::string failedStep;         // what failed, naming its path
    platform::Error error;          // and why
    std::string warning;            // a copy that succeeded but left something behind
    bool restoredBackup = false;    // a failed copy put the folder's backup _NAME back
};

// The partial file's name: NAME~<size>-<time>.partial, size in decimal and the
// packed DOS time stamp in 8 upper-case hex digits, e.g.
// "prog.exe~300000-5A3B7C21.partial". Only a partial of the same source size and
// time stamp is continued; one of an older source has another name and stays
// unused.
std::string partialFileName(const std::string& name, const platform::DirectoryEntry& source);

// The name the previous target takes while the new one moves in: NAME~old.
std::string previousFileName(const std::string& name);

// Copies request.name from the source folder to the target folder, unless the
// target already has the source's size and time stamp.
CopyOutcome copyFile(const CopyRequest& request, const CopyListener& listener);

} // namespace velmora::robocopy
