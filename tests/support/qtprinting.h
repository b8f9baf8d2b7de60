#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// Lets test messages and failed comparisons show Qt texts as text.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
inline std::ostream& operator<<(std::ostream& out, const QStringList& lines) {
    return out << lines.join(QLatin1Char('\n')).toStdString();
}
