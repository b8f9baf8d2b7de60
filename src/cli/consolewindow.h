#pragma once

#include "batch/batchwindow.h"
#include "batch/rowreport.h"
#include "fileset/fileset.h"
#include "serverlist/serverlistmodel.h"

#include <functional>
#include <map>

namespace velmora::cli {

// The window of the batches on a console: the same rows and file set as the
// window's, without widgets. The per-row log lines come with each row's
// report; the dispatcher's start and end lines and the state label have no
// place on a console and are dropped.
class ConsoleWindow final : public batch::BatchWindow {
public:
    serverlist::ServerListModel& lista() override { return lista_; }
    fileset::FileSet& fileSet() override { return fileSet_; }
    void appendMemo1(const QString&) override {}
    void appendMemo2(const QString&) override {}
    void setStateLabel(batch::StateColour, const QString&) override {}
    void rowReported(const batch::RowReport& report) override;
    void batchEnded(const batch::BatchSummary& summary) override;

    // The last report of a row (numbered from 0), or nullptr for none.
    const batch::RowReport* reportOf(int row) const;

    std::function<void(const batch::RowReport&)> onRowReported;
    std::function<void(const batch::BatchSummary&)> onBatchEnded;

private:
    serverlist::ServerListModel lista_;
    fileset::FileSet fileSet_;
    std::map<int, batch::RowReport> reports_;
};

} // namespace velmora::cli
