#include "smbfilesystem.h"

#include "smbsession.h"
#include "smburl.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include <sys/stat.h>

namespace velmora::platform::smb {

namespace {

// Gathered bytes are sent when this many have come together, even before close.
constexpr std::size_t kGatherLimit = 1 << 20;

Result<std::string> urlFor(const std::string& path) {
    auto url = smbUrlFor(path);
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

// \\host\share of a network path (either separator, runs counting as one);
// none when the path names no share.
std::optional<std::string> shareRootOf(const std::string& path) {
    auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    std::size_t at = 0;
    std::string root = "\\\\";
    for (int part = 0; part < 2; ++part) {
        while (at < path.size() && isSeparator(path[at]))
            ++at;
        const std::size_t start = at;
        while (at < path.size() && !isSeparator(path[at]))
            ++at;
        if (at == start)
            return std::nullopt;
        root += path.substr(start, at - start);
        if (part == 0)
            root += '\\';
    }
    return root;
}

// The library reports a missing share like a missing folder, and a refused
// logon like a share that refuses writing; one look at the share itself tells
// them apart, so that the reason says which it is. Only for a request that
// failed with one of those two.
Error explained(const std::string& path, Error error) {
    const bool missing = error.code == ENOENT;
    const bool refused = error.code == EACCES || error.code == EPERM;
    const std::optional<std::string> root = shareRootOf(path);
    if ((!missing && !refused) || !root || *root == path)
        return error;
    const Result<std::string> share = pathRequest(Op::Stat, *root);
    if (missing && share)
        error.message += " (the share " + *root + " has no such folder)";
    else if (missing && share.error().code == ENOENT)
        error.message += " (the server has no share " + *root + ")";
    else if (refused && share)
        error.message += " (the share " + *root + " does not let this user write there)";
    else if (refused && (share.error().code == EACCES || share.error().code == EPERM))
        error.message += " (the server refuses this user the share " + *root +
                         ": a wrong user name or password, or a user the share does not admit)";
    return error;
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
    // A name that is not there is the common answer (the copy asks for its
    // temporary name afterwards): only a refusal is looked into.
    if (!reply)
        return reply.error().code == ENOENT ? reply.error() : explained(path, reply.error());
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
    auto created = openRequest(request);
    if (!created)
        return explained(path, created.error());
    return created;
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
