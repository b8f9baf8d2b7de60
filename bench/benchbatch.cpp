#include "benchbatch.h"

#include "batch/kopirajstart.h"
#include "benchsupport.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <filesystem>

namespace velmora::bench {

bool runEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

void runEventsFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The label keeps a batch whose dispatcher has not begun yet
// from passing for one that has ended.
bool batchEnded(const FakeBatchWindow& window, batch::BatchContext& context) {
    return !window.labels.isEmpty() && window.labels.back().first == batch::StateColour::Free &&
           context.state().liveDispatchers() == 0 && context.state().liveWorkers() == 0;
}

void holdFile(FakeBatchWindow& window, const std::string& path) {
    auto added = window.fileSet().add(path);
    if (!added || added.value() != fileset::FileSet::AddOutcome::Held)
        fail("cannot add " + path);
}

std::shared_ptr<batch::BatchContext> startCopyBatch(FakeBatchWindow& window,
                                                    const std::vector<std::string>& rows, int limit,
                                                    batch::FileSystemResolver fileSystems) {
    window.load(rows);
    window.memo1.clear();
    window.memo2.clear();
    window.labels.clear();
    auto context = std::make_shared<batch::BatchContext>(window, std::move(fileSystems));
    context->state().setLimit(limit);
    (new batch::TKopirajStart(context))->Start();
    return context;
}

void finishCopyBatch(const std::string& what, FakeBatchWindow& window,
                     const std::shared_ptr<batch::BatchContext>& context,
                     const std::vector<std::string>& diskFolders) {
    if (!runEventsUntil([&] { return batchEnded(window, *context); }, kBatchTimeoutMs))
        fail(what + ": the batch did not end within " + std::to_string(kBatchTimeoutMs / 1000) +
             " s");
    context->close();
    const serverlist::ServerListModel& lista = window.lista();
    const std::string name = std::filesystem::path(window.fileSet().path()).filename().string();
    for (int row = 0; row < lista.count(); ++row) {
        if (lista.mark(row) != serverlist::MarkCopied)
            fail(what + ": row " + std::to_string(row) + " (" + lista.caption(row) + ") has mark " +
                 std::to_string(lista.mark(row)) + ", not copied" +
                 (window.memo2.isEmpty() ? "" : "; log: " + window.memo2.first().toStdString()));
    }
    for (const std::string& folder : diskFolders) {
        const std::string copy = folder + "/" + name;
        if (!sameContent(copy, *window.fileSet().image()))
            fail(what + ": " + copy + " is not byte-identical to the source");
        if (std::filesystem::exists(copy + "~"))
            fail(what + ": the temporary file " + copy + "~ was left behind");
    }
}

double timedCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& rows, int limit,
                      const std::vector<std::string>& diskFolders) {
    const Clock::time_point start = Clock::now();
    auto context = startCopyBatch(window, rows, limit);
    if (!runEventsUntil([&] { return batchEnded(window, *context); }, kBatchTimeoutMs))
        fail("velmora copy: the batch did not end");
    const double seconds = secondsSince(start);
    finishCopyBatch("velmora copy", window, context, diskFolders);
    return seconds;
}

double timedCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& folders, int limit) {
    return timedCopyBatch(window, folders, limit, folders);
}

} // namespace velmora::bench
