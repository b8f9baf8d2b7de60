#include "app/startup.h"

#include "app/commandoptions.h"
#include "app/dialogs.h"
#include "app/imagelist.h"
#include "app/journal.h"
#include "app/mainwindow.h"
#include "platform/programpaths.h"
#include "platform/userwarning.h"
#ifndef _WIN32
#include "platform/smb/smbsettings.h"
#endif
#include "serverlist/filesource.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace velmora::app {

namespace {

// On X11 and Wayland desktops Qt finds no display without one of these and
// aborts the process with a message about its platform plugin; QT_QPA_PLATFORM
// names another platform (offscreen, vnc) that needs neither.
bool hasDisplay() {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value)
            return true;
    return false;
#endif
}

} // namespace

int runProgram(int argc, char** argv) {
    // Answered before the application object, which needs a display.
    if (const std::optional<int> answered = answerInformationOptions(argc, argv, stdout))
        return *answered;
    if (!hasDisplay()) {
        std::fprintf(stderr, "velmora: there is no display to show the window on (neither DISPLAY "
                             "nor WAYLAND_DISPLAY is set); velmora-cli runs the batches without "
                             "a window\n");
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QLatin1String(programVersion()));
    QApplication::setWindowIcon(programIcon());
    dialogs::answerAutomaticallyIfRequested();

    // serveri.txt is looked up beside the executable, never in the current
    // folder; an installed program finds it in the user's settings folder.
    const std::string programFolder = platform::executableFolder();
    const std::optional<std::string> serverFile = serverlist::findServerFile(programFolder);
    if (!serverFile) {
        std::string places;
        for (const std::string& place : serverlist::serverFileCandidates(programFolder))
            places += (places.empty() ? "" : ", ") + place;
        std::fprintf(stderr, "velmora: no serveri.txt in %s\n", places.c_str());
        dialogs::showMessage(nullptr, QStringLiteral("Ne postoji fajl serveri.txt!"));
        return 1;
    }

#ifndef _WIN32
    platform::smb::shareSmbHelperWithStartedPrograms();
#endif
    // Warnings (a credentials file that others can read) go to the journal
    // too, where they are kept after the window has closed.
    platform::recordWarningsWith([](const std::string& text) {
        journalWarning(QStringLiteral("warning"), QString::fromLocal8Bit(text));
    });
    TForm1 form1(ProgramPaths{programFolder, *serverFile});
    form1.show();
    return QApplication::exec();
}

} // namespace velmora::app
