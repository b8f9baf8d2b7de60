#pragma once

#include <string>

namespace velmora::smbhelper {

// A user's SMB logon, as the authentication file of smbclient gives it:
//   username = <name>
//   password = <password>
//   domain   = <domain>
struct Credentials {
    std::string username;
    std::string password;
    std::string domain;
};

// The logon of the file; guest (user "guest", no password) when the file does
// not exist, cannot be read or names no user.
Credentials readCredentialsFile(const std::string& path);

// True when the user holds a Kerberos ticket cache the library can use.
bool kerberosTicketAvailable();

} // namespace velmora::smbhelper
