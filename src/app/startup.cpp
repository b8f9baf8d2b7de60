#include "app/startup.h"

#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "platform/filesystem.h"
#include "platform/programpaths.h"
#ifndef _WIN32
#include "platform/smb/smbsettings.h"
#endif
#include "serverlist/filesource.h"

#include <QApplication>

namespace velmora::app {

int runProgram(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    dialogs::answerAutomaticallyIfRequested();

    // serveri.txt is looked up beside the executable, never in the current folder.
    const std::string programFolder = platform::executableFolder();
    if (!platform::nativeFileSystem().fileExists(serverlist::serverFilePath(programFolder))) {
        dialogs::showMessage(nullptr, QStringLiteral("Ne postoji fajl serveri.txt!"));
        return 1;
    }

#ifndef _WIN32
    platform::smb::shareSmbHelperWithStartedPrograms();
#endif
    TForm1 form1(ProgramPaths{programFolder});
    form1.show();
    return QApplication::exec();
}

} // namespace velmora::app
