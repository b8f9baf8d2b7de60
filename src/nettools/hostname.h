#pragma once

#include <optional>
#include <string>

namespace velmora::nettools {

// The host name of a server path \\host\share\folder: the text from the third
// character up to the next "\" or the end. None when the path is shorter than
// three characters or does not begin with two "\" (the ping commands then say
// "Nije dobar server!"). Nothing is trimmed or looked up; "\\\share" gives an
// empty host name.
std::optional<std::string> hostNameOf(const std::string& serverPath);

} // namespace velmora::nettools
