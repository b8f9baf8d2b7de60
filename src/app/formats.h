#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

#include "platform/dostime.h"

// The process-wide number, date and time formats, and the text forms of dates
// and times that every log line and row text uses.
namespace velmora::app {

struct FormatSettings {
    QChar decimalSeparator = QLatin1Char('.');
    QChar thousandSeparator = QLatin1Char(',');
    QChar dateSeparator = QLatin1Char('/');
    QChar timeSeparator = QLatin1Char(':');
    QString shortDateFormat = QStringLiteral("m/d/yyyy");
    QString shortTimeFormat = QStringLiteral("h:nn");
    QString longTimeFormat = QStringLiteral("h:nn:ss");
};

// The settings in force. Set once at window creation by applyProgramFormats();
// read from any thread afterwards.
const FormatSettings& formatSettings();

// Sets the program's formats: "." and "," as separators, "." between the parts
// of a date, ":" between those of a time, dates as yyyy/mm/dd, times as hh:nn
// (short) and hh:nn:ss (long).
void applyProgramFormats();

// Formats with the letters yyyy, mm, dd, hh, nn, ss (and single-letter forms
// without leading zeros); "/" stands for the date separator and ":" for the time
// separator; any other character is copied.
QString formatDateTime(const QString& format, const QDateTime& moment);

// Today's date in the short date format, such as 2009.11.05.
QString dateText(const QDate& date);
QString dateTextToday();

// The date in the short date format, one blank and the time in the long time
// format; the date alone when the time is exactly midnight.
QString dateTimeText(const QDateTime& moment);
QString dateTimeTextNow();

// A packed file time stamp as date-time text (its seconds are always even).
QString dateTimeText(platform::DosTime stamp);

// "OK (" h "h " m "min " s "." ms "sec" ")" for a span in milliseconds; whole
// days are dropped and the milliseconds are not padded.
QString elapsedTimeText(std::int64_t milliseconds);

// The same span without "OK (" and ")" and with whole days counted in the
// hours: h "h " m "min " s "." ms "sec".
QString durationText(std::int64_t milliseconds);

} // namespace velmora::app
