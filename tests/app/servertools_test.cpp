// The commands for the one selected server, through the window's menu: the
// robocopy runs, ping and open folder.
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "serverlist/marks.h"
#include "support/standinterminal.h"
#include "support/tempfolder.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

using namespace velmora;
using app::TForm1;
using testsupport::StandInTerminal;
using Args = StandInTerminal::Arguments;

namespace {

class ServerTools : public ::testing::Test {
protected:
    void SetUp() override {
        app::dialogs::setAnswerAutomatically(true);
        app::dialogs::takeShownMessages();
    }
    void TearDown() override {
        app::dialogs::takeShownMessages();
        qunsetenv("VELMORA_OPENER");
        qunsetenv("VELMORA_LIST_CHARSET");
    }

    // A window whose server list holds the lines; its temp folder is ours.
    TForm1& windowWith(const QByteArray& serverLines) {
        dir.write("serveri.txt", serverLines);
        qputenv("TMPDIR", QFile::encodeName(QFile::decodeName(dir.path().c_str())));
        form = std::make_unique<TForm1>(app::ProgramPaths{dir.path()});
        qunsetenv("TMPDIR");
        form->show();
        return *form;
    }
    void trigger(const char* item) { form->menuItem(QLatin1String(item))->trigger(); }
    QStringList messages() { return app::dialogs::takeShownMessages(); }
    void addFile(const std::string& path) {
        app::dialogs::setNextFileName(QFile::decodeName(path.c_str()));
        trigger("Dodajfajl1");
        ASSERT_TRUE(form->fileSet().isHeld());
    }
    // Waits for the robocopy runs given to end (their tools started or
    // reported); a run goes on beside the window.
    bool robocopyRunsEnded() {
        return QTest::qWaitFor([&] { return form->robocopyRunsInFlight() == 0; }, 20000);
    }
    // The invocation that the command just started.
    Args nextInvocation() {
        const auto runs = recorder->invocations(++started);
        return runs.size() == started ? runs.back() : Args{"(none)"};
    }
    // From here on the programs are recorded only, never run: ping must not
    // reach any host from a test.
    void recordOnly() { recorder = &quiet.emplace(StandInTerminal::Mode::RecordOnly); }

    testsupport::TempFolder dir;
    StandInTerminal terminal{StandInTerminal::Mode::RecordAndRun};
    std::optional<StandInTerminal> quiet;
    const StandInTerminal* recorder = &terminal;
    std::size_t started = 0;
    std::unique_ptr<TForm1> form;
};

TEST_F(ServerTools, WithoutASelectedRow) {
    recordOnly();
    windowWith("\\\\srv01\\app\r\n");
    addFile(dir.write("prog.exe", "new"));
    form->selectRow(-1);
    trigger("Kopirajsarobocopy1");
    trigger("Kopirajsaexternimrobocopy1");
    EXPECT_EQ(messages(), QStringList({"Izaberite lokaciju!", "Izaberite lokaciju!"}));
    trigger("Ping1");
    trigger("Pingt1");
    trigger("Otvorifolder1");
    EXPECT_EQ(messages(), QStringList());
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkUnknown);
    // Nothing was started: the first invocation is the ping that follows.
    form->selectRow(0);
    trigger("Ping1");
    EXPECT_EQ(nextInvocation(), (Args{"-e", "ping", "-c", "4", "--", "srv01"}));
}

TEST_F(ServerTools, PingTakesTheHostNameBetweenTheLeadingBackslashesAndTheNext) {
    recordOnly();
    windowWith("\\\\server\\share\\folder\r\n\\\\server\r\n\\\\server\\\r\n"
               "\\\\10.1.2.3\\c$\\App\r\n\\\\a\r\n\\\\\\share\r\n\\\\-n5\\x\r\n"
               "\\\\\r\nC:\\Verzije\r\nserver\\share\r\n");
    const std::vector<Args> expected = {
        {"-e", "ping", "-c", "4", "--", "server"},
        {"-e", "ping", "-c", "4", "--", "server"},
        {"-e", "ping", "-c", "4", "--", "server"},
        {"-e", "ping", "-c", "4", "--", "10.1.2.3"},
        {"-e", "ping", "-c", "4", "--", "a"},
        // Three "\" in a row: an empty host name, handed over as nothing.
        {"-e", "ping", "-c", "4"},
        // A host name that looks like an option stays a host name.
        {"-e", "ping", "-c", "4", "--", "-n5"}};
    for (int row = 0; row < static_cast<int>(expected.size()); ++row) {
        form->selectRow(row);
        trigger("Ping1");
        EXPECT_EQ(nextInvocation(), expected[row]) << "row " << row;
    }
    EXPECT_EQ(messages(), QStringList());

    form->selectRow(0);
    trigger("Pingt1");
    EXPECT_EQ(nextInvocation(), (Args{"-e", "ping", "--", "server"}));
    form->selectRow(5);
    trigger("Pingt1");
    EXPECT_EQ(nextInvocation(), (Args{"-e", "ping"}));

    for (int row = 7; row < 10; ++row) {
        form->selectRow(row);
        trigger("Ping1");
        trigger("Pingt1");
        EXPECT_EQ(messages(), QStringList({"Nije dobar server!", "Nije dobar server!"}))
            << "row " << row;
    }
    EXPECT_EQ(recorder->readAll().size(), started);
}

TEST_F(ServerTools, OpenFolderHandsThePathOverUntested) {
    windowWith("\\\\server\\share\\folder\r\nC:\\Verzije\r\n");
    qputenv("VELMORA_OPENER", QFile::encodeName(QString::fromStdString(terminal.script())));
    form->selectRow(0);
    trigger("Otvorifolder1");
    EXPECT_EQ(nextInvocation(), (Args{"smb://server/share/folder"}));
    form->selectRow(1);
    trigger("Otvorifolder1");
    EXPECT_EQ(nextInvocation(), (Args{"C:/Verzije"}));
    EXPECT_EQ(messages(), QStringList());
}

// A row's text is in the list's character set: the caption is shown, the
// folder opened and the host pinged as the same names.
TEST_F(ServerTools, ListInAWindowsCodePageIsShownOpenedAndPingedAsWritten) {
    recordOnly();
    qputenv("VELMORA_LIST_CHARSET", "windows-1250");
    // "Niš" and "Čačak" in code page 1250.
    windowWith("\\\\srv-Ni\x9a\\app\\\xc8"
               "a\xe8"
               "ak\r\n");
    qputenv("VELMORA_OPENER", QFile::encodeName(QString::fromStdString(recorder->script())));
    EXPECT_EQ(form->lista().caption(0), "\\\\srv-Ni\x9a\\app\\\xc8"
                                        "a\xe8"
                                        "ak");
    EXPECT_EQ(form->lista().data(form->lista().index(0, 0), Qt::DisplayRole).toString(),
              QStringLiteral("\\\\srv-Niš\\app\\Čačak"));
    form->selectRow(0);
    trigger("Otvorifolder1");
    EXPECT_EQ(nextInvocation(), (Args{"smb://srv-Ni%C5%A1/app/%C4%8Ca%C4%8Dak"}));
    trigger("Ping1");
    EXPECT_EQ(nextInvocation(), (Args{"-e", "ping", "-c", "4", "--", "srv-Niš"}));
}

// The file dialog gives a real Linux name, which may hold a "\": the file set
// reads it, looks it up after a copy and opens its folder by that name. On the
// server the copy is named by the rows' rules, after the last "\".
TEST_F(ServerTools, AFileWhoseLinuxNameHoldsABackslashIsSentByItsRealName) {
    namespace fs = std::filesystem;
    const std::string server = dir.path() + "server";
    fs::create_directory(server);
    const std::string release = dir.path() + "release";
    fs::create_directory(release);
    const std::string local = release + "/v2\\prog.exe";
    std::ofstream(local) << "the new version";
    ASSERT_FALSE(fs::exists(release + "/v2/prog.exe"));
    windowWith(QByteArray::fromStdString(server + "\r\n"));
    qputenv("VELMORA_OPENER", QFile::encodeName(QString::fromStdString(terminal.script())));
    addFile(local);
    EXPECT_EQ(messages(), QStringList());
    EXPECT_EQ(form->fileSet().path(), local);
    ASSERT_TRUE(form->fileSet().image());
    EXPECT_EQ(form->fileSet().image()->size(), 15u);
    EXPECT_TRUE(form->findChild<QLabel*>("Label5")->text().startsWith("Veličina fajla: 0 KB - "));

    auto idle = [&] {
        return form->operationState().liveWorkers() == 0 &&
               form->operationState().liveDispatchers() == 0;
    };
    trigger("Kopiraj1");
    ASSERT_TRUE(QTest::qWaitFor(idle, 20000));
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkCopied)
        << form->lista().subItem(0, 1).toStdString();
    EXPECT_EQ(fs::file_size(server + "/prog.exe"), 15u);
    trigger("Proveriverzije1");
    ASSERT_TRUE(QTest::qWaitFor(idle, 20000));
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkGoodVersion);

    trigger("Otvorifolder2");
    EXPECT_EQ(nextInvocation(), (Args{release}));
    trigger("Pokrenifajl1");
    EXPECT_EQ(nextInvocation(), (Args{local}));
}

TEST_F(ServerTools, RobocopyMarksTheSelectedRowOnly) {
    namespace fs = std::filesystem;
    const std::string server = dir.path() + "server";
    fs::create_directory(server);
    windowWith(QByteArray::fromStdString(server + "\r\n" + server + "-other\r\n"));
    addFile(dir.write("prog.exe", "the new version"));
    auto& lista = form->lista();
    lista.setChecked(0, false);
    form->selectRow(0);

    trigger("Kopirajsaexternimrobocopy1");
    ASSERT_TRUE(robocopyRunsEnded());
    EXPECT_EQ(messages(), QStringList({"Nemate robocopy.exe u foderu gde je program!"}));
    EXPECT_EQ(lista.mark(0), serverlist::MarkUnknown);

    trigger("Kopirajsarobocopy1");
    ASSERT_TRUE(robocopyRunsEnded());
    EXPECT_EQ(messages(), QStringList());
    EXPECT_EQ(lista.mark(0), serverlist::MarkRobocopy);
    EXPECT_EQ(lista.subItem(0, 1), "kopirano sa robocopy");
    EXPECT_EQ(lista.subItem(0, 0), "?");
    EXPECT_FALSE(lista.checked(0));
    EXPECT_EQ(lista.mark(1), serverlist::MarkUnknown);
    EXPECT_TRUE(lista.checked(1));
    // The tool the window carries really copies.
    EXPECT_EQ(nextInvocation().at(1), form->robocopyTempPath());
    for (int i = 0; i < 500 && !fs::exists(server + "/prog.exe"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(fs::file_size(server + "/prog.exe"), 15u);
}

TEST_F(ServerTools, RobocopyToolThatCannotBeWrittenIsReportedAndChangesNothing) {
    const std::string server = dir.path() + "server";
    std::filesystem::create_directory(server);
    windowWith(QByteArray::fromStdString(server + "\r\n"));
    addFile(dir.write("prog.exe", "new"));
    // A folder stands where the tool file would be written.
    std::filesystem::create_directory(form->robocopyTempPath());
    form->selectRow(0);
    trigger("Kopirajsarobocopy1");
    ASSERT_TRUE(robocopyRunsEnded());
    const QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("Cannot create file \"%1\". ")
                                        .arg(QString::fromStdString(form->robocopyTempPath()))))
        << shown[0].toStdString();
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkUnknown);
    EXPECT_EQ(form->lista().subItem(0, 1), "?");
    EXPECT_TRUE(terminal.readAll().empty());

    // A tool that cannot be started is said so; the row is not marked.
    std::filesystem::remove(form->robocopyTempPath());
    qputenv("TERMINAL", "velmora-no-such-terminal");
    trigger("Kopirajsarobocopy1");
    ASSERT_TRUE(robocopyRunsEnded());
    const QStringList notStarted = messages();
    ASSERT_EQ(notStarted.size(), 1);
    EXPECT_TRUE(notStarted[0].startsWith(QStringLiteral("Cannot start \"")))
        << notStarted[0].toStdString();
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkUnknown);
}

TEST_F(ServerTools, TheWindowGoesOnWhileTheToolIsAwaited) {
    namespace fs = std::filesystem;
    const std::string server = dir.path() + "server";
    fs::create_directory(server);
    windowWith(QByteArray::fromStdString(server + "\r\n"));
    addFile(dir.write("prog.exe", "the new version"));
    form->selectRow(0);
    // A terminal that starts the tool 2 s after it was asked to.
    StandInTerminal slow(StandInTerminal::Mode::RecordAndRunLater, 2.0);

    QElapsedTimer clock;
    clock.start();
    trigger("Kopirajsarobocopy1");
    EXPECT_LT(clock.elapsed(), 1000);
    bool ticked = false;
    QTimer::singleShot(100, form.get(), [&] { ticked = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticked; }, 1500));
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkUnknown);

    // A second run while the first one's tool has not started yet would
    // replace the file under it.
    trigger("Kopirajsarobocopy1");
    QStringList refused;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            refused += messages();
            return !refused.isEmpty();
        },
        5000));
    EXPECT_EQ(refused, QStringList({QStringLiteral("Cannot create file \"%1\". Text file busy")
                                        .arg(QString::fromStdString(form->robocopyTempPath()))}));

    ASSERT_TRUE(robocopyRunsEnded());
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_EQ(messages(), QStringList());
    EXPECT_EQ(form->lista().mark(0), serverlist::MarkRobocopy);
    EXPECT_EQ(form->lista().subItem(0, 1), "kopirano sa robocopy");
}

} // namespace
