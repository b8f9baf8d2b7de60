// Decoding captions for display. Decoding never gives more UTF-16 units than
// there are bytes, and a single-byte character set (Windows' code page 1250)
// gives one per byte. Where the system's character set is UTF-8 (or ASCII,
// which counts as UTF-8, and the list is read in it), valid UTF-8 bytes come
// back from their text byte for byte, and a text from the database, made
// caption bytes, shows back as
// it was; a leading byte-order mark (U+FEFF, which shows as nothing) is not
// shown.
#include "serverlist/systemtext.h"
#include "check.h"
#include "platform/charset.h"

#include <QByteArrayView>
#include <QString>

#include <clocale>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace serverlist = velmora::serverlist;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_ALL, "");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto length = static_cast<qsizetype>(size);

    FUZZ_CHECK(serverlist::decodeText(bytes, "UTF-8").size() <= length);
    FUZZ_CHECK(serverlist::decodeText(bytes, "ANSI_X3.4-1968").size() <= length);
    FUZZ_CHECK(serverlist::decodeText(bytes, "windows-1250").size() == length);
    FUZZ_CHECK(serverlist::decodeText(bytes, "ISO-8859-2").size() == length);

    const QString shown = serverlist::decodeSystemText(bytes);
    FUZZ_CHECK(shown.size() <= length);

    const std::string characterSet = velmora::platform::systemCharacterSet();
    if (characterSet != "UTF-8" && characterSet != "ANSI_X3.4-1968")
        return 0;
    if (QByteArrayView(bytes.data(), length).isValidUtf8() && !bytes.starts_with("\xef\xbb\xbf"))
        FUZZ_CHECK(serverlist::encodeListText(shown) == bytes);

    // The same bytes as UTF-16, as a database field gives its text.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), bytes.data(), units.size() * sizeof(char16_t));
    const QString fromDatabase(reinterpret_cast<const QChar*>(units.data()), length / 2);
    if (fromDatabase.isValidUtf16() && !fromDatabase.startsWith(QChar(0xfeff)))
        FUZZ_CHECK(serverlist::decodeListText(serverlist::encodeListText(fromDatabase)) ==
                   fromDatabase);
    return 0;
}
