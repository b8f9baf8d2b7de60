#include "app/limitspinbox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>

#include <algorithm>
#include <limits>
#include <optional>

namespace velmora::app {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool isTypable(QChar c) {
    return isAsciiDigit(c) || c == u'+' || c == u'-' || c == u'.';
}

// An optional sign followed by at least one ASCII digit, of any length. A number
// beyond the range of int reads as the nearest int: it is still a whole number,
// and far above (or below) any limit.
std::optional<int> parseWholeNumber(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulated as a negative number, whose range reaches one further than the
    // positive one, so that the smallest int is read too; once past it, the
    // value stays there while the remaining characters are checked.
    constexpr long long lowest = std::numeric_limits<int>::min();
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!isAsciiDigit(text[i]))
            return std::nullopt;
        if (value > lowest)
            value = std::max(lowest, value * 10 - (text[i].unicode() - u'0'));
    }
    if (negative)
        return static_cast<int>(value);
    return static_cast<int>(std::min<long long>(-value, std::numeric_limits<int>::max()));
}

int clampToRange(long long value) {
    return static_cast<int>(
        std::clamp<long long>(value, LimitSpinBox::kMinimum, LimitSpinBox::kMaximum));
}

} // namespace

LimitSpinBox::LimitSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
    setValue(kInitial);
    connect(lineEdit(), &QLineEdit::textChanged, this,
            [this](const QString& text) { emit liveValueChanged(readLimitText(text)); });
}

int LimitSpinBox::liveValue() const {
    return readLimitText(text());
}

int LimitSpinBox::readLimitText(const QString& text) {
    return parseWholeNumber(text).value_or(kMinimum);
}

void LimitSpinBox::setValue(int value) {
    lineEdit()->setText(QString::number(clampToRange(value)));
}

QValidator::State LimitSpinBox::validate(QString& input, int& /*pos*/) const {
    if (!std::all_of(input.cbegin(), input.cend(), isTypable))
        return QValidator::Invalid;
    const std::optional<int> value = parseWholeNumber(input);
    if (value && *value >= kMinimum && *value <= kMaximum)
        return QValidator::Acceptable;
    return QValidator::Intermediate;
}

void LimitSpinBox::fixup(QString& input) const {
    input = QString::number(clampToRange(readLimitText(input)));
}

void LimitSpinBox::stepBy(int steps) {
    if (steps == 0)
        return;
    const long long step = steps > 0 ? 1 : -1;
    setValue(clampToRange(liveValue() + step));
    if (style()->styleHint(QStyle::SH_SpinBox_SelectOnStep, nullptr, this))
        selectAll();
}

// A step is offered whenever it would change the value: not at the end of the range
// it points to, but from a typed value beyond that end, which it brings back.
QAbstractSpinBox::StepEnabled LimitSpinBox::stepEnabled() const {
    if (isReadOnly())
        return StepNone;
    const long long value = liveValue();
    StepEnabled enabled = StepNone;
    if (clampToRange(value + 1) != value)
        enabled |= StepUpEnabled;
    if (clampToRange(value - 1) != value)
        enabled |= StepDownEnabled;
    return enabled;
}

// QAbstractSpinBox takes Enter away from the line edit, whose own fixup would not run.
void LimitSpinBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return)
        bringIntoRange();
    QAbstractSpinBox::keyPressEvent(event);
}

void LimitSpinBox::bringIntoRange() {
    QString input = text();
    int pos = 0;
    if (validate(input, pos) == QValidator::Acceptable)
        return;
    fixup(input);
    lineEdit()->setText(input);
}

} // namespace velmora::app
