#include "credentialswarning.h"

#include "platform/userwarning.h"

#include <cstdio>
#include <mutex>
#include <set>

#include <sys/stat.h>

namespace velmora::platform::smb {

std::string openCredentialsWarning(const std::string& path, unsigned permissions) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", permissions & 07777u);
    return "the SMB credentials file \"" + path + "\" has permissions " + mode +
           ": others can read or change the password in it. Keep it private with chmod 600 \"" +
           path + "\"; it is used all the same.";
}

void warnIfCredentialsFileIsOpen(const std::string& path) {
    if (path.empty())
        return;
    static std::mutex lock;
    static std::set<std::string> warned;
    const std::lock_guard guard(lock);
    if (warned.count(path) != 0)
        return;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        return;
    warned.insert(path);
    warnUser(openCredentialsWarning(path, static_cast<unsigned>(info.st_mode)));
}

} // namespace velmora::platform::smb
