#include "app/journal.h"

#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "serverlist/marks.h"
#include "support/fakebatchwindow.h"
#include "support/faultyfilesystem.h"
#include "support/tempfolder.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableView>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace velmora;
using testsupport::TempFolder;

namespace {

struct JournalLines {
    QList<QJsonObject> records;
    int broken = 0; // lines that are not one whole JSON object
};

// Every record of every day file in the folder, in file order.
JournalLines readJournal(const QString& folder) {
    JournalLines got;
    const QStringList files =
        QDir(folder).entryList({QStringLiteral("journal-*.jsonl")}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray all = file.readAll();
        if (!all.isEmpty() && !all.endsWith('\n'))
            ++got.broken;
        for (const QByteArray& line : all.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (document.isObject())
                got.records.append(document.object());
            else
                ++got.broken;
        }
    }
    return got;
}

QList<QJsonObject> recordsWhere(const QList<QJsonObject>& records, const char* key,
                                const QString& value) {
    QList<QJsonObject> matching;
    for (const QJsonObject& record : records)
        if (record.value(QLatin1String(key)).toString() == value)
            matching.append(record);
    return matching;
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(Journal, FilesArePrivateAndLinesOfTwoWritersAtOnceNeverMix) {
    TempFolder temp;
    // The journal's folder and the missing folder above it are made here.
    const QString folder = QFile::decodeName(temp.file("state/velmora").c_str());
    constexpr int kThreads = 3;
    constexpr int kRecords = 400;
    {
        // Two journals on one folder stand for two programs writing one day.
        app::Journal first(folder);
        app::Journal second(folder);
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&, t] {
                // Long records, so that a line split in two writes would show.
                const QString filler(3000, QLatin1Char(t == 0 ? 'a' : 'b'));
                for (int n = 0; n < kRecords; ++n) {
                    app::Journal& journal = n % 2 ? first : second;
                    journal.append({{"writer", t}, {"n", n}, {"filler", filler}});
                }
            });
        }
        for (std::thread& writer : writers)
            writer.join();
        EXPECT_TRUE(first.flush(std::chrono::seconds(20)));
        EXPECT_TRUE(second.flush(std::chrono::seconds(20)));
        EXPECT_EQ(first.lastError(), QString());
    }
    const JournalLines lines = readJournal(folder);
    EXPECT_EQ(lines.broken, 0);
    ASSERT_EQ(lines.records.size(), kThreads * kRecords);
    // Each writer's records arrive in the order it wrote them to each journal.
    std::vector<std::vector<int>> last(kThreads, std::vector<int>{-1, -1});
    for (const QJsonObject& record : lines.records) {
        const int t = record.value("writer").toInt();
        const int n = record.value("n").toInt();
        EXPECT_GT(n, last[t][n % 2]) << "writer " << t;
        last[t][n % 2] = n;
        EXPECT_TRUE(record.value("time").toString().contains(QLatin1Char('T')));
        EXPECT_GT(record.value("pid").toInteger(), 0);
    }
    const QString file = app::Journal(folder).fileFor(QDate::currentDate());
    ASSERT_TRUE(QFile::exists(file)) << file.toStdString();
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(QFileInfo(folder).path()), 0700u);
}

TEST(Journal, EndingTheProgramWhileAWorkerReportsLosesNoLine) {
    TempFolder state;
    const QString folder = QFile::decodeName(state.file("velmora").c_str());
    ASSERT_TRUE(QDir().mkpath(folder));
    // The day's file is a pipe that nobody reads yet: the journal can write
    // nothing until the test reads, so a program that ends without waiting for
    // its journal has lost every line by then.
    const QByteArray day = QFile::encodeName(app::Journal(folder).fileFor(QDate::currentDate()));
    ASSERT_EQ(::mkfifo(day.constData(), 0600), 0);
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", QFile::decodeName(state.path().c_str()));
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(VELMORA_JOURNAL_PROBE), {});
    ASSERT_TRUE(probe.waitForStarted(10'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));

    const int pipe = ::open(day.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pipe, 0);
    QByteArray written;
    QElapsedTimer timer;
    timer.start();
    for (bool ended = false; timer.elapsed() < 60'000;) {
        char buffer[65536];
        const ssize_t got = ::read(pipe, buffer, sizeof buffer);
        if (got > 0) {
            written.append(buffer, got);
            continue;
        }
        if (ended)
            break;
        ended = probe.waitForFinished(20);
    }
    ::close(pipe);
    ASSERT_EQ(probe.state(), QProcess::NotRunning);
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);

    // The worker's last line may come or not, but never in part.
    QList<QJsonObject> fromMain;
    int broken = written.isEmpty() || written.endsWith('\n') ? 0 : 1;
    for (const QByteArray& line : written.split('\n')) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (line.isEmpty())
            continue;
        if (!document.isObject())
            ++broken;
        else if (document.object().value("from") == QLatin1String("main"))
            fromMain.append(document.object());
    }
    EXPECT_EQ(broken, 0);
    ASSERT_EQ(fromMain.size(), 3000);
    for (int n = 0; n < fromMain.size(); ++n)
        EXPECT_EQ(fromMain[n].value("n").toInt(), n);
}

namespace {

// A window whose batches reach the folders through a file system with gates.
class JournalWindow : public ::testing::Test {
protected:
    void SetUp() override {
        app::dialogs::setAnswerAutomatically(true);
        app::dialogs::takeShownMessages();
    }
    void TearDown() override {
        fileSystem.renameGate.open();
        if (form) {
            auto context = form->batchContext();
            form.reset();
            testsupport::processEventsUntil([&] {
                return context->state().liveWorkers() == 0 &&
                       context->state().liveDispatchers() == 0;
            });
        }
        app::dialogs::takeShownMessages();
        qunsetenv("VELMORA_OPENER");
    }

    std::string folder(const std::string& name) {
        const std::string path = temp.file(name);
        QDir().mkpath(QFile::decodeName(path.c_str()));
        return path;
    }
    void open(const std::vector<std::string>& rows) {
        QByteArray lines;
        for (const std::string& row : rows)
            lines += QByteArray::fromStdString(row) + "\r\n";
        temp.write("serveri.txt", lines);
        form = std::make_unique<app::TForm1>(
            app::ProgramPaths{temp.path()},
            [this](const std::string&) -> platform::FileSystem& { return fileSystem; });
        form->setJournal(journal);
        form->show();
    }
    void addFile(const std::string& path) {
        app::dialogs::setNextFileName(QFile::decodeName(path.c_str()));
        trigger("Dodajfajl1");
    }
    void trigger(const char* item) { form->menuItem(QLatin1String(item))->trigger(); }
    QStringList memo(const char* name) {
        return form->findChild<QPlainTextEdit*>(QLatin1String(name))
            ->toPlainText()
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString toolTip(int row) {
        QAbstractItemModel* model = form->findChild<QTableView*>("Lista")->model();
        return model->data(model->index(row, 2), Qt::ToolTipRole).toString();
    }
    QList<QJsonObject> records() {
        EXPECT_TRUE(journal.flush(std::chrono::seconds(10)));
        const JournalLines lines = readJournal(journal.folder());
        EXPECT_EQ(lines.broken, 0);
        return lines.records;
    }

    TempFolder temp;
    TempFolder state;
    testsupport::FaultyFileSystem fileSystem;
    app::Journal journal{QFile::decodeName(state.file("velmora").c_str())};
    std::unique_ptr<app::TForm1> form;
};

} // namespace

TEST_F(JournalWindow, EachRowsReasonIsKeptAndEachBatchEndsWithItsSummaryAfterItsLastWorker) {
    const std::string good = folder("srv01/app");
    const std::string missing = temp.file("srv02/app");
    const std::string notAFolder = temp.write("srv03", "a file, not a folder");
    const std::string renameRefused = folder("srv04/app");
    fileSystem.failRenameFrom = {renameRefused + "/prog.exe~"};
    open({good, missing, notAFolder, renameRefused});
    addFile(temp.write("prog.exe", QByteArray(5000, 'x')));

    // The two copies that get as far as their renames wait there.
    fileSystem.renameGate.shut();
    trigger("Kopiraj1");
    ASSERT_TRUE(testsupport::processEventsUntil([&] {
        return fileSystem.renameGate.waiting() == 2 && memo("Memo1").size() == 2 &&
               memo("Memo2").size() == 2;
    }));
    // A reachability batch at the same time runs to its end meanwhile.
    trigger("Proveridalipostojiracunar1");
    ASSERT_TRUE(testsupport::processEventsUntil(
        [&] { return memo("Memo2").filter(QStringLiteral("Kraj provere: ")).size() == 1; }));
    // The copy dispatcher is through its rows, its batch is not over.
    EXPECT_TRUE(memo("Memo1").filter(QStringLiteral("Puštena zadnja nit...")).size() == 1);
    EXPECT_TRUE(memo("Memo2").filter(QStringLiteral("Kraj kopiranja")).isEmpty());
    EXPECT_TRUE(recordsWhere(records(), "record", "batch").size() == 1);

    fileSystem.renameGate.open();
    ASSERT_TRUE(testsupport::processEventsUntil(
        [&] { return !memo("Memo2").filter(QStringLiteral("Kraj kopiranja")).isEmpty(); }));
    const QStringList errors = memo("Memo2");
    ASSERT_EQ(errors.filter(QStringLiteral("Kraj kopiranja")).size(), 1);
    EXPECT_TRUE(errors.last().startsWith(
        QStringLiteral("Kraj kopiranja: kopirano 1, neuspešno 3 od 4 servera, trajanje 0h ")))
        << errors.last().toStdString();
    EXPECT_TRUE(errors.filter(QStringLiteral("Kraj provere: dostupno 2, nedostupno 2 od 4 servera"))
                    .size() == 1)
        << errors.join("\n").toStdString();
    // The Part's lines stay as they were; the summary comes after all of them.
    // Two start and two end lines, the one copy and the two folders reached.
    EXPECT_EQ(memo("Memo1").size(), 7);
    EXPECT_EQ(errors.size(), 3 + 2 + 2);

    const QList<QJsonObject> all = records();
    QList<QJsonObject> copies = recordsWhere(recordsWhere(all, "record", "row"), "command", "copy");
    ASSERT_EQ(copies.size(), 4);
    std::sort(copies.begin(), copies.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value("row").toInt() < b.value("row").toInt();
    });
    EXPECT_EQ(copies[0].value("outcome").toString(), "copied");
    EXPECT_FALSE(copies[0].contains("reason"));
    EXPECT_EQ(copies[0].value("bytes").toInteger(), 5000);
    const struct {
        const char* info;
        const char* reason;
    } failures[] = {{"ne mogu da kreiram fajl", "No such file or directory"},
                    {"ne mogu da kreiram fajl", "Not a directory"},
                    {"ne mogu da preimenujem", "Permission denied"}};
    for (int row = 1; row < 4; ++row) {
        const QJsonObject& record = copies[row];
        EXPECT_EQ(record.value("outcome").toString(), "copy-failed") << row;
        EXPECT_EQ(record.value("info").toString(), failures[row - 1].info) << row;
        EXPECT_TRUE(record.value("reason").toString().contains(failures[row - 1].reason))
            << row << ": " << record.value("reason").toString().toStdString();
        EXPECT_EQ(
            record.value("server").toString(),
            QFile::decodeName(std::vector{good, missing, notAFolder, renameRefused}[row].c_str()));
        EXPECT_FALSE(record.value("log").toString().isEmpty());
    }
    const QList<QJsonObject> reach =
        recordsWhere(recordsWhere(all, "record", "row"), "command", "reach");
    ASSERT_EQ(reach.size(), 4);
    EXPECT_EQ(recordsWhere(reach, "outcome", "unreachable").size(), 2);
    for (const QJsonObject& record : recordsWhere(reach, "outcome", "unreachable"))
        EXPECT_FALSE(record.value("reason").toString().isEmpty());

    QList<QJsonObject> batches = recordsWhere(all, "record", "batch");
    ASSERT_EQ(batches.size(), 2);
    const QJsonObject copyBatch = recordsWhere(batches, "command", "copy").value(0);
    EXPECT_EQ(copyBatch.value("rows").toInt(), 4);
    EXPECT_EQ(copyBatch.value("failed").toInt(), 3);
    EXPECT_EQ(copyBatch.value("counts").toObject(),
              (QJsonObject{{"copied", 1}, {"copy-failed", 3}}));
    EXPECT_EQ(copyBatch.value("batch"), copies[0].value("batch"));

    // The tooltip names the whole path and why the row failed.
    const QString tip = toolTip(1);
    EXPECT_TRUE(tip.startsWith(QFile::decodeName(missing.c_str()) + QLatin1Char('\n')))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("Provera veze"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("Razlog: No such file or directory")))
        << tip.toStdString();
    // A reload starts the rows afresh.
    trigger("Loadfromserveriinifile1");
    EXPECT_EQ(toolTip(1), QFile::decodeName(missing.c_str()));

    // The one-server commands are journaled too.
    qputenv("VELMORA_OPENER", "true");
    form->selectRow(1);
    trigger("Otvorifolder1");
    trigger("Ping1"); // not a \\host path
    const QList<QJsonObject> tools = recordsWhere(records(), "record", "tool");
    ASSERT_EQ(tools.size(), 2);
    EXPECT_EQ(tools[0].value("command").toString(), "open-folder");
    EXPECT_EQ(tools[0].value("outcome").toString(), "started");
    EXPECT_EQ(tools[1].value("command").toString(), "ping");
    EXPECT_EQ(tools[1].value("outcome").toString(), "bad-server");
}
