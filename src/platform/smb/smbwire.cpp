#include "smbwire.h"

namespace velmora::platform::smb {

namespace {

void appendLittleEndian(std::string& out, std::uint64_t v, int count) {
    for (int i = 0; i < count; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::uint64_t readLittleEndian(const char* p, int count) {
    std::uint64_t v = 0;
    for (int i = 0; i < count; ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

} // namespace

WireWriter& WireWriter::u8(std::uint8_t v) {
    data_.push_back(static_cast<char>(v));
    return *this;
}

WireWriter& WireWriter::u32(std::uint32_t v) {
    appendLittleEndian(data_, v, 4);
    return *this;
}

WireWriter& WireWriter::u64(std::uint64_t v) {
    appendLittleEndian(data_, v, 8);
    return *this;
}

WireWriter& WireWriter::bytes(std::string_view v) {
    u64(v.size());
    data_.append(v);
    return *this;
}

std::string WireWriter::frame() const {
    std::string out;
    out.reserve(4 + data_.size());
    appendLittleEndian(out, data_.size(), 4);
    out.append(data_);
    return out;
}

bool WireReader::take(std::size_t count, const char** out) {
    if (!ok_ || data_.size() - position_ < count) {
        ok_ = false;
        return false;
    }
    *out = data_.data() + position_;
    position_ += count;
    return true;
}

std::uint8_t WireReader::u8() {
    const char* p = nullptr;
    return take(1, &p) ? static_cast<std::uint8_t>(*p) : 0;
}

std::uint32_t WireReader::u32() {
    const char* p = nullptr;
    return take(4, &p) ? static_cast<std::uint32_t>(readLittleEndian(p, 4)) : 0;
}

std::uint64_t WireReader::u64() {
    const char* p = nullptr;
    return take(8, &p) ? readLittleEndian(p, 8) : 0;
}

std::string_view WireReader::bytesView() {
    const std::uint64_t size = u64();
    // A length that runs past the end fails the reply: a cut-off field (a
    // whole-file read that lost its tail) must never pass as a shorter one.
    if (size > data_.size() - position_) {
        ok_ = false;
        return {};
    }
    const char* p = nullptr;
    if (!take(static_cast<std::size_t>(size), &p))
        return {};
    return {p, static_cast<std::size_t>(size)};
}

std::string WireReader::bytes() {
    return std::string(bytesView());
}

std::uint32_t frameLength(const char header[4]) {
    return static_cast<std::uint32_t>(readLittleEndian(header, 4));
}

} // namespace velmora::platform::smb
