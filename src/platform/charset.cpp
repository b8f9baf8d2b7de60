#include "platform/charset.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#endif

namespace velmora::platform {

std::string systemCharacterSet() {
#ifdef _WIN32
    return "windows-" + std::to_string(GetACP());
#else
    // The locale is the one the program set from its environment at start.
    const char* name = nl_langinfo(CODESET);
    return name && *name ? name : "UTF-8";
#endif
}

} // namespace velmora::platform
