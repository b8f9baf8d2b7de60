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

namespace velmora::app {

int runProgram(int argc, char** argv) {
    // Answered before the application object, which needs a display.
    if (const std::optional<int> answered = answerInformationOptions(argc, argv, stdout))
        return *answered;

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
