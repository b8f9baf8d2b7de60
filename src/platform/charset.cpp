#include "platform/charset.h"

#include <cctype>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#endif

namespace velmora::platform {

namespace {

std::string normalName(const std::string& name) {
    std::string normal;
    for (const char c : name) {
        if (c != '-' && c != '_')
            normal.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    if (normal.empty() || normal == "ANSIX3.41968" || normal == "ASCII" || normal == "USASCII")
        return "UTF8";
    return normal;
}

#ifndef _WIN32
// The name as iconv takes it.
std::string iconvName(const std::string& name) {
    return normalName(name) == "UTF8" ? "UTF-8" : name;
}
#endif

} // namespace

std::string systemCharacterSet() {
#ifdef _WIN32
    return "windows-" + std::to_string(GetACP());
#else
    // The locale is the one the program set from its environment at start.
    const char* name = nl_langinfo(CODESET);
    return name && *name ? name : "UTF-8";
#endif
}

bool sameCharacterSet(const std::string& a, const std::string& b) {
    return normalName(a) == normalName(b);
}

bool knownCharacterSet(const std::string& name) {
#ifdef _WIN32
    return sameCharacterSet(name, systemCharacterSet());
#else
    const iconv_t converter = iconv_open("UTF-8", iconvName(name).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(converter);
    return true;
#endif
}

std::optional<std::string> convertText(std::string_view text, const std::string& from,
                                       const std::string& to) {
    if (sameCharacterSet(from, to))
        return std::string(text);
#ifdef _WIN32
    return std::nullopt;
#else
    const iconv_t converter = iconv_open(iconvName(to).c_str(), iconvName(from).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    std::size_t done = 0;
    bool ok = true;
    // The last round, with no input, ends a shift sequence of stateful sets.
    for (bool flushed = false; !flushed;) {
        char* put = out.data() + done;
        std::size_t room = out.size() - done;
        const bool last = inLeft == 0;
        const std::size_t result = last ? iconv(converter, nullptr, nullptr, &put, &room)
                                        : iconv(converter, &in, &inLeft, &put, &room);
        done = static_cast<std::size_t>(put - out.data());
        if (result != static_cast<std::size_t>(-1)) {
            flushed = last;
            continue;
        }
        if (errno != E2BIG) {
            ok = false; // EILSEQ, EINVAL: not valid in the one, missing in the other
            break;
        }
        out.resize(out.size() * 2);
    }
    iconv_close(converter);
    if (!ok)
        return std::nullopt;
    out.resize(done);
    return out;
#endif
}

} // namespace velmora::platform
