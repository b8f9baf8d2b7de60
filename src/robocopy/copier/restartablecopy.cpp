#include "restartablecopy.h"

#include "platform/paths.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <winerror.h>
#else
#include <cerrno>
#endif

namespace velmora::robocopy {

using platform::DirectoryEntry;
using platform::Error;
using platform::FileSystem;
using platform::Status;
using platform::WritableFile;

namespace {

#ifdef _WIN32
constexpr int kDiskFull = ERROR_DISK_FULL;
constexpr int kNotAFolder = ERROR_DIRECTORY;
#else
constexpr int kDiskFull = ENOSPC;
constexpr int kNotAFolder = ENOTDIR;
#endif

bool isFolder(const DirectoryEntry& entry) {
    return (entry.attributes & platform::AttrDirectory) != 0;
}

// The steps of one copy; each failing step ends it with its outcome.
class Copy {
public:
    Copy(const CopyRequest& request, const CopyListener& listener)
        : request_(request), listener_(listener),
          sourcePath_(platform::joinPath(request.sourceFolder, request.name)),
          targetPath_(platform::joinPath(request.targetFolder, request.name)),
          previousPath_(platform::joinPath(request.targetFolder, previousFileName(request.name))),
          sourceFs_(platform::fileSystemFor(sourcePath_)),
          targetFs_(platform::fileSystemFor(targetPath_)) {}

    CopyOutcome run() {
        // Every failure, the early ones too (a source deleted since the window
        // took its backup), puts the backup back where the folder lacks NAME.
        if (!copySteps())
            restoreBackupIfTargetMissing();
        return outcome_;
    }

private:
    bool copySteps() {
        if (!readSource() || !checkTargetFolder())
            return false;
        if (targetIsUpToDate()) {
            outcome_.result = CopyResult::UpToDate;
            return true;
        }
        partialPath_ =
            platform::joinPath(request_.targetFolder, partialFileName(request_.name, source_));
        if (!writePartial() || !checkPartial() || !putInPlace())
            return false;
        outcome_.result = CopyResult::Copied;
        return true;
    }

    bool fail(std::string step, Error error) {
        outcome_.result = CopyResult::Failed;
        outcome_.failedStep = std::move(step);
        outcome_.error = std::move(error);
        return false;
    }

    bool readSource() {
        auto entry = sourceFs_.findEntry(sourcePath_);
        if (!entry)
            return fail("reading the source file " + sourcePath_, entry.error());
        source_ = entry.value();
        auto content = sourceFs_.readWholeFile(sourcePath_);
        if (!content)
            return fail("reading the source file " + sourcePath_, content.error());
        content_ = std::move(content).value();
        // The partial file's name carries the identity read first: content of
        // another size belongs to another version of the file.
        if (content_.size() != source_.size)
            return fail("reading the source file " + sourcePath_,
                        Error{0, "the file changed while it was read"});
        return true;
    }

    bool checkTargetFolder() {
        auto entry = targetFs_.findEntry(request_.targetFolder);
        if (!entry)
            return fail("opening the destination folder " + request_.targetFolder, entry.error());
        if (!isFolder(entry.value()))
            return fail("opening the destination folder " + request_.targetFolder,
                        platform::systemError(kNotAFolder));
        return true;
    }

    bool targetIsUpToDate() {
        auto entry = targetFs_.findEntry(targetPath_);
        return entry && !isFolder(entry.value()) && entry.value().size == source_.size &&
               entry.value().time == source_.time;
    }

    // The offset a restartable copy goes on from: the length of a partial file
    // of this source, when it is not longer than the source.
    std::uint64_t resumableLength() {
        if (!request_.restartable)
            return 0;
        auto entry = targetFs_.findEntry(partialPath_);
        if (!entry || isFolder(entry.value()) || entry.value().size > source_.size)
            return 0;
        return entry.value().size;
    }

    bool openPartial(std::unique_ptr<WritableFile>& file) {
        const std::uint64_t offset = resumableLength();
        if (offset > 0) {
            auto reopened = targetFs_.reopenForWriting(partialPath_, offset);
            if (!reopened)
                return fail("reopening the partial file " + partialPath_, reopened.error());
            file = std::move(reopened).value();
            outcome_.resumedBytes = offset;
            if (listener_.restarting)
                listener_.restarting(offset);
            return true;
        }
        auto created = targetFs_.createForWriting(partialPath_);
        if (!created)
            return fail("creating the partial file " + partialPath_, created.error());
        file = std::move(created).value();
        return true;
    }

    bool writePartial() {
        std::unique_ptr<WritableFile> file;
        if (!openPartial(file))
            return false;
        const std::uint64_t total = content_.size();
        std::uint64_t done = outcome_.resumedBytes;
        while (done < total) {
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, total - done));
            auto written = file->write(content_.data() + done, piece);
            if (!written)
                return fail("writing the partial file " + partialPath_, written.error());
            done += written.value();
            outcome_.copiedBytes += written.value();
            // The system writes less only when the disk is full.
            if (written.value() < piece)
                return fail("writing the partial file " + partialPath_,
                            platform::systemError(kDiskFull));
            report(done, total);
        }
        // Nothing was left to write (an empty file, a partial file already whole).
        if (outcome_.copiedBytes == 0)
            report(done, total);
        // Data the system kept back (a share gathers writes) can fail only now.
        const Status closed = file->close();
        if (!closed)
            return fail("closing the partial file " + partialPath_, closed.error());
        return true;
    }

    void report(std::uint64_t done, std::uint64_t total) {
        if (listener_.progress)
            listener_.progress(done, total);
    }

    bool checkPartial() {
        auto entry = targetFs_.findEntry(partialPath_);
        if (!entry)
            return fail("checking the partial file " + partialPath_, entry.error());
        if (entry.value().size != source_.size)
            return fail("checking the partial file " + partialPath_,
                        Error{0, "it holds " + std::to_string(entry.value().size) +
                                     " bytes instead of " + std::to_string(source_.size)});
        const Status stamped = targetFs_.setLastWriteTime(partialPath_, source_.time);
        if (!stamped)
            return fail("setting the time stamp of " + partialPath_, stamped.error());
        return true;
    }

    // The previous target steps aside to NAME~old before the new file takes its
    // name, and takes its name back if the new file cannot: a failed copy never
    // leaves the folder without the file.
    bool putInPlace() {
        const bool hadTarget = targetFs_.fileExists(targetPath_);
        if (hadTarget) {
            if (targetFs_.fileExists(previousPath_)) {
                const Status deleted = targetFs_.deleteFile(previousPath_);
                if (!deleted)
                    return fail("deleting the stale " + previousPath_, deleted.error());
            }
            const Status aside = targetFs_.renameNoReplace(targetPath_, previousPath_);
            if (!aside)
                return fail("renaming " + targetPath_ + " to " + previousPath_, aside.error());
        }
        const Status placed = targetFs_.renameNoReplace(partialPath_, targetPath_);
        if (!placed) {
            if (hadTarget)
                (void)targetFs_.renameNoReplace(previousPath_, targetPath_);
            return fail("renaming " + partialPath_ + " to " + targetPath_, placed.error());
        }
        if (hadTarget) {
            // The copy is in place; a previous file still in use only stays
            // until the next run clears it.
            const Status deleted = targetFs_.deleteFile(previousPath_);
            if (!deleted)
                outcome_.warning =
                    "could not delete " + previousPath_ + ": " + deleted.error().message;
        }
        return true;
    }

    // The window moves the folder's previous copy to _NAME before it starts
    // this tool. When the copy fails and no NAME is there, that copy goes back,
    // so that the server keeps a program.
    void restoreBackupIfTargetMissing() {
        if (targetFs_.fileExists(targetPath_))
            return;
        const std::string backup = platform::joinPath(request_.targetFolder, "_" + request_.name);
        outcome_.restoredBackup =
            targetFs_.fileExists(backup) && targetFs_.renameNoReplace(backup, targetPath_).ok();
    }

    const CopyRequest& request_;
    const CopyListener& listener_;
    const std::string sourcePath_;
    const std::string targetPath_;
    const std::string previousPath_;
    std::string partialPath_;
    FileSystem& sourceFs_;
    FileSystem& targetFs_;
    DirectoryEntry source_;
    std::vector<char> content_;
    CopyOutcome outcome_;
};

} // namespace

std::string partialFileName(const std::string& name, const DirectoryEntry& source) {
    char time[9];
    std::snprintf(time, sizeof time, "%08X", static_cast<unsigned>(source.time));
    return name + "~" + std::to_string(source.size) + "-" + time + ".partial";
}

std::string previousFileName(const std::string& name) {
    return name + "~old";
}

CopyOutcome copyFile(const CopyRequest& request, const CopyListener& listener) {
    return Copy(request, listener).run();
}

} // namespace velmora::robocopy
