#include "app/commandoptions.h"

#include "app/journal.h"
#include "platform/programpaths.h"
#include "serverlist/filesource.h"

#include <cstring>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0"
#endif

namespace velmora::app {

const char* programVersion() {
    return VELMORA_VERSION;
}

std::optional<int> answerInformationOptions(int argc, char** argv, std::FILE* out) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(helpText(platform::executableFolder()).c_str(), out);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::fprintf(out, "velmora %s\n", programVersion());
            return 0;
        }
    }
    return std::nullopt;
}

std::string helpText(const std::string& programFolder) {
    std::string text =
        "Usage: velmora [--help | --version]\n"
        "\n"
        "Velmora rolls out a new version of a program file to the shared folders of\n"
        "many servers at once and keeps each server's previous copy. It opens its\n"
        "window; it takes no other arguments.\n"
        "\n"
        "The server list, serveri.txt (one folder a line, \\\\host\\share\\folder), is\n"
        "the first of:\n";
    for (const std::string& place : serverlist::serverFileCandidates(programFolder))
        text += "  " + place + "\n";
    const QString journal = defaultJournalFolder();
    text +=
        "\n"
        "The operations journal (one JSON object a line, one file a day):\n"
        "  " +
        (journal.isEmpty() ? std::string("(no state folder)")
                           : journal.toLocal8Bit().toStdString() + "/journal-YYYY-MM-DD.jsonl") +
        "\n"
        "\n"
        "Environment:\n"
        "  VELMORA_SMB_CREDENTIALS  credentials file for network shares\n"
        "                           (default $XDG_CONFIG_HOME/velmora/smb-credentials)\n"
        "  VELMORA_SMB_PORT         SMB port (445)\n"
        "  VELMORA_SMB_TIMEOUT      seconds per SMB request (20)\n"
        "  TERMINAL                 the terminal for robocopy and ping\n"
        "  VELMORA_DB_HOST, VELMORA_DB_CATALOG, VELMORA_DB_ODBC_DRIVER\n"
        "                           the database source of the server list\n"
        "  XDG_CONFIG_HOME, XDG_STATE_HOME  the user's settings and state folders\n";
    return text;
}

} // namespace velmora::app
