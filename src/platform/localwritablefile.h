#pragma once

#include "filesystem.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The write side of the local file system (LocalFileSystem), on paths already in
// the local system's form (localSystemPath).
namespace velmora::platform {

// One read or write hands the system at most this much (1 GiB); the systems cap
// a single call anyway, and ReadFile/WriteFile take a 32-bit count.
inline constexpr std::size_t maxBytesPerSystemCall = std::size_t{1} << 30;

// Creates or truncates the file, shared with nobody. On Linux "nobody" means no
// other holder through this layer: the file carries an exclusive flock, and a
// file that another holder has locked is left untouched (EBUSY).
Result<std::unique_ptr<WritableFile>> createLocalFile(const std::string& path);
// Opens an existing file the same way, positioned at the offset.
Result<std::unique_ptr<WritableFile>> reopenLocalFile(const std::string& path,
                                                      std::uint64_t offset);
Status deleteLocalFile(const std::string& path);
// Where the file system cannot rename without replacing, a regular file is
// linked under the new name and then unlinked under the old one.
Status renameLocalNoReplace(const std::string& from, const std::string& to);
// Replaces a file of the new name in one step.
Status renameLocalReplacing(const std::string& from, const std::string& to);
// A hard link under the new name; where the file system has none, a copy of
// the content with the same last-write time (and, on Linux, permissions).
Status linkOrCopyLocal(const std::string& from, const std::string& to);
Status setLocalLastWriteTime(const std::string& path, DosTime time);

} // namespace velmora::platform
