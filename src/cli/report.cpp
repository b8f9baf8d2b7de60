#include "cli/report.h"

#include "cli/marknames.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace velmora::cli {

namespace {

// ISO 8601 with milliseconds and the local offset; empty for no time.
QString timeText(const QDateTime& moment) {
    if (!moment.isValid())
        return {};
    return moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

// A text, or null when there is none.
QString jsonText(const QString& text) {
    return text.isEmpty() ? QStringLiteral("null") : jsonString(text);
}

QString jsonTime(const QDateTime& moment) {
    return jsonText(timeText(moment));
}

QString csvField(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

platform::Error unreadable(const std::string& path, const std::string& why) {
    return platform::Error{0, "cannot use the report " + path + ": " + why};
}

// RFC 4180 records: fields split at commas, records at CR LF or LF, quoted
// fields may hold both and "" stands for one quote.
std::vector<QStringList> csvRecords(const QString& text) {
    std::vector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
            continue;
        }
        any = true;
        if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record.append(field);
            field.clear();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            record.append(field);
            records.push_back(record);
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any || !field.isEmpty()) {
        record.append(field);
        records.push_back(record);
    }
    return records;
}

platform::Result<std::vector<QString>> failedInJson(const std::string& path,
                                                    const QByteArray& content) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (document.isNull())
        return unreadable(path, "not JSON (" + error.errorString().toStdString() + ")");
    const QJsonValue rows = document.object().value(QStringLiteral("rows"));
    if (!rows.isArray())
        return unreadable(path, "it has no \"rows\"");
    std::vector<QString> failed;
    for (const QJsonValue& row : rows.toArray()) {
        const QJsonValue text = row.toObject().value(QStringLiteral("text"));
        const QJsonValue outcome = row.toObject().value(QStringLiteral("outcome"));
        if (!text.isString() || !outcome.isString())
            return unreadable(path, "a row lacks its \"text\" or \"outcome\"");
        if (!isSuccessName(outcome.toString()))
            failed.push_back(text.toString());
    }
    return failed;
}

platform::Result<std::vector<QString>> failedInCsv(const std::string& path,
                                                   const QByteArray& content) {
    const std::vector<QStringList> records = csvRecords(QString::fromUtf8(content));
    if (records.empty())
        return unreadable(path, "it is empty");
    const qsizetype textColumn = records.front().indexOf(QStringLiteral("text"));
    const qsizetype outcomeColumn = records.front().indexOf(QStringLiteral("outcome"));
    if (textColumn < 0 || outcomeColumn < 0)
        return unreadable(path, "its first line names no \"text\" and \"outcome\" columns");
    std::vector<QString> failed;
    for (std::size_t i = 1; i < records.size(); ++i) {
        const QStringList& record = records[i];
        if (record.size() <= std::max(textColumn, outcomeColumn))
            return unreadable(path, "line " + std::to_string(i + 1) + " is short of fields");
        if (!isSuccessName(record[outcomeColumn]))
            failed.push_back(record[textColumn]);
    }
    return failed;
}

} // namespace

std::map<QString, int> RunRecord::rowsByOutcome() const {
    std::map<QString, int> counts;
    for (const RowRecord& row : rows)
        ++counts[row.outcome];
    return counts;
}

int RunRecord::abortedRows() const {
    int count = 0;
    for (const RowRecord& row : rows)
        count += row.aborted ? 1 : 0;
    return count;
}

int RunRecord::failedRows() const {
    const QString success = markName(batch::successMark(kind));
    int count = 0;
    for (const RowRecord& row : rows)
        count += row.outcome == success ? 0 : 1;
    return count;
}

std::uint64_t RunRecord::bytes() const {
    std::uint64_t total = 0;
    for (const RowRecord& row : rows)
        total += row.bytes;
    return total;
}

QByteArray reportJson(const RunRecord& run) {
    // Built by concatenation: the texts may hold "%1" and the like, which
    // QString::arg would take for its own markers.
    const auto number = [](auto value) { return QString::number(value); };
    const auto flag = [](bool value) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    };
    QString out = QStringLiteral("{\n");
    out += QStringLiteral("  \"command\": ") + jsonString(batch::batchKindName(run.kind)) +
           QStringLiteral(",\n  \"servers\": ") + jsonString(run.servers) +
           QStringLiteral(",\n  \"file\": ") + jsonText(run.file) +
           QStringLiteral(",\n  \"limit\": ") + number(run.limit) +
           QStringLiteral(",\n  \"interrupted\": ") + flag(run.interrupted) +
           QStringLiteral(",\n  \"started\": ") + jsonTime(run.started) +
           QStringLiteral(",\n  \"ended\": ") + jsonTime(run.ended) +
           QStringLiteral(",\n  \"summary\": {\"rows\": ") + number(run.rows.size()) +
           QStringLiteral(", \"failed\": ") + number(run.failedRows()) +
           QStringLiteral(", \"aborted\": ") + number(run.abortedRows()) +
           QStringLiteral(", \"bytes\": ") + number(run.bytes()) +
           QStringLiteral(", \"wallMilliseconds\": ") + number(run.started.msecsTo(run.ended)) +
           QStringLiteral(", \"outcomes\": {");
    bool first = true;
    for (const auto& [outcome, count] : run.rowsByOutcome()) {
        out += (first ? QString() : QStringLiteral(", ")) + jsonString(outcome) +
               QStringLiteral(": ") + number(count);
        first = false;
    }
    out += QStringLiteral("}},\n  \"rows\": [");
    first = true;
    for (const RowRecord& row : run.rows) {
        out += first ? QStringLiteral("\n") : QStringLiteral(",\n");
        first = false;
        out += QStringLiteral("    {\"row\": ") + number(row.row) + QStringLiteral(", \"text\": ") +
               jsonString(row.text) + QStringLiteral(", \"outcome\": ") + jsonString(row.outcome) +
               QStringLiteral(", \"aborted\": ") + flag(row.aborted) +
               QStringLiteral(", \"percent\": ") + jsonString(row.percent) +
               QStringLiteral(", \"info\": ") + jsonString(row.info) +
               QStringLiteral(", \"log\": ") + jsonText(row.log) +
               QStringLiteral(", \"reason\": ") + jsonText(row.reason) +
               QStringLiteral(", \"bytes\": ") + number(row.bytes) +
               QStringLiteral(", \"started\": ") + jsonTime(row.started) +
               QStringLiteral(", \"ended\": ") + jsonTime(row.ended) + QLatin1Char('}');
    }
    out += run.rows.empty() ? QStringLiteral("]\n}\n") : QStringLiteral("\n  ]\n}\n");
    return out.toUtf8();
}

QByteArray reportCsv(const RunRecord& run) {
    QString out =
        QStringLiteral("row,text,outcome,aborted,percent,info,log,reason,bytes,started,ended\n");
    const QChar comma = QLatin1Char(',');
    for (const RowRecord& row : run.rows) {
        out += QString::number(row.row) + comma + csvField(row.text) + comma +
               csvField(row.outcome) + comma +
               (row.aborted ? QStringLiteral("true") : QStringLiteral("false")) + comma +
               csvField(row.percent) + comma + csvField(row.info) + comma + csvField(row.log) +
               comma + csvField(row.reason) + comma + QString::number(row.bytes) + comma +
               timeText(row.started) + comma + timeText(row.ended) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

platform::Status writeReportFile(const std::string& path, const QByteArray& content) {
    QSaveFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return platform::Error{0, "cannot write the report " + path + ": " +
                                      file.errorString().toStdString()};
    return {};
}

platform::Result<std::vector<QString>> failedRowTexts(const std::string& path) {
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(path, file.errorString().toStdString());
    const QByteArray content = file.readAll();
    const QByteArray start = content.trimmed().left(1);
    if (start == "{")
        return failedInJson(path, content);
    return failedInCsv(path, content);
}

} // namespace velmora::cli
