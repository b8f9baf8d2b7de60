#pragma once

#ifdef _WIN32
#include <cstdlib>
#include <ctime>
#endif

namespace velmora::testsupport {

// Wine hands the host's TZ (a zone name such as Europe/Belgrade) on to the
// program, where Windows' C runtime would misread it: without it the C
// runtime takes the system's time zone, as the system's calls do.
inline void useTheSystemsTimeZone() {
#ifdef _WIN32
    _putenv("TZ=");
    _tzset();
#endif
}

} // namespace velmora::testsupport
