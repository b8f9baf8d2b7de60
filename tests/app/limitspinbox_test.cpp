#include "app/limitspinbox.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace velmora::app {
namespace {

// Opens the protected parts the window looks at: which arrows are offered and where
// the arrow buttons are drawn.
class TestedSpinBox : public LimitSpinBox {
public:
    using LimitSpinBox::stepEnabled;

    QPoint buttonCentre(QStyle::SubControl button) const {
        QStyleOptionSpinBox option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_SpinBox, &option, button, this).center();
    }
};

// A shown window with the field and a second widget to move the focus to.
class LimitSpinBoxTest : public testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        box = new TestedSpinBox;
        other = new QLineEdit;
        layout->addWidget(box);
        layout->addWidget(other);
        window->show();
        QApplication::setActiveWindow(window.get());
        box->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(box->hasFocus());
    }

    void pressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                  const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(box, &release);
    }

    // Types the characters one by one as the keyboard would send them.
    void type(const QString& characters) {
        for (const QChar c : characters)
            pressKey(c.toUpper().unicode(), Qt::NoModifier, QString(c));
    }

    // Replaces the whole text by typing, as a user who selected it all would.
    void retype(const QString& characters) {
        box->selectAll();
        pressKey(Qt::Key_Delete);
        type(characters);
    }

    void moveFocusAway() {
        other->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        ASSERT_FALSE(box->hasFocus());
    }

    void clickButton(QStyle::SubControl button) {
        const QPointF at = box->buttonCentre(button);
        const QPointF global = box->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(box, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(box, &release);
    }

    void turnWheel(int notches) {
        const QPointF at = box->rect().center();
        QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
    }

    std::unique_ptr<QWidget> window;
    TestedSpinBox* box = nullptr;
    QLineEdit* other = nullptr;
};

TEST(LimitTextReading, WholeNumbersReadAsTheyStand) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"10", 10},
        {"+5", 5},
        {"-3", -3},
        {"0", 0},
        {"500", 500},
        {"007", 7},
        {"-0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        // Beyond the range of int: the nearest int, never the minimum.
        {"2147483648", 2147483647},
        {"99999999999", 2147483647},
        {"+123456789012345678901234567890", 2147483647},
        {"-2147483649", -2147483647 - 1},
        {"0000000000000000000000000005", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(LimitSpinBox::readLimitText(QString::fromLatin1(c.text)), c.value);
    }
}

TEST(LimitTextReading, OtherTextsReadAsTheMinimum) {
    const char* const texts[] = {"",   "-",  "+",  "1.5", "1-2", "+-1",
                                 "5+", " 5", "5 ", "1,5", "abc", "99999999999.5"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(LimitSpinBox::readLimitText(QString::fromLatin1(text)), LimitSpinBox::kMinimum);
    }
}

TEST_F(LimitSpinBoxTest, StartsAtTen) {
    EXPECT_EQ(box->text(), "10");
    EXPECT_EQ(box->liveValue(), 10);
}

TEST_F(LimitSpinBoxTest, SetValueShowsTheClampedValue) {
    box->setValue(42);
    EXPECT_EQ(box->text(), "42");
    box->setValue(500);
    EXPECT_EQ(box->text(), "200");
    box->setValue(-5);
    EXPECT_EQ(box->text(), "2");
}

TEST_F(LimitSpinBoxTest, TypedNumbersOutsideTheRangeAreReadWhileEditing) {
    retype("500");
    EXPECT_EQ(box->text(), "500");
    EXPECT_EQ(box->liveValue(), 500);
    retype("0");
    EXPECT_EQ(box->liveValue(), 0);
    retype("-7");
    EXPECT_EQ(box->liveValue(), -7);
    retype("1.5");
    EXPECT_EQ(box->text(), "1.5");
    EXPECT_EQ(box->liveValue(), 2);
    EXPECT_TRUE(box->hasFocus());
}

TEST_F(LimitSpinBoxTest, OnlyDigitsSignsAndPointCanBeTyped) {
    retype("1");
    type("abc ,x");
    EXPECT_EQ(box->text(), "1");
    type("2.");
    EXPECT_EQ(box->text(), "12.");
    type("+-");
    EXPECT_EQ(box->text(), "12.+-");
}

TEST_F(LimitSpinBoxTest, PastingOtherCharactersIsRefused) {
    retype("1");
    QApplication::clipboard()->setText("5x");
    pressKey(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), "1");
    QApplication::clipboard()->setText("50");
    pressKey(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), "150");
}

TEST_F(LimitSpinBoxTest, ReportsEachTextChangeWithItsLiveValue) {
    std::vector<int> reported;
    QObject receiver;
    QObject::connect(box, &LimitSpinBox::liveValueChanged, &receiver,
                     [&reported](int value) { reported.push_back(value); });
    box->selectAll();
    type("5");
    type("00");
    type(".");
    EXPECT_EQ(reported, (std::vector<int>{5, 50, 500, 2}));

    // A number too long for an int is read as it is typed, far above any limit.
    retype("99999999999");
    EXPECT_EQ(reported.back(), 2147483647);
    EXPECT_EQ(box->liveValue(), 2147483647);
}

TEST_F(LimitSpinBoxTest, LosingTheFocusBringsTheTextIntoRange) {
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {
        {"500", "200"},
        {"0", "2"},
        {"-7", "2"},
        {"", "2"},
        {"-", "2"},
        {"1.5", "2"},
        {"150", "150"},
        {"+5", "+5"},
        {"200", "200"},
        {"2147483648", "200"},
        {"99999999999", "200"},
        {"123456789012345678901234567890", "200"},
        {"-99999999999", "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        box->setFocus(Qt::TabFocusReason);
        retype(QString::fromLatin1(c.typed));
        moveFocusAway();
        EXPECT_EQ(box->text(), QString::fromLatin1(c.shown));
    }
}

TEST_F(LimitSpinBoxTest, FocusOutEventBringsTheTextIntoRange) {
    retype("999");
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &focusOut);
    EXPECT_EQ(box->text(), "200");
}

TEST_F(LimitSpinBoxTest, OpeningItsContextMenuKeepsTheTypedText) {
    retype("500");
    // The field's context menu belongs to its line edit, as the one Qt builds does.
    QMenu menu(box->findChild<QLineEdit*>());
    menu.addAction("x");
    menu.popup(box->mapToGlobal(QPoint()));
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activePopupWidget(), &menu);
    EXPECT_EQ(box->text(), "500");
    menu.close();
}

TEST_F(LimitSpinBoxTest, EnterBringsTheTextIntoRange) {
    retype("500");
    pressKey(Qt::Key_Return);
    EXPECT_EQ(box->text(), "200");
    retype("");
    pressKey(Qt::Key_Enter);
    EXPECT_EQ(box->text(), "2");
}

TEST_F(LimitSpinBoxTest, ArrowKeysStopAtTheEndsOfTheRange) {
    box->setValue(199);
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "200");
    EXPECT_FALSE(box->stepEnabled() & QAbstractSpinBox::StepUpEnabled);
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "200");
    pressKey(Qt::Key_Down);
    EXPECT_EQ(box->text(), "199");

    box->setValue(3);
    pressKey(Qt::Key_Down);
    EXPECT_EQ(box->text(), "2");
    EXPECT_FALSE(box->stepEnabled() & QAbstractSpinBox::StepDownEnabled);
    pressKey(Qt::Key_Down);
    EXPECT_EQ(box->text(), "2");
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "3");
}

TEST_F(LimitSpinBoxTest, StepsStartFromTheTypedText) {
    retype("57");
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "58");
    retype("");
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "3");
}

TEST_F(LimitSpinBoxTest, StepsFromBeyondTheRangeLandInsideIt) {
    retype("500");
    EXPECT_TRUE(box->stepEnabled() & QAbstractSpinBox::StepUpEnabled);
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "200");
    retype("500");
    pressKey(Qt::Key_Down);
    EXPECT_EQ(box->text(), "200");
    retype("0");
    EXPECT_TRUE(box->stepEnabled() & QAbstractSpinBox::StepDownEnabled);
    pressKey(Qt::Key_Down);
    EXPECT_EQ(box->text(), "2");
    retype("-7");
    pressKey(Qt::Key_Up);
    EXPECT_EQ(box->text(), "2");
}

TEST_F(LimitSpinBoxTest, EveryKindOfStepMovesByOne) {
    box->setValue(50);
    pressKey(Qt::Key_PageUp);
    EXPECT_EQ(box->text(), "51");
    pressKey(Qt::Key_PageDown);
    EXPECT_EQ(box->text(), "50");
    pressKey(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(box->text(), "51");
}

TEST_F(LimitSpinBoxTest, ButtonsAndWheelStep) {
    box->setValue(50);
    clickButton(QStyle::SC_SpinBoxUp);
    EXPECT_EQ(box->text(), "51");
    clickButton(QStyle::SC_SpinBoxDown);
    clickButton(QStyle::SC_SpinBoxDown);
    EXPECT_EQ(box->text(), "49");
    turnWheel(1);
    EXPECT_EQ(box->text(), "50");
    turnWheel(-1);
    EXPECT_EQ(box->text(), "49");

    box->setValue(200);
    clickButton(QStyle::SC_SpinBoxUp);
    turnWheel(1);
    EXPECT_EQ(box->text(), "200");
}

} // namespace
} // namespace velmora::app
