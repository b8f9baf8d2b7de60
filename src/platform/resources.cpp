#include "resources.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>
#endif

namespace velmora::platform {

#ifdef _WIN32

Result<ResourceBytes> findModuleResource(const char* type, const char* name) {
    HRSRC found = FindResourceA(nullptr, name, type);
    if (found == nullptr)
        return lastSystemError();
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (loaded == nullptr)
        return lastSystemError();
    const void* data = LockResource(loaded);
    if (data == nullptr)
        return lastSystemError();
    return ResourceBytes{static_cast<const unsigned char*>(data), SizeofResource(nullptr, found)};
}

void registerModuleResource(const char*, const char*, const unsigned char*, std::size_t) {}

#else

namespace {

struct Registered {
    const char* type;
    const char* name;
    ResourceBytes bytes;
};

// Filled by static initialisers of the generated code, read afterwards.
std::vector<Registered>& registry() {
    static std::vector<Registered> entries;
    return entries;
}

std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

Result<ResourceBytes> findModuleResource(const char* type, const char* name) {
    const std::lock_guard<std::mutex> guard(registryLock());
    for (const Registered& entry : registry()) {
        if (std::strcmp(entry.type, type) == 0 && std::strcmp(entry.name, name) == 0)
            return entry.bytes;
    }
    return systemError(ENOENT);
}

void registerModuleResource(const char* type, const char* name, const unsigned char* data,
                            std::size_t size) {
    const std::lock_guard<std::mutex> guard(registryLock());
    registry().push_back({type, name, {data, size}});
}

#endif

} // namespace velmora::platform
