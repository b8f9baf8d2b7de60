#pragma once

#include "dostime.h"
#include "result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The file system as the program uses it, on the program's own paths (see
// paths.h). Every operation returns its result as a value; nothing throws.
namespace velmora::platform {

// Windows file attribute bits, as the directory entry reports them.
enum FileAttribute : std::uint32_t {
    AttrReadOnly = 0x01,
    AttrHidden = 0x02,
    AttrSystem = 0x04,
    AttrDirectory = 0x10,
    AttrArchive = 0x20,
};

// What a directory entry says of one file.
struct DirectoryEntry {
    std::uint64_t size = 0;
    DosTime time = 0; // last write, packed local time
    std::uint32_t attributes = 0;
};

// A file opened for writing and shared with nobody while it is open.
class WritableFile {
public:
    // Closes the file if it is still open; an error at that point is lost, so
    // callers that care call close() themselves.
    virtual ~WritableFile() = default;

    // Writes the bytes at the current position and returns how many were
    // written: fewer than asked when the disk is full.
    virtual Result<std::size_t> write(const char* data, std::size_t size) = 0;
    // Takes bytes that stay valid and unchanged until the file is closed (a
    // file image shared by every copy): the file may gather them by address
    // and hand them to the disk or server later, in larger pieces. A failure
    // to write them comes back from a later call, at the latest from close().
    virtual Result<std::size_t> writeStable(const char* data, std::size_t size) = 0;
    // The bytes that the disk or the server has taken so far; never more than
    // were given.
    virtual std::uint64_t acceptedBytes() const = 0;
    // Where a writer closes the file and opens it again: the file stays open
    // under the same handle (so nothing else can take it in between, and its
    // lock is never let go), and the next write goes to the offset. At the
    // offset where the writing stands this costs nothing.
    virtual Status reopenAt(std::uint64_t offset) = 0;
    // Closes the file. A failure that the system reports only now (data it
    // kept back and could not write) comes back here. Closing twice is a no-op.
    virtual Status close() = 0;
    // Closes the file without handing over bytes still gathered: for a copy
    // that was aborted or has failed, so that the file keeps what the disk or
    // server has taken.
    virtual void abandon() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The whole content of a file, read while others may read but not write it.
    virtual Result<std::vector<char>> readWholeFile(const std::string& path) = 0;
    // The entry of a file or folder of any attributes.
    virtual Result<DirectoryEntry> findEntry(const std::string& path) = 0;
    // A file (not a folder) exists at the path.
    virtual bool fileExists(const std::string& path) = 0;
    // The path's attributes can be read and carry the folder attribute.
    virtual bool directoryExists(const std::string& path) = 0;

    // Creates the file, or truncates an existing one, for writing; fails when
    // anyone else holds it open through this layer.
    virtual Result<std::unique_ptr<WritableFile>> createForWriting(const std::string& path) = 0;
    // Opens an existing file for writing, shared with nobody, positioned at the
    // offset; fails when the file does not exist.
    virtual Result<std::unique_ptr<WritableFile>> reopenForWriting(const std::string& path,
                                                                   std::uint64_t offset) = 0;
    // Deletes a file (not a folder).
    virtual Status deleteFile(const std::string& path) = 0;
    // Renames a file; fails when anything of the new name exists, instead of
    // replacing it.
    virtual Status renameNoReplace(const std::string& from, const std::string& to) = 0;

    // True when renameReplacing works for files under the path: the new name
    // then holds the old file or the new one at every moment, never nothing.
    virtual bool replacesInOneStep(const std::string& path) = 0;
    // Renames a file onto the new name, replacing a file of that name in one
    // step. Fails (ENOTSUP) where the file system cannot do that in one step.
    virtual Status renameReplacing(const std::string& from, const std::string& to) = 0;
    // Gives a file a second name with the same content and last-write time,
    // without moving its bytes where the file system allows: a hard link on a
    // local disk, otherwise a copy. Fails when anything of the new name exists.
    // Only where replacesInOneStep holds (ENOTSUP elsewhere).
    virtual Status linkOrCopy(const std::string& from, const std::string& to) = 0;
    // Sets the file's last-write time from a packed local time stamp.
    virtual Status setLastWriteTime(const std::string& path, DosTime time) = 0;
};

// True for an error that says the connection to the file's server broke
// (or never came about), as opposed to a refusal by the server: after such an
// error the request may or may not have been carried out.
bool isConnectionFailure(const Error& error);

// The file system that serves a path: the local one for local paths.
FileSystem& fileSystemFor(const std::string& path);

// The local file system of this machine, on the program's own paths.
FileSystem& localFileSystem();

// The local file system on native paths: names as the system itself gave them
// (the file dialog's choice, the program's own folder), which reach it
// unchanged. On Linux a "\" in such a name is a character of the name, not a
// separator. On Windows the two take paths alike.
FileSystem& nativeFileSystem();

} // namespace velmora::platform
