#pragma once

#include <string>

namespace velmora::smbhelper {

// A user's SMB logon, as the authentication file of smbclient gives it:
//   username = <name>
//   password = <password>
//   domain   = <domain>
// The name before the first "=" is taken without blanks and case; the value is
// the rest of the line without its leading blanks, so a password may hold
// blanks, "#" and "=" and end in a blank (user and domain names lose trailing
// blanks too). Other lines (comments) are ignored.
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
