#include "batch/rowreport.h"

#include "serverlist/marks.h"

namespace velmora::batch {

const char* batchKindName(BatchKind kind) {
    switch (kind) {
    case BatchKind::Copy:
        return "copy";
    case BatchKind::VersionCheck:
        return "check";
    case BatchKind::Reachability:
        return "reach";
    }
    return "?";
}

int successMark(BatchKind kind) {
    switch (kind) {
    case BatchKind::Copy:
        return serverlist::MarkCopied;
    case BatchKind::VersionCheck:
        return serverlist::MarkGoodVersion;
    case BatchKind::Reachability:
        return serverlist::MarkReachable;
    }
    return -1;
}

int BatchSummary::rows() const {
    int rows = aborted + unmarked;
    for (const auto& [mark, count] : rowsByMark)
        rows += count;
    return rows;
}

int BatchSummary::failedRows() const {
    const auto succeeded = rowsByMark.find(successMark(kind));
    return rows() - (succeeded == rowsByMark.end() ? 0 : succeeded->second);
}

} // namespace velmora::batch
