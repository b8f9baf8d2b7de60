#include "app/formats.h"

#include <algorithm>

namespace velmora::app {
namespace {

FormatSettings& settingsStore() {
    static FormatSettings settings;
    return settings;
}

QString padded(int value, int width) {
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

// Length of the run of the same letter (case-insensitive) starting at pos.
int runLength(const QString& format, int pos) {
    const QChar letter = format.at(pos).toLower();
    int end = pos;
    while (end < format.size() && format.at(end).toLower() == letter)
        ++end;
    return end - pos;
}

} // namespace

const FormatSettings& formatSettings() {
    return settingsStore();
}

void applyProgramFormats() {
    FormatSettings& s = settingsStore();
    s.decimalSeparator = QLatin1Char('.');
    s.thousandSeparator = QLatin1Char(',');
    s.dateSeparator = QLatin1Char('.');
    s.timeSeparator = QLatin1Char(':');
    s.shortDateFormat = QStringLiteral("yyyy/mm/dd");
    s.shortTimeFormat = QStringLiteral("hh:nn");
    s.longTimeFormat = QStringLiteral("hh:nn:ss");
}

QString formatDateTime(const QString& format, const QDateTime& moment) {
    const FormatSettings& s = formatSettings();
    const QDate date = moment.date();
    const QTime time = moment.time();
    QString out;
    int i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i).toLower();
        const int run = runLength(format, i);
        if (c == QLatin1Char('y')) {
            out += run >= 3 ? padded(date.year(), 4) : padded(date.year() % 100, 2);
        } else if (c == QLatin1Char('m')) {
            out += padded(date.month(), run >= 2 ? 2 : 1);
        } else if (c == QLatin1Char('d')) {
            out += padded(date.day(), run >= 2 ? 2 : 1);
        } else if (c == QLatin1Char('h')) {
            out += padded(time.hour(), run >= 2 ? 2 : 1);
        } else if (c == QLatin1Char('n')) {
            out += padded(time.minute(), run >= 2 ? 2 : 1);
        } else if (c == QLatin1Char('s')) {
            out += padded(time.second(), run >= 2 ? 2 : 1);
        } else {
            for (int k = 0; k < run; ++k) {
                const QChar ch = format.at(i + k);
                if (ch == QLatin1Char('/'))
                    out += s.dateSeparator;
                else if (ch == QLatin1Char(':'))
                    out += s.timeSeparator;
                else
                    out += ch;
            }
        }
        i += run;
    }
    return out;
}

QString dateText(const QDate& date) {
    return formatDateTime(formatSettings().shortDateFormat, QDateTime(date, QTime(0, 0)));
}

QString dateTextToday() {
    return dateText(QDate::currentDate());
}

QString dateTimeText(const QDateTime& moment) {
    const FormatSettings& s = formatSettings();
    QString text = formatDateTime(s.shortDateFormat, moment);
    const QTime t = moment.time();
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0)
        text += QLatin1Char(' ') + formatDateTime(s.longTimeFormat, moment);
    return text;
}

QString dateTimeTextNow() {
    return dateTimeText(QDateTime::currentDateTime());
}

QString dateTimeText(platform::DosTime stamp) {
    const platform::LocalDateTime t = platform::unpackDosTime(stamp);
    return dateTimeText(
        QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second)));
}

QString elapsedTimeText(std::int64_t milliseconds) {
    constexpr std::int64_t kDay = 24LL * 60 * 60 * 1000;
    std::int64_t ms = milliseconds % kDay;
    if (ms < 0)
        ms += kDay;
    const std::int64_t hours = ms / 3'600'000;
    const std::int64_t minutes = ms / 60'000 % 60;
    const std::int64_t seconds = ms / 1000 % 60;
    const std::int64_t millis = ms % 1000;
    return QStringLiteral("OK (%1h %2min %3.%4sec)")
        .arg(hours)
        .arg(minutes)
        .arg(seconds)
        .arg(millis);
}

QString durationText(std::int64_t milliseconds) {
    const std::int64_t ms = std::max<std::int64_t>(milliseconds, 0);
    return QStringLiteral("%1h %2min %3.%4sec")
        .arg(ms / 3'600'000)
        .arg(ms / 60'000 % 60)
        .arg(ms / 1000 % 60)
        .arg(ms % 1000);
}

} // namespace velmora::app
