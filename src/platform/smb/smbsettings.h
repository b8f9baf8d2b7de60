#pragma once

#include <string>

namespace velmora::platform::smb {

// How the helper process reaches servers. Read from the environment at every
// request, so that a change (a test's server on another port) takes effect on
// the next request.
struct SmbSettings {
    std::string helperProgram;   // VELMORA_SMB_HELPER, else velmora-smb beside the program
    int port = 445;              // VELMORA_SMB_PORT
    int timeoutSeconds = 20;     // VELMORA_SMB_TIMEOUT: the library's time-out per request
    std::string credentialsFile; // VELMORA_SMB_CREDENTIALS, else the user's default file

    bool operator==(const SmbSettings&) const = default;
};

SmbSettings currentSmbSettings();

// Lets the programs that this one starts reach shares with the same helper:
// sets VELMORA_SMB_HELPER to the helper beside this program unless it is set.
// The copy tool runs from the temp folder, where no helper stands beside it.
void shareSmbHelperWithStartedPrograms();

// The default credentials file: $XDG_CONFIG_HOME/velmora/smb-credentials, or
// ~/.config/velmora/smb-credentials.
std::string defaultCredentialsFile();

} // namespace velmora::platform::smb
