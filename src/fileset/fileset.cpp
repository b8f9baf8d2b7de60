#include "fileset/fileset.h"

#include "app/formats.h"

namespace velmora::fileset {

platform::Result<FileSet::AddOutcome> FileSet::add(const std::string& path) {
    // The path is the file dialog's, a local name as the system gave it.
    platform::FileSystem& fs = platform::nativeFileSystem();
    auto content = fs.readWholeFile(path);
    if (!content)
        return content.error();

    held_ = true;
    path_ = path;
    image_ = std::make_shared<const std::vector<char>>(std::move(content).value());

    auto entry = fs.findEntry(path);
    if (!entry)
        return AddOutcome::EntryMissing;
    sizeLine_ = sizeLineFor(entry.value());
    heldTime_ = entry.value().time;
    return AddOutcome::Held;
}

void FileSet::clear() {
    held_ = false;
    path_.clear();
    sizeLine_.clear();
    image_.reset();
}

QString FileSet::sizeLineFor(const platform::DirectoryEntry& entry) {
    return QStringLiteral("Veličina fajla: %1 KB - %2")
        .arg(entry.size / 1024)
        .arg(app::dateTimeText(entry.time));
}

} // namespace velmora::fileset
