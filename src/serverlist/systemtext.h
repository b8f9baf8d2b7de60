#pragma once

#include <QString>

#include <string_view>

namespace velmora::serverlist {

// Decodes text in the system's character set for display. The bytes
// themselves are kept wherever they name a file; only what is shown is decoded.
QString decodeSystemText(std::string_view bytes);

// The same in a named character set. The plain C locale's ASCII counts as
// UTF-8, as Qt takes it, so that non-ASCII names are not all replaced.
QString decodeText(std::string_view bytes, const std::string& characterSet);

} // namespace velmora::serverlist
