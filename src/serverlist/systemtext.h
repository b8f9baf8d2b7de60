#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace velmora::serverlist {

// Decodes text in the system's character set for display. The bytes
// themselves are kept wherever they name a file; only what is shown is decoded.
// On Windows the text is read as the platform layer reads names there: UTF-8
// where the bytes are UTF-8, else the ANSI code page.
QString decodeSystemText(std::string_view bytes);

// Decodes a row's text (a caption, or a path built from one) for display, in
// the list's character set (platform::listCharacterSet).
QString decodeListText(std::string_view bytes);

// The same in a named character set. The plain C locale's ASCII counts as
// UTF-8, as Qt takes it, so that non-ASCII names are not all replaced.
QString decodeText(std::string_view bytes, const std::string& characterSet);

// A text as caption bytes (a path from the database): encoded in the list's
// character set, as the lines of serveri.txt are, so that decodeListText shows
// it back and a network path is converted from it like a row of the file. On
// Windows it is UTF-8, in which every name reaches the file system.
std::string encodeListText(const QString& text);

} // namespace velmora::serverlist
