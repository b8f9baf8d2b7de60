#include "support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using velmora::testsupport::TempFolder;

namespace {

struct ProgramRun {
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QString standardOutput;
    QString standardError;
};

// Runs a copy of the program that stands alone in its own folder, from another
// working folder, with message boxes answered automatically. A program that is
// still running after `waitMs` is stopped and reported as not finished.
// The user's settings and state folders are workingDir's config/ and state/.
ProgramRun runCopyOfProgram(const TempFolder& programDir, const TempFolder& workingDir,
                            int waitMs = 30'000, const QStringList& args = {},
                            bool withDisplay = true) {
    const QString exe = QFile::decodeName(programDir.file("velmora").c_str());
    QFile::remove(exe);
    if (!QFile::copy(QStringLiteral(VELMORA_EXE), exe))
        return {};
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (withDisplay) {
        env.insert("QT_QPA_PLATFORM", "offscreen");
    } else {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
    }
    env.insert("VELMORA_NONINTERACTIVE", "1");
    env.insert("XDG_CONFIG_HOME", QFile::decodeName(workingDir.file("config").c_str()));
    env.insert("XDG_STATE_HOME", QFile::decodeName(workingDir.file("state").c_str()));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QFile::decodeName(workingDir.path().c_str()));
    process.start(exe, args);
    ProgramRun run;
    if (!process.waitForStarted(10'000))
        return run;
    run.started = true;
    run.finished = process.waitForFinished(waitMs);
    if (!run.finished)
        process.kill();
    run.exitCode = process.exitCode();
    run.standardOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
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
    // Standard error names both places looked at.
    for (const std::string& place :
         {programDir.file("serveri.txt"), workingDir.file("config/velmora/serveri.txt")})
        EXPECT_TRUE(run.standardError.contains(QFile::decodeName(place.c_str())))
            << place << " not in: " << run.standardError.toStdString();
}

TEST(Startup, FindsTheListInTheUsersSettingsFolderWhenNoneStandsBesideTheProgram) {
    TempFolder programDir;
    TempFolder workingDir;
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(workingDir.file("config/velmora").c_str())));
    workingDir.write("config/velmora/serveri.txt", "\\\\srv01\\app\r\n\\\\srv02\\app\r\n");
    const ProgramRun run = runCopyOfProgram(programDir, workingDir, 3'000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.finished) << run.standardError.toStdString();
    // The journal's start record says which list the window loaded.
    const QString state = QFile::decodeName(workingDir.file("state/velmora").c_str());
    const QStringList days = QDir(state).entryList({QStringLiteral("journal-*.jsonl")});
    ASSERT_EQ(days.size(), 1) << state.toStdString();
    QFile day(state + QLatin1Char('/') + days.first());
    ASSERT_TRUE(day.open(QIODevice::ReadOnly));
    const QJsonObject start = QJsonDocument::fromJson(day.readLine()).object();
    EXPECT_EQ(start.value("record").toString(), "start");
    EXPECT_EQ(start.value("servers").toString(),
              QFile::decodeName(workingDir.file("config/velmora/serveri.txt").c_str()));
    EXPECT_EQ(start.value("rows").toInt(), 2);
}

TEST(Startup, AnswersHelpAndVersionWithoutADisplay) {
    TempFolder programDir;
    TempFolder workingDir;
    const ProgramRun help = runCopyOfProgram(programDir, workingDir, 30'000, {"--help"}, false);
    ASSERT_TRUE(help.finished);
    EXPECT_EQ(help.exitCode, 0) << help.standardError.toStdString();
    EXPECT_TRUE(help.standardOutput.startsWith(QStringLiteral("Usage: velmora")));
    EXPECT_TRUE(help.standardOutput.contains(
        QFile::decodeName(workingDir.file("config/velmora/serveri.txt").c_str())));
    EXPECT_TRUE(help.standardOutput.contains(
        QFile::decodeName(workingDir.file("state/velmora/journal-").c_str())));
    const ProgramRun version =
        runCopyOfProgram(programDir, workingDir, 30'000, {"--version"}, false);
    ASSERT_TRUE(version.finished);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.standardOutput, QStringLiteral("velmora 2.0\n"));
    // Without an option and without a display it says so and ends, instead
    // of Qt aborting the process.
    const ProgramRun window = runCopyOfProgram(programDir, workingDir, 30'000, {}, false);
    ASSERT_TRUE(window.finished);
    EXPECT_EQ(window.exitCode, 1);
    EXPECT_TRUE(window.standardError.startsWith(QStringLiteral("velmora: there is no display")))
        << window.standardError.toStdString();
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
