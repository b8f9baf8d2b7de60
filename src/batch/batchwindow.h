#pragma once

#include <QString>

namespace velmora::serverlist {
class ServerListModel;
}
namespace velmora::fileset {
class FileSet;
}

namespace velmora::batch {

struct RowReport;
struct BatchSummary;

// The colours of the state label: red while a dispatcher walks, green after.
enum class StateColour { Busy, Free };

// What the batches read and change in the window. Called on the main thread
// only, through BatchContext::onMainThread().
class BatchWindow {
public:
    virtual ~BatchWindow() = default;

    virtual serverlist::ServerListModel& lista() = 0;
    virtual fileset::FileSet& fileSet() = 0;
    virtual void appendMemo1(const QString& line) = 0;
    virtual void appendMemo2(const QString& line) = 0;
    // Sets the label's font colour, then its caption.
    virtual void setStateLabel(StateColour colour, const QString& caption) = 0;

    // A worker has reported its row: in the same call as its row and log
    // changes, after them. For records kept beside the window.
    virtual void rowReported(const RowReport& /*report*/) {}
    // The last worker of a batch has ended, after its dispatcher's walk.
    virtual void batchEnded(const BatchSummary& /*summary*/) {}
};

} // namespace velmora::batch
