#include "support/tempfolder.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using velmora::testsupport::TempFolder;

namespace {

struct ProgramRun {
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QString standardError;
};

// Runs a copy of the program that stands alone in its own folder, from another
// working folder, with message boxes answered automatically. A program that is
// still running after `waitMs` is stopped and reported as not finished.
ProgramRun runCopyOfProgram(const TempFolder& programDir, const TempFolder& workingDir,
                            int waitMs = 30'000) {
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
    if (!process.waitForStarted(10'000))
        return run;
    run.started = true;
    run.finished = process.waitForFinished(waitMs);
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

TEST(Startup, RefusesWithNoServerListAnywhere) {
    TempFolder programDir;
    TempFolder workingDir;
    const ProgramRun run = runCopyOfProgram(programDir, workingDir);
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.standardError.contains(QStringLiteral("Ne postoji fajl serveri.txt!")));
}

TEST(Startup, StartsWithServerListBesideTheProgramFromAnotherFolder) {
    TempFolder programDir;
    TempFolder workingDir;
    programDir.write("serveri.txt", "\\\\srv01\\app\r\n");
    // The window opens and the program keeps running until it is closed.
    const ProgramRun run = runCopyOfProgram(programDir, workingDir, 3'000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.finished) << run.standardError.toStdString();
    EXPECT_FALSE(run.standardError.contains(QStringLiteral("serveri.txt")));
}
