#pragma once

#include "platform/dostime.h"
#include "platform/filesystem.h"
#include "platform/result.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::fileset {

// The file content read at Add. It is never changed after reading, so every
// worker can read one shared image, and it lives as long as anyone holds it.
using FileImage = std::shared_ptr<const std::vector<char>>;

// The one local file to send: its path, its whole content read into memory and
// the packed time stamp of its last write.
class FileSet {
public:
    enum class AddOutcome {
        Held,         // read and its directory entry found
        EntryMissing, // read, but its directory entry could not be found
    };

    bool isHeld() const { return held_; }
    // The file set's path, byte for byte as the system gave it (a native path:
    // platform::nativeFileSystem).
    const std::string& path() const { return path_; }
    const FileImage& image() const { return image_; }
    // The last-write time of the last successful Add; kept after Clear.
    std::optional<platform::DosTime> heldTime() const { return heldTime_; }
    // "Veličina fajla: <KB> KB - <date-time>"; empty while no file is held.
    const QString& sizeLine() const { return sizeLine_; }

    // Reads the whole file, then looks up its directory entry. A file that
    // cannot be read is not held, and the system's reason is returned.
    platform::Result<AddOutcome> add(const std::string& path);
    void clear();

    static QString sizeLineFor(const platform::DirectoryEntry& entry);

private:
    bool held_ = false;
    std::string path_;
    FileImage image_;
    std::optional<platform::DosTime> heldTime_;
    QString sizeLine_;
};

} // namespace velmora::fileset
