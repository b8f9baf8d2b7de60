#include "smbfilesystem.h"

#include "platform/listcharset.h"
#include "smbsession.h"
#include "smburl.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

namespace velmora::platform::smb {

namespace {

// Gathered bytes are sent when this many have come together, even before close.
constexpr std::size_t kGatherLimit = 1 << 20;

// The path is a row's (or a row's joined with a file name), in the list's
// character set; the URL is UTF-8, as the library sends names to the server.
Result<std::string> urlFor(const std::string& path) {
    const auto utf8 = listTextAsUtf8(path);
    if (!utf8)
        return Error{EILSEQ, "The path is not valid in the server list's character set " +
                                 listCharacterSet() + ": " + path};
    auto url = smbUrlFor(*utf8);
    if (!url)
        return Error{EINVAL, "Not a network path: " + path};
    return std::move(*url);
}

// One request about one path; the reply's results, or why there are none.
Result<std::string> pathRequest(Op op, const std::string& path) {
    auto url = urlFor(path);
    if (!url)
        return url.error();
    WireWriter request;
    request.op(op).bytes(url.value());
    return SmbSession::forThisThread().call(request);
}

Status asStatus(const Result<std::string>& reply) {
    if (!reply)
        return reply.error();
    return {};
}

class SmbWritableFile final : public WritableFile {
public:
    SmbWritableFile(std::uint32_t handle, std::uint64_t incarnation)
        : handle_(handle), incarnation_(incarnation) {}
    ~SmbWritableFile() override { (void)close(); }

    Result<std::size_t> write(const char* data, std::size_t size) override {
        if (closed_)
            return Error{EBADF, "The file is closed"};
        // In pieces, so that no request grows past the gathering limit.
        std::size_t taken = 0;
        while (taken < size) {
            const std::size_t piece = std::min(size - taken, kGatherLimit - pending_.size());
            pending_.append(data + taken, piece);
            taken += piece;
            if (pending_.size() < kGatherLimit)
                break;
            if (Status flushed = flush(); !flushed)
                return flushed.error();
        }
        written_ += size;
        return size;
    }

    // The server handle stays open across the reopen; what has gathered goes
    // to the server now, so that a reopen costs one write and no open.
    Status reopenAt(std::uint64_t offset) override {
        if (closed_)
            return Error{EBADF, "The file is closed"};
        if (Status flushed = flush(); !flushed)
            return flushed;
        if (offset != written_)
            return Error{EINVAL, "A network file is reopened only where its writing stands"};
        return {};
    }

    Status close() override {
        if (closed_)
            return {};
        closed_ = true;
        WireWriter request;
        request.op(Op::Close).u32(handle_).bytes(pending_);
        pending_.clear();
        return asStatus(send(request));
    }

private:
    Status flush() {
        if (pending_.empty())
            return {};
        WireWriter request;
        request.op(Op::Write).u32(handle_).bytes(pending_);
        pending_.clear();
        return asStatus(send(request));
    }

    Result<std::string> send(const WireWriter& request) {
        SmbSession& session = SmbSession::forThisThread();
        // A helper that was replaced (after a time-out) no longer has the file.
        if (session.incarnation() != incarnation_)
            return Error{EIO, "The connection to the server was lost"};
        return session.call(request);
    }

    std::uint32_t handle_;
    std::uint64_t incarnation_;
    std::string pending_;
    std::uint64_t written_ = 0; // bytes taken by write(), sent or gathered
    bool closed_ = false;
};

Result<std::unique_ptr<WritableFile>> openRequest(const WireWriter& request) {
    SmbSession& session = SmbSession::forThisThread();
    auto reply = session.call(request);
    if (!reply)
        return reply.error();
    WireReader in(reply.value());
    const std::uint32_t handle = in.u32();
    if (!in.ok())
        return malformedReply();
    return std::unique_ptr<WritableFile>(
        std::make_unique<SmbWritableFile>(handle, session.incarnation()));
}

} // namespace

std::uint32_t attributesFromMode(mode_t mode) {
    std::uint32_t attributes = 0;
    if (!(mode & S_IWUSR))
        attributes |= AttrReadOnly;
    if (S_ISDIR(mode))
        return attributes | AttrDirectory;
    if (mode & S_IXUSR)
        attributes |= AttrArchive;
    if (mode & S_IXGRP)
        attributes |= AttrSystem;
    if (mode & S_IXOTH)
        attributes |= AttrHidden;
    return attributes;
}

Result<std::vector<char>> SmbFileSystem::readWholeFile(const std::string& path) {
    auto reply = pathRequest(Op::ReadFile, path);
    if (!reply)
        return reply.error();
    WireReader in(reply.value());
    const std::string_view content = in.bytesView();
    if (!in.ok())
        return malformedReply();
    return std::vector<char>(content.begin(), content.end());
}

Result<DirectoryEntry> SmbFileSystem::findEntry(const std::string& path) {
    auto reply = pathRequest(Op::Stat, path);
    if (!reply)
        return reply.error();
    WireReader in(reply.value());
    DirectoryEntry entry;
    entry.size = in.u64();
    const std::int64_t modified = in.i64();
    const auto mode = static_cast<mode_t>(in.u32());
    if (!in.ok())
        return malformedReply();
    entry.attributes = attributesFromMode(mode);
    if (entry.attributes & AttrDirectory)
        entry.size = 0;
    entry.time = dosTimeFromUnixTime(static_cast<std::time_t>(modified));
    return entry;
}

bool SmbFileSystem::fileExists(const std::string& path) {
    auto entry = findEntry(path);
    return entry && !(entry.value().attributes & AttrDirectory);
}

bool SmbFileSystem::directoryExists(const std::string& path) {
    auto entry = findEntry(path);
    return entry && (entry.value().attributes & AttrDirectory);
}

Result<std::unique_ptr<WritableFile>> SmbFileSystem::createForWriting(const std::string& path) {
    auto url = urlFor(path);
    if (!url)
        return url.error();
    WireWriter request;
    request.op(Op::Create).bytes(url.value());
    return openRequest(request);
}

Result<std::unique_ptr<WritableFile>> SmbFileSystem::reopenForWriting(const std::string& path,
                                                                      std::uint64_t offset) {
    auto url = urlFor(path);
    if (!url)
        return url.error();
    WireWriter request;
    request.op(Op::Reopen).bytes(url.value()).u64(offset);
    return openRequest(request);
}

Status SmbFileSystem::deleteFile(const std::string& path) {
    return asStatus(pathRequest(Op::Delete, path));
}

Status SmbFileSystem::renameNoReplace(const std::string& from, const std::string& to) {
    auto fromUrl = urlFor(from);
    if (!fromUrl)
        return fromUrl.error();
    auto toUrl = urlFor(to);
    if (!toUrl)
        return toUrl.error();
    WireWriter request;
    request.op(Op::Rename).bytes(fromUrl.value()).bytes(toUrl.value());
    return asStatus(SmbSession::forThisThread().call(request));
}

bool SmbFileSystem::replacesInOneStep(const std::string&) {
    // The client library's rename removes an existing target and then renames:
    // two requests, between which the name holds nothing.
    return false;
}

Status SmbFileSystem::renameReplacing(const std::string&, const std::string&) {
    return Error{ENOTSUP, "A network share is not renamed onto an existing name"};
}

Status SmbFileSystem::linkOrCopy(const std::string&, const std::string&) {
    return Error{ENOTSUP, "A network share has no second names here"};
}

Status SmbFileSystem::setLastWriteTime(const std::string& path, DosTime time) {
    auto url = urlFor(path);
    if (!url)
        return url.error();
    WireWriter request;
    request.op(Op::SetWriteTime).bytes(url.value()).i64(unixTimeFromDosTime(time));
    return asStatus(SmbSession::forThisThread().call(request));
}

} // namespace velmora::platform::smb
