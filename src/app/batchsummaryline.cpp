#include "app/batchsummaryline.h"

#include "app/formats.h"
#include "serverlist/marks.h"

#include <QStringList>

namespace velmora::app {

namespace {

using batch::BatchKind;
using namespace serverlist;

struct KindWords {
    QString title;
    int successMark;
    QString success;
    int failureMark;
    QString failure;
};

KindWords wordsFor(BatchKind kind) {
    switch (kind) {
    case BatchKind::Copy:
        break;
    case BatchKind::VersionCheck:
        return {QStringLiteral("Kraj provere verzija"), MarkGoodVersion,
                QStringLiteral("dobre verzije"), MarkBadVersion, QStringLiteral("loše verzije")};
    case BatchKind::Reachability:
        return {QStringLiteral("Kraj provere"), MarkReachable, QStringLiteral("dostupno"),
                MarkUnreachable, QStringLiteral("nedostupno")};
    }
    return {QStringLiteral("Kraj kopiranja"), MarkCopied, QStringLiteral("kopirano"),
            MarkCopyFailed, QStringLiteral("neuspešno")};
}

int rowsWith(const batch::BatchSummary& summary, int mark) {
    const auto it = summary.rowsByMark.find(mark);
    return it == summary.rowsByMark.end() ? 0 : it->second;
}

} // namespace

QString batchSummaryLine(const batch::BatchSummary& summary) {
    const KindWords words = wordsFor(summary.kind);
    const int succeeded = rowsWith(summary, words.successMark);
    const int failed = rowsWith(summary, words.failureMark);
    QStringList counts{words.success + QLatin1Char(' ') + QString::number(succeeded),
                       words.failure + QLatin1Char(' ') + QString::number(failed)};
    // Marks a worker of this kind does not set: none are expected, but none
    // may go uncounted either.
    const int other = summary.rows() - succeeded - failed - summary.aborted - summary.unmarked;
    if (other > 0)
        counts << QStringLiteral("ostalo %1").arg(other);
    if (summary.aborted > 0)
        counts << QStringLiteral("prekinuto %1").arg(summary.aborted);
    if (summary.unmarked > 0)
        counts << QStringLiteral("nedovršeno %1").arg(summary.unmarked);
    return words.title + QStringLiteral(": ") + counts.join(QStringLiteral(", ")) +
           QStringLiteral(" od %1 servera, trajanje ").arg(summary.rows()) +
           durationText(summary.wallMilliseconds()) + QLatin1Char(' ') +
           dateTimeText(summary.ended);
}

} // namespace velmora::app
