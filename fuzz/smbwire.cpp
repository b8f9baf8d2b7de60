// The SMB wire reader on any reply. The input's first byte gives the number of
// fields (up to 15), the next bytes their kinds, the rest is the reply.
// - A reply that reads ok is exactly what writing the values read gives (as
//   far as it was read): no field is taken shorter, longer or empty.
// - The values read, written again, read back ok and equal; cut anywhere,
//   that message fails, and a field read after the failure is zero or empty.
#include "platform/smb/smbwire.h"
#include "check.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace velmora::platform::smb;

namespace {

enum Kind { U8, U32, U64, Bytes, BytesView, KindCount };

struct Field {
    Kind kind;
    std::uint64_t number = 0;
    std::string text;
    bool operator==(const Field&) const = default;
};

std::vector<Field> readFields(WireReader& reader, const std::vector<Kind>& kinds) {
    std::vector<Field> fields;
    for (Kind kind : kinds) {
        Field field{kind, 0, {}};
        switch (kind) {
        case U8:
            field.number = reader.u8();
            break;
        case U32:
            field.number = reader.u32();
            break;
        case U64:
            field.number = reader.u64();
            break;
        case Bytes:
            field.text = reader.bytes();
            break;
        default:
            field.text = std::string(reader.bytesView());
            break;
        }
        fields.push_back(field);
    }
    return fields;
}

std::string written(const std::vector<Field>& fields) {
    WireWriter writer;
    for (const Field& field : fields) {
        switch (field.kind) {
        case U8:
            writer.u8(static_cast<std::uint8_t>(field.number));
            break;
        case U32:
            writer.u32(static_cast<std::uint32_t>(field.number));
            break;
        case U64:
            writer.u64(field.number);
            break;
        default:
            writer.bytes(field.text);
            break;
        }
    }
    const std::string frame = writer.frame();
    FUZZ_CHECK(frame.size() == 4 + writer.data().size());
    FUZZ_CHECK(frameLength(frame.data()) == writer.data().size());
    FUZZ_CHECK(frame.compare(4, std::string::npos, writer.data()) == 0);
    return writer.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t count = std::min<std::size_t>(data[0] & 0x0f, size - 1);
    std::vector<Kind> kinds;
    for (std::size_t i = 0; i < count; ++i)
        kinds.push_back(static_cast<Kind>(data[1 + i] % KindCount));
    // A view of the fuzzer's own buffer, which ends where the reply ends, so a
    // read past the end is a sanitizer finding.
    const std::string_view reply(reinterpret_cast<const char*>(data) + 1 + count, size - 1 - count);

    WireReader reader(reply);
    const std::vector<Field> fields = readFields(reader, kinds);
    const std::string message = written(fields);
    if (reader.ok())
        FUZZ_CHECK(reply.compare(0, message.size(), message) == 0);

    WireReader again(message);
    FUZZ_CHECK(readFields(again, kinds) == fields);
    FUZZ_CHECK(again.ok());

    for (std::size_t length = 0; length < message.size(); ++length) {
        const std::vector<char> cutMessage(message.begin(), message.begin() + length);
        WireReader cut(std::string_view(cutMessage.data(), cutMessage.size()));
        const std::vector<Field> partial = readFields(cut, kinds);
        FUZZ_CHECK(!cut.ok());
        // Once a field has failed, the ones after it read as nothing.
        std::size_t failed = 0;
        while (failed < fields.size() && partial[failed] == fields[failed])
            ++failed;
        for (std::size_t i = failed + 1; i < partial.size(); ++i)
            FUZZ_CHECK(partial[i].number == 0 && partial[i].text.empty());
    }
    return 0;
}
