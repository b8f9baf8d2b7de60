#pragma once

#include <functional>
#include <string>

namespace velmora::platform {

// Tells the user of something the program goes on with but that needs their
// attention (a credentials file that others can read, a setting it cannot
// use). Every such warning goes through here: one line on standard error, and
// to the record the program keeps, where one has been named.
void warnUser(const std::string& text);

// Names where warnings are also recorded (the operations journal); an empty
// function records them nowhere else.
void recordWarningsWith(std::function<void(const std::string& text)> record);

} // namespace velmora::platform
