#include "platform/listcharset.h"

#include "platform/charset.h"
#include "platform/paths.h"
#include "platform/userwarning.h"

#include <cstdlib>
#include <mutex>

namespace velmora::platform {

std::string listCharacterSet() {
#ifdef _WIN32
    return systemCharacterSet();
#else
    const char* named = std::getenv("VELMORA_LIST_CHARSET");
    if (named == nullptr || *named == '\0')
        return systemCharacterSet();
    // Looked up again only when the setting changes.
    static std::mutex lock;
    static std::string lastNamed;
    static bool lastKnown = false;
    const std::lock_guard guard(lock);
    if (lastNamed != named) {
        lastNamed = named;
        lastKnown = knownCharacterSet(lastNamed);
        if (!lastKnown)
            warnUser("VELMORA_LIST_CHARSET names the character set \"" + lastNamed +
                     "\", which this system cannot convert; serveri.txt is read in " +
                     systemCharacterSet() + ".");
    }
    return lastKnown ? lastNamed : systemCharacterSet();
#endif
}

std::optional<std::string> listTextAsUtf8(std::string_view text) {
    return convertText(text, listCharacterSet(), "UTF-8");
}

std::string listTextForSystem(std::string_view text) {
    return convertText(text, listCharacterSet(), systemCharacterSet()).value_or(std::string(text));
}

std::string fileNameForRow(std::string_view rowPath, std::string_view localPath) {
    std::string name = fileNamePart(localPath);
    if (!isNetworkPath(rowPath))
        return name;
    return convertText(name, systemCharacterSet(), listCharacterSet()).value_or(name);
}

} // namespace velmora::platform
