#include "batch/abortcopy.h"
#include "batch/copyprogress.h"
#include "batch/kopirajstart.h"
#include "platform/dostime.h"
#include "support/batchfixture.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace velmora::batch {
namespace {

using namespace serverlist;
using testsupport::patternBytes;

const QString kDate = QStringLiteral(R"(\d{4}\.\d{2}\.\d{2})");
const QString kDateTime = kDate + QStringLiteral(R"(( \d{2}:\d{2}:\d{2})?)");

bool matches(const QString& text, const QString& pattern) {
    return QRegularExpression(QStringLiteral("^") + pattern + QStringLiteral("$"))
        .match(text)
        .hasMatch();
}

class CopyWorkerTest : public testsupport::BatchFixture {
protected:
    void copy() {
        (new TKopirajStart(context))->Start();
        settle();
    }
    // Every value the "%" and "Informacije" cells of a row took, in order.
    QStringList cellHistory(int row) { return history_[row]; }
    void recordCells() {
        QObject::connect(&lista(), &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex& from, const QModelIndex& to) {
                             for (int r = from.row(); r <= to.row(); ++r)
                                 history_[r].append(percent(r) + QLatin1Char('|') + info(r));
                         });
    }

private:
    std::map<int, QStringList> history_;
};

TEST_F(CopyWorkerTest, CopyPutsTheFileInPlaceStampedAndKeepsThePreviousCopy) {
    const QByteArray first = patternBytes(200000); // several reopens, not a block multiple
    const std::string local = put(folder("release") + "/prog.exe", first);
    const platform::DosTime stamp = platform::packDosTime({2009, 11, 5, 14, 3, 8});
    ASSERT_TRUE(platform::localFileSystem().setLastWriteTime(local, stamp).ok());
    ASSERT_TRUE(window.fileSet().add(local).ok());
    // The stamp held at Add goes on the copy, whatever the disk says later.
    ASSERT_TRUE(platform::localFileSystem()
                    .setLastWriteTime(local, platform::packDosTime({2020, 1, 1, 0, 0, 0}))
                    .ok());
    const std::string server = folder("srv01");
    window.load({server});

    copy();
    const std::string dest = server + "/prog.exe";
    EXPECT_EQ(contentOf(dest), first);
    EXPECT_FALSE(exists(dest + "~"));
    EXPECT_FALSE(exists(server + "/_prog.exe")); // nothing to back up the first time
    EXPECT_EQ(platform::localFileSystem().findEntry(dest).value().time, stamp);
    EXPECT_EQ(lista().mark(0), MarkCopied);
    EXPECT_EQ(percent(0), "100%");
    EXPECT_TRUE(matches(info(0), QStringLiteral(R"(OK \(0h 0min \d+\.\d+sec\))"))) << info(0);
    ASSERT_EQ(window.memo1.size(), 3);
    EXPECT_TRUE(matches(window.memo1[0], QStringLiteral("Početak kopiranja\\.\\.\\.") + kDateTime));
    // The end line comes when the last worker is started, not when it ends.
    const QStringList ok = window.memo1.filter(" - OK ");
    ASSERT_EQ(ok.size(), 1);
    EXPECT_TRUE(matches(ok[0], QRegularExpression::escape(QString::fromStdString(dest)) +
                                   QStringLiteral(" - OK ") + kDateTime))
        << ok[0];
    EXPECT_EQ(window.memo1
                  .filter(QRegularExpression(QStringLiteral("^Puštena zadnja nit\\.\\.\\.") +
                                             kDateTime + "$"))
                  .size(),
              1);
    EXPECT_TRUE(window.memo2.isEmpty());
    ASSERT_EQ(window.labels.size(), 2);
    EXPECT_EQ(window.labels[0], std::make_pair(StateColour::Busy, QStringLiteral("RADIM...   ")));
    EXPECT_EQ(window.labels[1], std::make_pair(StateColour::Free, QStringLiteral("SLOBODNO   ")));

    // The second copy keeps the first under the backup name.
    const QByteArray second = patternBytes(5000);
    put(local, second);
    window.fileSet().clear();
    ASSERT_TRUE(window.fileSet().add(local).ok());
    copy();
    EXPECT_EQ(contentOf(dest), second);
    EXPECT_EQ(contentOf(server + "/_prog.exe"), first);
    EXPECT_EQ(lista().mark(0), MarkCopied);
}

TEST_F(CopyWorkerTest, ProgressShowsRoundedPercentAndKilobytes) {
    recordCells();
    holdFile(patternBytes(1000));
    window.load({folder("a")});
    copy();
    // One block: the row shows 100% and "1 od 1 KB" (rounded) before the result.
    ASSERT_GE(cellHistory(0).size(), 3);
    EXPECT_EQ(cellHistory(0)[0], "?|?"); // the working mark alone leaves the texts
    EXPECT_EQ(cellHistory(0)[2], "100%|1 od 1 KB");
    EXPECT_EQ(lista().mark(0), MarkCopied);

    // Halves go to even in both figures.
    EXPECT_EQ(progressKilobytes(2560, 3584), "2 od 4 KB");
    EXPECT_EQ(progressPercent(1, 8), 12);  // 12.5
    EXPECT_EQ(progressPercent(3, 8), 38);  // 37.5
    EXPECT_EQ(progressPercent(0, 0), 100); // an empty file is complete
}

// The row never shows more than the disk has taken: at every step of the "%"
// the temporary file holds at least the bytes it stands for.
TEST_F(CopyWorkerTest, ProgressNeverRunsAheadOfTheBytesOnTheDisk) {
    const int size = 1 << 20;
    holdFile(patternBytes(size));
    const std::string a = folder("a");
    window.load({a});
    QString shownBefore;
    int steps = 0;
    QObject::connect(&lista(), &QAbstractItemModel::dataChanged, [&] {
        const QString shown = percent(0);
        if (shown == shownBefore || !shown.endsWith(QLatin1Char('%')))
            return;
        shownBefore = shown;
        ++steps;
        const auto onDisk = QFileInfo(QString::fromStdString(a + "/prog.exe~")).size();
        EXPECT_GE(progressPercent(static_cast<double>(onDisk), size), shown.chopped(1).toInt())
            << shown.toStdString() << " with " << onDisk << " bytes on the disk";
    });
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopied);
    EXPECT_EQ(percent(0), "100%");
    EXPECT_GT(steps, 5);
}

TEST_F(CopyWorkerTest, ExactBlockMultipleAndEmptyFileCopyWhole) {
    const std::string a = folder("a");
    holdFile(patternBytes(4 * 2048));
    window.load({a});
    copy();
    EXPECT_EQ(contentOf(a + "/prog.exe"), patternBytes(4 * 2048));
    EXPECT_EQ(lista().mark(0), MarkCopied);

    recordCells();
    window.fileSet().clear();
    holdFile(QByteArray(), "empty.txt");
    copy();
    EXPECT_TRUE(exists(a + "/empty.txt"));
    EXPECT_EQ(contentOf(a + "/empty.txt"), QByteArray());
    EXPECT_EQ(lista().mark(0), MarkCopied);
    EXPECT_TRUE(cellHistory(0).contains("100%|0 od 0 KB"))
        << cellHistory(0).join(",").toStdString();
}

TEST_F(CopyWorkerTest, MissingFolderFailsAtCreationWithTheTimeOfDay) {
    holdFile(patternBytes(10));
    const std::string missing = temp.file("no-such-folder");
    window.load({missing});
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    EXPECT_EQ(info(0), "ne mogu da kreiram fajl");
    EXPECT_EQ(percent(0), "?");
    ASSERT_EQ(window.memo2.size(), 1);
    EXPECT_TRUE(matches(window.memo2[0],
                        QRegularExpression::escape(QString::fromStdString(missing + "/prog.exe")) +
                            QStringLiteral(" - ne mogu da kreiram fajl ") + kDateTime));
    EXPECT_EQ(context->state().liveWorkers(), 0);
}

TEST_F(CopyWorkerTest, EmptyRowWritesNothingToTheDisksRoot) {
    const std::string name = "velmora-empty-row-" + std::to_string(getpid());
    holdFile("x", name);
    window.load({""});
    copy();
    EXPECT_FALSE(exists("/" + name + "~"));
    QFile::remove(QString::fromStdString("/" + name + "~"));
    QFile::remove(QString::fromStdString("/" + name));
    EXPECT_EQ(info(0), "ne mogu da kreiram fajl");
}

TEST_F(CopyWorkerTest, ReadOnlyFolderFailsAtCreation) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder";
    holdFile(patternBytes(10));
    const std::string locked = folder("locked");
    ASSERT_TRUE(QFile::setPermissions(QFile::decodeName(locked.c_str()),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    window.load({locked});
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    EXPECT_EQ(info(0), "ne mogu da kreiram fajl");
}

TEST_F(CopyWorkerTest, LocalFileChangedInSizeAfterAddFailsTheCheck) {
    const std::string local = holdFile(patternBytes(3000));
    const std::string a = folder("a");
    put(a + "/prog.exe", "old");
    put(local, patternBytes(3001));
    window.load({a});
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    EXPECT_EQ(info(0), "loše kopiran");
    ASSERT_EQ(window.memo2.size(), 1);
    EXPECT_TRUE(matches(window.memo2[0],
                        QRegularExpression::escape(QString::fromStdString(a + "/prog.exe")) +
                            QStringLiteral(" loše kopiran! ") + kDate));
    EXPECT_EQ(contentOf(a + "/prog.exe"), "old");
    EXPECT_EQ(contentOf(a + "/prog.exe~"), patternBytes(3000)); // what was read at Add
}

TEST_F(CopyWorkerTest, LocalFileGoneAfterCopyNamesTheLocalFile) {
    const std::string local = holdFile(patternBytes(100));
    QFile::remove(QFile::decodeName(local.c_str()));
    window.load({folder("a")});
    copy();
    EXPECT_EQ(info(0), "ne postoji");
    ASSERT_EQ(window.memo2.size(), 1);
    EXPECT_EQ(window.memo2[0],
              QString::fromStdString(local) + " ne postoji! " + app::dateTextToday());
}

TEST_F(CopyWorkerTest, TargetThatCannotBeMovedAsideKeepsTheServersProgram) {
    holdFile(patternBytes(100));
    const std::string a = folder("a");
    put(a + "/prog.exe", "running version");
    // A backup name taken by a folder that cannot be deleted: the old copy cannot
    // move aside, so the new one cannot take its name.
    folder("a/_prog.exe/x");
    window.load({a});
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    EXPECT_EQ(info(0), "ne mogu da preimenujem");
    ASSERT_EQ(window.memo2.size(), 1);
    EXPECT_TRUE(window.memo2[0].endsWith(" ne mogu da ga preimenujem! " + app::dateTextToday()));
    EXPECT_EQ(contentOf(a + "/prog.exe"), "running version");
    EXPECT_EQ(contentOf(a + "/prog.exe~"), patternBytes(100));
}

TEST_F(CopyWorkerTest, FailedPlacementPutsTheBackupBack) {
    holdFile(patternBytes(100));
    const std::string a = folder("a");
    put(a + "/prog.exe", "running version");
    fileSystem.failRenameFrom.insert(a + "/prog.exe~"); // only the new copy's rename fails
    window.load({a});
    copy();
    EXPECT_EQ(info(0), "ne mogu da preimenujem");
    EXPECT_EQ(contentOf(a + "/prog.exe"), "running version");
    EXPECT_FALSE(exists(a + "/_prog.exe"));
    EXPECT_TRUE(exists(a + "/prog.exe~"));
}

TEST_F(CopyWorkerTest, ShortWriteFailedReopenAndFailedCloseAreCopyErrors) {
    const std::string local = holdFile(patternBytes(70000));
    const std::string a = folder("a");
    const QString expectedLine =
        QString::fromStdString(local) + " Greška u kopiranju! " + app::dateTextToday();
    window.load({a});

    fileSystem.shortWriteAt = 3;
    copy();
    EXPECT_EQ(info(0), "greška u kopiranju");
    EXPECT_EQ(window.memo2.value(0), expectedLine);

    fileSystem.shortWriteAt = -1;
    fileSystem.failReopen = true; // after the first 65,536 bytes
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    EXPECT_EQ(window.memo2.value(1), expectedLine);

    fileSystem.failReopen = false;
    fileSystem.failClose = true; // the system reports lost data only at close
    copy();
    EXPECT_EQ(window.memo2.value(2), expectedLine);
    EXPECT_FALSE(exists(a + "/prog.exe"));
    EXPECT_EQ(context->state().liveWorkers(), 0);
}

TEST_F(CopyWorkerTest, TemporaryFileVanishedAfterTheLoopIsReported) {
    holdFile(patternBytes(100));
    const std::string a = folder("a");
    fileSystem.invisible.insert(a + "/prog.exe~");
    window.load({a});
    copy();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed); // never left working for ever
    EXPECT_EQ(info(0), "ne postoji");
    EXPECT_EQ(window.memo2.value(0),
              QString::fromStdString(a + "/prog.exe") + " ne postoji! " + app::dateTextToday());
}

TEST_F(CopyWorkerTest, AbortStopsTheCopyAndLeavesTheTemporaryFile) {
    holdFile(patternBytes(100000));
    const std::string a = folder("a");
    const std::string b = folder("b");
    window.load({a, b});
    lista().setChecked(1, false);
    fileSystem.writeGate.shut();
    (new TKopirajStart(context))->Start();
    ASSERT_TRUE(
        testsupport::processEventsUntil([&] { return fileSystem.writeGate.waiting() == 1; }));
    EXPECT_EQ(abortCopy(context->state(), lista(), -1), AbortOutcome::NoRowSelected);
    EXPECT_EQ(abortCopy(context->state(), lista(), 1), AbortOutcome::NotWorking);
    EXPECT_EQ(abortCopy(context->state(), lista(), 0), AbortOutcome::Aborted);
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    fileSystem.writeGate.open();
    settle();
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    EXPECT_EQ(window.memo1.size(), 2); // start and end lines only
    EXPECT_TRUE(window.memo2.isEmpty());
    // The temporary file stays with what the disk had taken: the block that
    // was gathered when the abort came is not written after it.
    EXPECT_EQ(contentOf(a + "/prog.exe~"), QByteArray());
    EXPECT_FALSE(exists(a + "/prog.exe"));
    EXPECT_EQ(context->state().liveWorkers(), 0);

    // A row whose worker has ended has nothing to abort; the request reaches
    // nobody and the row only changes mark.
    lista().setMark(0, MarkWorking);
    EXPECT_EQ(abortCopy(context->state(), lista(), 0), AbortOutcome::Aborted);
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
}

TEST_F(CopyWorkerTest, AbortDuringTheRenamesCannotLeaveTheServerWithoutItsProgram) {
    holdFile(patternBytes(10000));
    const std::string a = folder("a");
    put(a + "/prog.exe", "running version");
    window.load({a});
    fileSystem.cancellableRenames = true;
    fileSystem.renameGate.shut();
    (new TKopirajStart(context))->Start();
    // Held at the move of the running version to the backup name.
    ASSERT_TRUE(
        testsupport::processEventsUntil([&] { return fileSystem.renameGate.waiting() == 1; }));
    EXPECT_EQ(abortCopy(context->state(), lista(), 0), AbortOutcome::Aborted);
    fileSystem.renameGate.open();
    settle();
    // Once begun, the renames run to their end.
    EXPECT_EQ(contentOf(a + "/prog.exe"), patternBytes(10000));
    EXPECT_EQ(contentOf(a + "/_prog.exe"), "running version");
    EXPECT_EQ(lista().mark(0), MarkCopied);
}

TEST_F(CopyWorkerTest, ImageReadAtAddIsSentEvenWhenTheSetIsCleared) {
    const QByteArray bytes = patternBytes(50000);
    const std::string local = holdFile(bytes);
    const std::string a = folder("a");
    const std::string b = folder("b");
    window.load({a, b});
    fileSystem.writeGate.shut();
    context->state().setLimit(2);
    (new TKopirajStart(context))->Start();
    ASSERT_TRUE(
        testsupport::processEventsUntil([&] { return fileSystem.writeGate.waiting() == 2; }));
    window.fileSet().clear();
    fileSystem.writeGate.open();
    settle();
    EXPECT_EQ(contentOf(a + "/prog.exe"), bytes);
    EXPECT_EQ(contentOf(b + "/prog.exe"), bytes);
    EXPECT_EQ(lista().mark(1), MarkCopied);
}

} // namespace
} // namespace velmora::batch
