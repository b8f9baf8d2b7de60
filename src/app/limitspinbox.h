#pragma once

#include <QAbstractSpinBox>
#include <QString>

namespace velmora::app {

// The field for the number of servers worked on at once. It behaves like the old
// TSpinEdit: while the user types, any whole number is kept and read as it stands
// (also one outside the range); the text is brought into 2..200 only when the field
// loses the focus or on Enter, and the arrows step by one from what the text reads.
class LimitSpinBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    static constexpr int kMinimum = 2, kMaximum = 200, kInitial = 10;

    explicit LimitSpinBox(QWidget* parent = nullptr);

    // The limit as the text reads now; never blocks, main thread only.
    int liveValue() const;
    // An optional sign and decimal digits read as that number, one beyond the
    // range of int as the nearest int; any other text reads as kMinimum.
    static int readLimitText(const QString& text);
    // Shows the value, clamped to kMinimum..kMaximum.
    void setValue(int value);

signals:
    // Emitted on every change of the text, with the live value it now reads, so that
    // a copy handed to other threads can be kept current.
    void liveValueChanged(int value);

protected:
    // Invalid for any character other than digits, '+', '-' and '.'; Acceptable for
    // a whole number in range; Intermediate for the rest.
    QValidator::State validate(QString& input, int& pos) const override;
    // Clamps the text's value into the range; the line edit calls it when it loses
    // the focus (except to its own context menu), and Enter calls it too.
    void fixup(QString& input) const override;
    // Every step moves by one (PageUp/PageDown and Ctrl would jump by ten), from the
    // live value, and lands inside the range.
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void bringIntoRange();
};

} // namespace velmora::app
