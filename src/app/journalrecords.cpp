#include "app/journalrecords.h"

#include "app/journal.h"
#include "serverlist/marks.h"
#include "serverlist/systemtext.h"

#include <QJsonValue>

namespace velmora::app {

using namespace serverlist;

QString markName(int mark) {
    switch (mark) {
    case MarkUnknown:
        return QStringLiteral("unknown");
    case MarkCopied:
        return QStringLiteral("copied");
    case MarkCopyFailed:
        return QStringLiteral("copy-failed");
    case MarkReachable:
        return QStringLiteral("reachable");
    case MarkUnreachable:
        return QStringLiteral("unreachable");
    case MarkRobocopy:
        return QStringLiteral("robocopy");
    case MarkWorking:
        return QStringLiteral("working");
    case MarkBadVersion:
        return QStringLiteral("bad-version");
    case MarkGoodVersion:
        return QStringLiteral("good-version");
    case MarkHandUnreachable:
        return QStringLiteral("hand-unreachable");
    default:
        return QStringLiteral("mark-%1").arg(mark);
    }
}

QString outcomeName(const batch::RowReport& report) {
    if (report.aborted)
        return QStringLiteral("aborted");
    if (report.mark < 0)
        return QStringLiteral("unfinished");
    return markName(report.mark);
}

QString systemText(const std::string& text) {
    return decodeSystemText(text);
}

QJsonObject rowRecord(const batch::RowReport& report) {
    QJsonObject record{
        {QStringLiteral("record"), QStringLiteral("row")},
        {QStringLiteral("command"), QLatin1String(batch::batchKindName(report.kind))},
        {QStringLiteral("batch"), static_cast<qint64>(report.batchId)},
        {QStringLiteral("row"), report.row},
        {QStringLiteral("server"), systemText(report.caption)},
        {QStringLiteral("target"), systemText(report.target)},
        {QStringLiteral("outcome"), outcomeName(report)},
        {QStringLiteral("mark"), report.mark},
        {QStringLiteral("percent"), report.percentText},
        {QStringLiteral("info"), report.infoText},
        {QStringLiteral("log"), report.logLine},
    };
    if (!report.reason.empty())
        record.insert(QStringLiteral("reason"), systemText(report.reason));
    if (report.kind == batch::BatchKind::Copy)
        record.insert(QStringLiteral("bytes"), static_cast<qint64>(report.bytes));
    if (report.started.isValid()) {
        record.insert(QStringLiteral("started"), journalTime(report.started));
        if (report.ended.isValid())
            record.insert(QStringLiteral("elapsed_ms"),
                          static_cast<qint64>(report.started.msecsTo(report.ended)));
    }
    if (report.ended.isValid())
        record.insert(QStringLiteral("time"), journalTime(report.ended));
    return record;
}

QJsonObject summaryRecord(const batch::BatchSummary& summary) {
    QJsonObject counts;
    for (const auto& [mark, rows] : summary.rowsByMark)
        counts.insert(markName(mark), rows);
    if (summary.aborted > 0)
        counts.insert(QStringLiteral("aborted"), summary.aborted);
    if (summary.unmarked > 0)
        counts.insert(QStringLiteral("unfinished"), summary.unmarked);
    QJsonObject record{
        {QStringLiteral("record"), QStringLiteral("batch")},
        {QStringLiteral("command"), QLatin1String(batch::batchKindName(summary.kind))},
        {QStringLiteral("batch"), static_cast<qint64>(summary.batchId)},
        {QStringLiteral("rows"), summary.rows()},
        {QStringLiteral("counts"), counts},
        {QStringLiteral("failed"), summary.failedRows()},
        {QStringLiteral("wall_ms"), static_cast<qint64>(summary.wallMilliseconds())},
    };
    if (summary.kind == batch::BatchKind::Copy)
        record.insert(QStringLiteral("bytes"), static_cast<qint64>(summary.bytes));
    if (summary.started.isValid())
        record.insert(QStringLiteral("started"), journalTime(summary.started));
    if (summary.ended.isValid())
        record.insert(QStringLiteral("time"), journalTime(summary.ended));
    return record;
}

QJsonObject toolRecord(const QString& command, int row, const std::string& server,
                       const QString& outcome, const std::string& reason) {
    QJsonObject record{
        {QStringLiteral("record"), QStringLiteral("tool")},
        {QStringLiteral("command"), command},
        {QStringLiteral("row"), row},
        {QStringLiteral("server"), systemText(server)},
        {QStringLiteral("outcome"), outcome},
    };
    if (!reason.empty())
        record.insert(QStringLiteral("reason"), systemText(reason));
    return record;
}

} // namespace velmora::app
