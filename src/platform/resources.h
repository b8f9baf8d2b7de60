#pragma once

#include "result.h"

#include <cstddef>

namespace velmora::platform {

// The bytes of a resource that the build put into the program's own
// executable, found by its type and name.
struct ResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Finds a resource of the running program. On Windows these are the module's
// resources (FindResource); elsewhere the build links them into the program,
// where each registers itself before main() runs. Fails with "not found" when
// the program carries no such resource.
Result<ResourceBytes> findModuleResource(const char* type, const char* name);

// Used by the code that the build generates for each embedded file (not on
// Windows). The bytes must stay valid for the life of the program.
void registerModuleResource(const char* type, const char* name, const unsigned char* data,
                            std::size_t size);

} // namespace velmora::platform
