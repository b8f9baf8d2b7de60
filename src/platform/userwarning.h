#pragma once

#include <string>

namespace velmora::platform {

// Tells the user of something the program goes on with but that needs their
// attention (a credentials file that others can read, a setting it cannot
// use). Every such warning goes through here: one line on standard error.
void warnUser(const std::string& text);

} // namespace velmora::platform
