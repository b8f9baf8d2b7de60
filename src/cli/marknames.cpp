#include "cli/marknames.h"

#include "batch/rowreport.h"
#include "serverlist/marks.h"

namespace velmora::cli {

using namespace serverlist;

QString markName(int mark) {
    switch (mark) {
    case MarkUnknown:
        return QStringLiteral("MarkUnknown");
    case MarkCopied:
        return QStringLiteral("MarkCopied");
    case MarkCopyFailed:
        return QStringLiteral("MarkCopyFailed");
    case MarkReachable:
        return QStringLiteral("MarkReachable");
    case MarkUnreachable:
        return QStringLiteral("MarkUnreachable");
    case MarkRobocopy:
        return QStringLiteral("MarkRobocopy");
    case MarkWorking:
        return QStringLiteral("MarkWorking");
    case MarkBadVersion:
        return QStringLiteral("MarkBadVersion");
    case MarkGoodVersion:
        return QStringLiteral("MarkGoodVersion");
    case MarkHandUnreachable:
        return QStringLiteral("MarkHandUnreachable");
    default:
        return QStringLiteral("Mark%1").arg(mark);
    }
}

bool isSuccessName(const QString& name) {
    for (batch::BatchKind kind :
         {batch::BatchKind::Copy, batch::BatchKind::VersionCheck, batch::BatchKind::Reachability})
        if (name == markName(batch::successMark(kind)))
            return true;
    return false;
}

} // namespace velmora::cli
