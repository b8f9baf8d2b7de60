#include "smbsettings.h"

#include "platform/programpaths.h"

#include <cstdlib>
#include <string_view>

namespace velmora::platform::smb {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

int positiveNumber(const std::string& text, int fallback, int highest) {
    if (text.empty())
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value <= 0 || value > highest)
        return fallback;
    return static_cast<int>(value);
}

} // namespace

std::string defaultCredentialsFile() {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        const std::string home = environment("HOME");
        if (home.empty())
            return {};
        config = home + "/.config";
    }
    return config + "/velmora/smb-credentials";
}

SmbSettings currentSmbSettings() {
    SmbSettings settings;
    settings.helperProgram = environment("VELMORA_SMB_HELPER");
    if (settings.helperProgram.empty())
        settings.helperProgram = executableFolder() + "velmora-smb";
    settings.port = positiveNumber(environment("VELMORA_SMB_PORT"), 445, 65535);
    settings.timeoutSeconds = positiveNumber(environment("VELMORA_SMB_TIMEOUT"), 20, 3600);
    settings.credentialsFile = environment("VELMORA_SMB_CREDENTIALS");
    if (settings.credentialsFile.empty())
        settings.credentialsFile = defaultCredentialsFile();
    return settings;
}

void shareSmbHelperWithStartedPrograms() {
    ::setenv("VELMORA_SMB_HELPER", currentSmbSettings().helperProgram.c_str(), 0);
}

} // namespace velmora::platform::smb
