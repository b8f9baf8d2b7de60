#include "support/tempfolder.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using velmora::testsupport::TempFolder;

namespace {

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QString standardError;
};

// Runs a copy of the program that stands alone in its own folder, from another
// working folder, with message boxes answered automatically.
ProgramRun runCopyOfProgram(const TempFolder& programDir, const TempFolder& workingDir) {
    const QString exe = QFile::decodeName(programDir.file("velmora").c_str());
    QFile::remove(exe);
    if (!QFile::copy(QStringLiteral(VELMORA_EXE), exe))
        return {};
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VELMORA_NONINTERACTIVE", "1");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QFile::decodeName(workingDir.path().c_str()));
    process.start(exe, {});
    ProgramRun run;
    run.finished = process.waitForFinished(30'000);
    if (!run.finished)
        process.kill();
    run.exitCode = process.exitCode();
    run.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

TEST(Startup, RefusesWithoutServerListBesideTheProgram) {
    TempFolder programDir;
    TempFolder workingDir;
    // A serveri.txt in the working folder does not count.
    workingDir.write("serveri.txt", "\\\\srv01\\app\r\n");

    const ProgramRun run = runCopyOfProgram(programDir, workingDir);
    ASSERT_TRUE(run.finished) << "the program did not end without serveri.txt";
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.standardError.contains(QStringLiteral("Ne postoji fajl serveri.txt!")))
        << run.standardError.toStdString();
}
