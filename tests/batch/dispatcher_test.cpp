#include "batch/abortcopy.h"
#include "batch/kopirajstart.h"
#include "batch/proverastart.h"
#include "batch/verstart.h"
#include "support/batchfixture.h"

#include <QThread>

namespace velmora::batch {
namespace {

using namespace serverlist;
using testsupport::processEventsUntil;

class DispatcherTest : public testsupport::BatchFixture {
protected:
    void check() { (new TProveraStart(context))->Start(); }
    bool waitingAtGate(int n) {
        return processEventsUntil([&] { return fileSystem.folderGate.waiting() == n; });
    }
    // Gives the dispatcher time to do what it must not do.
    static void linger() {
        processEventsUntil([] { return false; }, 150);
    }
    std::vector<std::string> folders(int n) {
        std::vector<std::string> made;
        for (int i = 0; i < n; ++i)
            made.push_back(folder("srv" + std::to_string(i)));
        return made;
    }
    int rowsMarked(int mark) {
        int n = 0;
        for (int i = 0; i < lista().count(); ++i)
            n += lista().mark(i) == mark ? 1 : 0;
        return n;
    }
};

TEST_F(DispatcherTest, EmptyListOrNoCheckedRowWritesOnlyTheStartAndEndLines) {
    holdFile("x");
    check();
    settle();
    (new TVerStart(context))->Start();
    settle();
    window.load({folder("a"), folder("b")});
    lista().setMark(1, MarkCopied);
    lista().setChecked(0, false);
    lista().setChecked(1, false);
    (new TKopirajStart(context))->Start();
    settle();

    ASSERT_EQ(window.memo1.size(), 6) << window.memo1.join("\n").toStdString();
    const QString now = app::dateTextToday();
    EXPECT_TRUE(window.memo1[0].startsWith("Početak provere " + now));
    EXPECT_TRUE(window.memo1[1].startsWith("Zadnja nit provere puštena " + now));
    EXPECT_EQ(window.memo1[2], "Početak provere verzija " + now);
    EXPECT_EQ(window.memo1[3], "Puštena zadnja nit " + now);
    EXPECT_TRUE(window.memo1[4].startsWith("Početak kopiranja..." + now));
    EXPECT_TRUE(window.memo1[5].startsWith("Puštena zadnja nit..." + now));
    EXPECT_TRUE(window.memo2.isEmpty());
    EXPECT_EQ(lista().mark(0), MarkUnknown);
    EXPECT_EQ(lista().mark(1), MarkCopied);
    EXPECT_EQ(window.labels.size(), 6);
    EXPECT_EQ(window.labels.last().second, "SLOBODNO   ");
    EXPECT_EQ(context->state().liveWorkers(), 0);
}

TEST_F(DispatcherTest, LimitOfTwoNeverHasMoreThanTwoAlive) {
    window.load(folders(5));
    context->state().setLimit(2);
    fileSystem.folderGate.shut();
    check();
    ASSERT_TRUE(waitingAtGate(2));
    linger();
    EXPECT_EQ(fileSystem.folderGate.waiting(), 2);
    EXPECT_EQ(context->state().liveWorkers(), 2);
    EXPECT_EQ(rowsMarked(MarkWorking), 2);
    EXPECT_EQ(rowsMarked(MarkUnknown), 3);
    EXPECT_EQ(window.labels.last().second, "RADIM...   ");

    // A freed slot is taken at once.
    fileSystem.folderGate.releaseOne();
    ASSERT_TRUE(processEventsUntil(
        [&] { return rowsMarked(MarkWorking) == 2 && rowsMarked(MarkReachable) == 1; }));
    fileSystem.folderGate.open();
    settle();
    EXPECT_EQ(rowsMarked(MarkReachable), 5);
    EXPECT_LE(fileSystem.folderGate.mostInside(), 2);
}

TEST_F(DispatcherTest, LimitRaisedOrLoweredWhileTheDispatcherWaits) {
    window.load(folders(6));
    context->state().setLimit(2);
    fileSystem.folderGate.shut();
    check();
    ASSERT_TRUE(waitingAtGate(2));
    context->state().setLimit(4);
    ASSERT_TRUE(waitingAtGate(4));

    // Lowered below the count: no new worker until the count falls below it.
    context->state().setLimit(2);
    fileSystem.folderGate.releaseOne();
    fileSystem.folderGate.releaseOne();
    ASSERT_TRUE(processEventsUntil([&] { return rowsMarked(MarkReachable) == 2; }));
    linger();
    EXPECT_EQ(rowsMarked(MarkWorking), 2);
    EXPECT_EQ(rowsMarked(MarkUnknown), 2);
    fileSystem.folderGate.releaseOne();
    ASSERT_TRUE(processEventsUntil([&] { return rowsMarked(MarkUnknown) == 1; }));
    fileSystem.folderGate.open();
    settle();
    EXPECT_EQ(rowsMarked(MarkReachable), 6);
}

TEST_F(DispatcherTest, OverlappingBatchesShareTheLimit) {
    window.load(folders(3));
    context->state().setLimit(2);
    fileSystem.folderGate.shut();
    check();
    check();
    ASSERT_TRUE(waitingAtGate(2));
    linger();
    EXPECT_EQ(context->state().liveWorkers(), 2);
    fileSystem.folderGate.open();
    settle();
    // Every row was checked twice: two start lines, six results, two end lines.
    EXPECT_EQ(window.memo1.size(), 10);
    EXPECT_EQ(window.memo1.filter(" je dostupna ").size(), 6);
    EXPECT_LE(fileSystem.folderGate.mostInside(), 2);

    // A second copy batch resizes the shared table to the rows it walks.
    holdFile("x");
    (new TKopirajStart(context))->Start();
    settle();
    EXPECT_EQ(context->state().copyWorkers().size(), 3);
}

TEST_F(DispatcherTest, ReloadDuringABatchKeepsOldResultsOutOfTheNewRows) {
    const std::vector<std::string> old = folders(3);
    window.load(old);
    context->state().setLimit(2);
    fileSystem.folderGate.shut();
    check();
    ASSERT_TRUE(waitingAtGate(2));
    window.load({folder("new0"), folder("new1"), folder("new2")});
    fileSystem.folderGate.open();
    settle();
    // The two workers report to the log; the new rows are untouched, and the
    // replaced third row gets no worker.
    EXPECT_EQ(window.memo1.filter(" je dostupna ").size(), 2);
    EXPECT_EQ(window.memo1.filter(QString::fromStdString(old[2])).size(), 0);
    EXPECT_EQ(rowsMarked(MarkUnknown), 3);
    EXPECT_EQ(lista().subItem(0, 1), "?");
    // The walk ends with its end line, before or after the second worker's line.
    EXPECT_EQ(window.memo1.filter(QStringLiteral("Zadnja nit provere puštena ")).size(), 1);
    EXPECT_EQ(window.labels.last().second, "SLOBODNO   ");
}

TEST_F(DispatcherTest, ClearingTheFileSetStopsTheCopyWalk) {
    holdFile(testsupport::patternBytes(5000));
    const std::vector<std::string> servers = folders(3);
    window.load(servers);
    context->state().setLimit(2);
    fileSystem.writeGate.shut();
    (new TKopirajStart(context))->Start();
    ASSERT_TRUE(processEventsUntil([&] { return fileSystem.writeGate.waiting() == 2; }));
    window.fileSet().clear();
    fileSystem.writeGate.open();
    settle();
    EXPECT_EQ(lista().mark(0), MarkCopied);
    EXPECT_EQ(lista().mark(1), MarkCopied);
    EXPECT_EQ(lista().mark(2), MarkUnknown);
    EXPECT_FALSE(exists(servers[2] + "/prog.exe"));
    // The walk still ends with its end line; the second worker's OK line may
    // come before or after it.
    EXPECT_EQ(window.memo1.filter(QStringLiteral("Puštena zadnja nit...")).size(), 1);
}

TEST_F(DispatcherTest, AbortNeverReachesACopyWorkerOfReplacedRows) {
    holdFile(testsupport::patternBytes(5000));
    const std::string a = folder("a");
    window.load({a});
    fileSystem.writeGate.shut();
    (new TKopirajStart(context))->Start();
    ASSERT_TRUE(processEventsUntil([&] { return fileSystem.writeGate.waiting() == 1; }));
    // Another server now stands at row 0, working under a reachability check.
    window.load({folder("b")});
    lista().setMark(0, MarkWorking);
    EXPECT_EQ(abortCopy(context->state(), lista(), 0), AbortOutcome::Aborted);
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    fileSystem.writeGate.open();
    settle();
    // The copy to the old row's server went on to its end.
    EXPECT_EQ(contentOf(a + "/prog.exe"), testsupport::patternBytes(5000));
    EXPECT_EQ(window.memo1.filter(" - OK ").size(), 1);
}

TEST_F(DispatcherTest, AbortOfARowUnderACheckMarksItButTheCheckReportsLater) {
    window.load({folder("a")});
    fileSystem.folderGate.shut();
    check();
    ASSERT_TRUE(waitingAtGate(1));
    EXPECT_EQ(abortCopy(context->state(), lista(), 0), AbortOutcome::Aborted);
    EXPECT_EQ(lista().mark(0), MarkCopyFailed);
    fileSystem.folderGate.open();
    settle();
    EXPECT_EQ(lista().mark(0), MarkReachable);
}

TEST_F(DispatcherTest, ClosingTheWindowReleasesEveryThreadWithoutReachingIt) {
    window.load(folders(4));
    context->state().setLimit(2);
    fileSystem.folderGate.shut();
    check();
    ASSERT_TRUE(waitingAtGate(2));
    context->close(); // the dispatcher waits for a slot; two workers are inside
    fileSystem.folderGate.open();
    // Nothing runs the main thread's events: the threads must end on their own.
    for (int i = 0; i < 2000 && !idle(); ++i)
        QThread::msleep(5);
    EXPECT_TRUE(idle());
    EXPECT_EQ(window.memo1.size(), 1); // the start line only
    EXPECT_EQ(rowsMarked(MarkWorking), 2);
}

} // namespace
} // namespace velmora::batch
