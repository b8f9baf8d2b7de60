#include "batch/kopirajstart.h"
#include "platform/dostime.h"
#include "support/batchfixture.h"

namespace velmora::batch {
namespace {

using namespace serverlist;
using testsupport::patternBytes;

class PlacementTest : public testsupport::BatchFixture {
protected:
    void copy() {
        (new TKopirajStart(context))->Start();
        settle();
    }
    // A server folder that holds the previous version and the backup of the one
    // before it.
    std::string serverWithHistory(const std::string& name) {
        const std::string server = folder(name);
        put(server + "/prog.exe", "previous version");
        put(server + "/_prog.exe", "version before it");
        return server;
    }
    // The server's program under its own name is the previous or the new whole
    // file whatever broke in between, and the row says which.
    void expectWholeProgramAndTruth(const std::string& server, const QByteArray& fresh) {
        const QByteArray held = contentOf(server + "/prog.exe");
        ASSERT_TRUE(held == fresh || held == "previous version") << held.left(40).toStdString();
        EXPECT_EQ(lista().mark(0) == MarkCopied, held == fresh);
        if (held == fresh)
            EXPECT_EQ(contentOf(server + "/_prog.exe"), "previous version");
    }
};

// Where renames cannot replace (a network share through the client library),
// the connection lost at either rename, before it was carried out or with its
// reply lost, is settled once the server answers again.
TEST_F(PlacementTest, ConnectionLostAtEitherRenameNeverLeavesTheServerWithoutItsProgram) {
    const QByteArray fresh = patternBytes(9000);
    holdFile(fresh);
    fileSystem.replacesInOneStepToo = false;
    for (int rename = 0; rename < 2; ++rename) {
        for (const bool carriedOut : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "rename " << rename << " carried out " << carriedOut);
            const std::string server =
                serverWithHistory("s" + std::to_string(rename) + std::to_string(carriedOut));
            window.load({server});
            fileSystem.connectionLostAtRename = fileSystem.renames() + rename;
            fileSystem.lostAfterCarryingOut = carriedOut;
            // The server stays away for a few requests after the break.
            fileSystem.goneAfterTheLoss = 2;
            fileSystem.serverGoneFor = 0;
            copy();
            expectWholeProgramAndTruth(server, fresh);
        }
    }
    fileSystem.connectionLostAtRename = -1;
}

// A second rollout of the version a server already has keeps the backup of
// the version before it, where renames replace in one step and where not.
TEST_F(PlacementTest, CopyOfTheVersionTheServerHasKeepsTheRealBackup) {
    const QByteArray fresh = patternBytes(5000);
    const std::string local = holdFile(fresh);
    const platform::DosTime stamp = platform::packDosTime({2026, 3, 4, 10, 20, 30});
    ASSERT_TRUE(platform::localFileSystem().setLastWriteTime(local, stamp).ok());
    window.fileSet().clear();
    ASSERT_TRUE(window.fileSet().add(local).ok());
    for (const bool oneStep : {true, false}) {
        SCOPED_TRACE(oneStep ? "one step" : "two renames");
        fileSystem.replacesInOneStepToo = oneStep;
        const std::string server = folder(oneStep ? "one" : "two");
        put(server + "/prog.exe", "version before it");
        window.load({server});
        copy();
        copy();
        EXPECT_EQ(lista().mark(0), MarkCopied);
        EXPECT_EQ(contentOf(server + "/prog.exe"), fresh);
        EXPECT_EQ(contentOf(server + "/_prog.exe"), "version before it");
        EXPECT_FALSE(exists(server + "/prog.exe~"));
        EXPECT_EQ(platform::localFileSystem().findEntry(server + "/prog.exe").value().time, stamp);
    }
}

} // namespace
} // namespace velmora::batch
