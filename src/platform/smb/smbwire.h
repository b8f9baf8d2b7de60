#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The messages between the program and its SMB helper process. A frame is a
// four-byte little-endian length followed by that many bytes. A request starts
// with its operation; a reply starts with an error number (0 for success)
// followed by the operation's results.
namespace velmora::platform::smb {

enum class Op : std::uint8_t {
    Stat = 1,     // url -> size, mtime (seconds since 1970 UTC), mode
    Create,       // url -> handle
    Reopen,       // url, offset -> handle
    Write,        // handle, data -> bytes written
    Close,        // handle, data still to write -> nothing
    Delete,       // url -> nothing
    Rename,       // from url, to url -> nothing; fails when "to" exists
    SetWriteTime, // url, mtime -> nothing
    ReadFile,     // url -> data
};

// The largest frame either side accepts; the whole-file read is the largest.
constexpr std::uint32_t kMaxFrame = 1u << 30;

class WireWriter {
public:
    WireWriter& u8(std::uint8_t v);
    WireWriter& u32(std::uint32_t v);
    WireWriter& u64(std::uint64_t v);
    WireWriter& i64(std::int64_t v) { return u64(static_cast<std::uint64_t>(v)); }
    // A length-prefixed byte string.
    WireWriter& bytes(std::string_view v);
    WireWriter& op(Op v) { return u8(static_cast<std::uint8_t>(v)); }

    const std::string& data() const { return data_; }
    // The frame to send: length header and the bytes written so far.
    std::string frame() const;

private:
    std::string data_;
};

// Reads values in the order they were written. A read past the end, a byte
// string whose length runs past the end included, yields zero values and
// leaves ok() false, so a reply is checked once at the end.
class WireReader {
public:
    explicit WireReader(std::string_view data) : data_(data) {}

    std::uint8_t u8();
    std::uint32_t u32();
    std::uint64_t u64();
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    std::string bytes();
    // The bytes without a copy; valid while the underlying data lives.
    std::string_view bytesView();

    bool ok() const { return ok_; }

private:
    bool take(std::size_t count, const char** out);

    std::string_view data_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

// The length that a frame header announces.
std::uint32_t frameLength(const char header[4]);

} // namespace velmora::platform::smb
