#include "batch/kopirajstart.h"
#include "batch/proverastart.h"
#include "batch/verstart.h"
#include "platform/dostime.h"
#include "support/batchfixture.h"

#include <QRegularExpression>

namespace velmora::checks {
namespace {

using namespace serverlist;
using platform::DosTime;
using platform::packDosTime;

const QString kElapsed = QStringLiteral(R"(^OK \(0h 0min \d+\.\d+sec\)$)");

class ChecksTest : public testsupport::BatchFixture {
protected:
    void checkVersions() {
        (new batch::TVerStart(context))->Start();
        settle();
    }
    void checkReachability() {
        (new batch::TProveraStart(context))->Start();
        settle();
    }
    void stamp(const std::string& path, const platform::LocalDateTime& time) {
        ASSERT_TRUE(platform::localFileSystem().setLastWriteTime(path, packDosTime(time)).ok());
    }
    static QString q(const std::string& s) { return QString::fromStdString(s); }
};

TEST_F(ChecksTest, CopiedServerIsFoundIdentical) {
    holdFile(testsupport::patternBytes(300000));
    const std::string a = folder("a");
    window.load({a});
    (new batch::TKopirajStart(context))->Start();
    settle();
    ASSERT_EQ(lista().mark(0), MarkCopied);
    window.memo1.clear();
    checkVersions();
    EXPECT_EQ(lista().mark(0), MarkGoodVersion);
    EXPECT_TRUE(QRegularExpression(kElapsed).match(info(0)).hasMatch()) << info(0).toStdString();
    EXPECT_TRUE(window.memo1.contains("Fajl je identičan " + q(a + "/prog.exe") +
                                      "! (292KB i 292KB) " + app::dateTextToday()))
        << window.memo1;
}

TEST_F(ChecksTest, VersionCheckTellsTheFourOutcomesApart) {
    const std::string local = holdFile(testsupport::patternBytes(2049));
    stamp(local, {2009, 11, 5, 10, 0, 1});
    const std::string sameStep = folder("same-step"), size = folder("size"), both = folder("both"),
                      date = folder("date"), none = folder("none"), dir = folder("dir");
    put(sameStep + "/prog.exe", testsupport::patternBytes(2049));
    stamp(sameStep + "/prog.exe", {2009, 11, 5, 10, 0, 0}); // the same two-second step
    put(size + "/prog.exe", testsupport::patternBytes(2048));
    stamp(size + "/prog.exe", {2009, 11, 5, 10, 0, 1});
    put(both + "/prog.exe", testsupport::patternBytes(10));
    put(date + "/prog.exe", testsupport::patternBytes(2049));
    stamp(date + "/prog.exe", {2009, 11, 5, 10, 0, 2});
    folder("dir/prog.exe"); // a folder of that name is no file
    window.load({sameStep, size, both, date, none, dir});
    checkVersions();

    const QString today = app::dateTextToday();
    EXPECT_EQ(lista().mark(0), MarkGoodVersion);
    EXPECT_EQ(lista().mark(1), MarkBadVersion);
    EXPECT_EQ(info(1), "razlika u veličini - 2KB <> 2KB");
    EXPECT_EQ(info(2), "razlika u veličini - 2KB <> 0KB"); // size wins over the date
    EXPECT_EQ(lista().mark(3), MarkBadVersion);
    EXPECT_EQ(info(3), "razlika u datumu 2009.11.05 10:00:02");
    EXPECT_EQ(info(4), "ne postoji");
    EXPECT_EQ(info(5), "ne postoji");
    EXPECT_EQ(lista().mark(5), MarkBadVersion);
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(percent(row), "?") << row;

    EXPECT_TRUE(window.memo2.contains("Razlika u veličini sa fajlom " + q(size + "/prog.exe") +
                                      "! (2KB i 2KB) " + today));
    EXPECT_TRUE(window.memo2.contains("Razlika u datumu sa fajlom " + q(date + "/prog.exe") +
                                      "! (2009.11.05 10:00:00 i 2009.11.05 10:00:02) " + today));
    EXPECT_TRUE(window.memo2.contains(q(none + "/prog.exe") + " ne postoji! " + today));
    EXPECT_EQ(window.memo2.size(), 5);
    EXPECT_EQ(window.memo1.size(), 3);
}

TEST_F(ChecksTest, LocalFileGoneGivesMissingNamingEachRemotePath) {
    const std::string local = holdFile("abc");
    const std::string a = folder("a"), b = folder("b");
    put(a + "/prog.exe", "abc");
    put(b + "/prog.exe", "abc");
    QFile::remove(q(local));
    window.load({a, b});
    checkVersions();
    EXPECT_EQ(info(0), "ne postoji");
    EXPECT_EQ(info(1), "ne postoji");
    EXPECT_TRUE(window.memo2.value(0).startsWith(q(a + "/prog.exe") + " ne postoji! ") ||
                window.memo2.value(1).startsWith(q(a + "/prog.exe") + " ne postoji! "));
}

TEST_F(ChecksTest, ReachabilityOfAFolderAFileAndAMissingPath) {
    const std::string dir = folder("dir");
    const std::string file = put(temp.file("file"), "x");
    const std::string missing = temp.file("missing");
    window.load({dir, file, missing});
    checkReachability();

    EXPECT_EQ(lista().mark(0), MarkReachable);
    EXPECT_TRUE(QRegularExpression(kElapsed).match(info(0)).hasMatch()) << info(0).toStdString();
    EXPECT_EQ(lista().mark(1), MarkUnreachable);
    EXPECT_EQ(info(1), "nedostupan");
    EXPECT_EQ(lista().mark(2), MarkUnreachable);
    EXPECT_EQ(percent(2), "?");

    const QString dateTime = QStringLiteral(R"(\d{4}\.\d{2}\.\d{2}( \d{2}:\d{2}:\d{2})?$)");
    ASSERT_EQ(window.memo1.size(), 3);
    EXPECT_TRUE(QRegularExpression("^Putanja " + QRegularExpression::escape(q(dir)) +
                                   " je dostupna " + dateTime)
                    .match(window.memo1.filter(" je dostupna ").value(0))
                    .hasMatch());
    ASSERT_EQ(window.memo2.size(), 2);
    EXPECT_TRUE(QRegularExpression("^Putanja " + QRegularExpression::escape(q(missing)) +
                                   " nije dostupna ili je loša veza " + dateTime)
                    .match(window.memo2.filter(q(missing)).value(0))
                    .hasMatch());
}

} // namespace
} // namespace velmora::checks
