#include "smbfilesystem.h"

#include "platform/gatheringfile.h"
#include "platform/listcharset.h"
#include "smbsession.h"
#include "smburl.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <string_view>

#include <sys/stat.h>

namespace velmora::platform::smb {

namespace {

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

// A file on a share, open in the helper under one server handle for the whole
// copy. Its bytes go in write requests of a size that the link sets: small on
// a slow link, so that each takes well under a second and the progress keeps
// moving; up to the SMB2 write size on a fast one, so that few round trips are
// waited out.
class SmbWritableFile final : public GatheringFile {
public:
    SmbWritableFile(std::uint32_t handle, std::uint64_t incarnation)
        : handle_(handle), incarnation_(incarnation) {}
    ~SmbWritableFile() override { (void)close(); }

protected:
    Result<std::size_t> sendRun(const char* data, std::size_t size) override {
        const std::size_t piece = std::min(size, requestSize_);
        WireWriter request;
        request.op(Op::Write).u32(handle_).u64(piece);
        const auto started = std::chrono::steady_clock::now();
        auto reply = send(request, std::string_view(data, piece));
        if (!reply)
            return reply.error();
        adaptRunSize(piece, std::chrono::steady_clock::now() - started);
        return piece;
    }

    // The last bytes travel with the close.
    Status finish(const char* data, std::size_t size) override {
        const std::size_t lastPiece = std::min(size, requestSize_);
        if (Status sent = sendAll(data, size - lastPiece); !sent) {
            (void)closeWith({});
            return sent;
        }
        if (Status closed = closeWith(std::string_view(data + size - lastPiece, lastPiece));
            !closed)
            return closed;
        countAccepted(lastPiece);
        return {};
    }

    Status closeHandle() override { return closeWith({}); }

    Status seekTo(std::uint64_t) override {
        return Error{EINVAL, "A network file is reopened only where its writing stands"};
    }

    std::size_t runLimit() const override { return requestSize_; }

private:
    // Aims at a quarter of a second per request.
    void adaptRunSize(std::size_t sent, std::chrono::steady_clock::duration took) {
        using std::chrono::milliseconds;
        if (sent < requestSize_)
            return;
        if (took < milliseconds(100))
            requestSize_ = std::min(requestSize_ * 4, kLargestRun);
        else if (took < milliseconds(250))
            requestSize_ = std::min(requestSize_ * 2, kLargestRun);
        else if (took > milliseconds(1000))
            requestSize_ = std::max(requestSize_ / 2, kSmallestRun);
    }

    Status closeWith(std::string_view lastBytes) {
        if (closed_)
            return {};
        closed_ = true;
        WireWriter request;
        request.op(Op::Close).u32(handle_).u64(lastBytes.size());
        return asStatus(send(request, lastBytes));
    }

    // The request ends in a bytes field whose length it holds; its bytes go
    // from where they stand, without a copy into the request.
    Result<std::string> send(const WireWriter& request, std::string_view payload) {
        SmbSession& session = SmbSession::forThisThread();
        // A helper that was replaced (after a time-out) no longer has the file.
        if (session.incarnation() != incarnation_)
            return Error{EIO, "The connection to the server was lost"};
        // An abort waits a moment for a request that carries bytes, so that
        // nothing sent lands on the server after the copy has ended.
        return session.call(request, payload, kLandingGrace);
    }

    static constexpr std::size_t kSmallestRun = 256 * 1024;
    static constexpr std::size_t kLargestRun = 8 * 1024 * 1024;
    static constexpr std::chrono::milliseconds kLandingGrace{300};

    std::uint32_t handle_;
    std::uint64_t incarnation_;
    std::size_t requestSize_ = 1024 * 1024;
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
