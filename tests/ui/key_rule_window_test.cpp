// The dialog-unit conversion every window is laid out with, and the Enter/Escape key rule of
// the product's windows.

#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/key_rule_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

namespace zar4::test {
namespace {

TEST(DialogUnitsTest, ArialTenPointHasTheBaseUnitsOfTheLayouts) {
    QFont font = ui::dialogFont(10);
    // Arial resolves to its metric twin; any other font would move every control.
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Liberation Sans"));
    // Liberation Sans at 10 pt and 96 dpi: the 52 letters are 394 pixels wide (7.58 each),
    // the font 12 + 3 pixels high.
    ui::DialogUnits du(font);
    EXPECT_EQ(du.baseX(), 8);
    EXPECT_EQ(du.baseY(), 15);
    // x = round(dlu * baseX / 4), y = round(dlu * baseY / 8), halves rounded up.
    EXPECT_EQ(du.x(251), 502);
    EXPECT_EQ(du.y(253), 474); // 474.375
    EXPECT_EQ(du.y(4), 8);     // 7.5 rounds up
    EXPECT_EQ(du.rect(18, 23, 46, 61), QRect(36, 43, 92, 114));
}

// Every case also destroys a window whose controls have commands bound, which must not touch
// the command table after it is gone.
struct KeyRuleFixture : ::testing::Test {
    ui::KeyRuleDialog dialog;
    QPushButton* button = new QPushButton(QStringLiteral("Run"), &dialog);
    QPushButton* unbound = new QPushButton(QStringLiteral("Plain"), &dialog);
    QCheckBox* tick = new QCheckBox(QStringLiteral("Tick"), &dialog);
    QLineEdit* field = new QLineEdit(&dialog);
    int buttonRuns = 0;
    int tickRuns = 0;

    void SetUp() override {
        button->setAutoDefault(true); // bindCommand must take this away
        dialog.bindCommand(button, [this] { ++buttonRuns; });
        dialog.bindCommand(tick, [this] { ++tickRuns; });
        int y = 0;
        for (QWidget* w : {static_cast<QWidget*>(button), static_cast<QWidget*>(unbound),
                           static_cast<QWidget*>(tick), static_cast<QWidget*>(field)}) {
            w->setGeometry(0, y, 120, 24);
            y += 30;
        }
        dialog.resize(140, 130);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void press(QWidget* focus, Qt::Key key) {
        focus->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(focus->hasFocus());
        QTest::keyClick(focus, key);
        QApplication::processEvents();
    }
};

TEST_F(KeyRuleFixture, EnterRunsTheFocusedControlsCommandWithoutTouchingIt) {
    press(button, Qt::Key_Return);
    press(button, Qt::Key_Enter);
    EXPECT_EQ(buttonRuns, 2);
    EXPECT_FALSE(button->autoDefault());

    tick->setChecked(false);
    press(tick, Qt::Key_Return);
    EXPECT_EQ(tickRuns, 1);
    EXPECT_FALSE(tick->isChecked()); // the command ran, the box was not ticked

    // A click still runs the command as usual.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(buttonRuns, 3);

    // A disabled control's command does not run.
    button->setEnabled(false);
    EXPECT_FALSE(dialog.runCommandOf(button));
    EXPECT_EQ(buttonRuns, 3);
}

TEST_F(KeyRuleFixture, EnterElsewhereAndEscapeNeverCloseTheWindow) {
    press(field, Qt::Key_Return);
    press(unbound, Qt::Key_Return);
    press(field, Qt::Key_Escape);
    press(button, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(buttonRuns, 0);
    EXPECT_EQ(tickRuns, 0);

    // The close box still closes it.
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
}

// A window sticking out of the screen is moved back in; one larger than the screen starts at
// its top-left corner, so that its title bar is always there to move it by.
TEST(WindowPlacement, TheTitleBarIsOnTheScreenAndAsMuchAsFitsIsVisible) {
    const QRect screen(0, 0, 800, 600);
    struct Case {
        QRect frame;
        QPoint placed;
    };
    const Case cases[] = {
        {{100, 100, 300, 200}, {100, 100}}, // fits: stays
        {{100, -30, 300, 200}, {100, 0}},   // title bar above the screen
        {{700, 500, 300, 200}, {500, 400}}, // beyond the right and bottom edges
        {{-50, 200, 300, 200}, {0, 200}},   // beyond the left edge
        {{300, 100, 760, 1000}, {40, 0}},   // taller than the screen: its top is shown
        {{-90, -90, 1600, 1200}, {0, 0}},   // larger both ways
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::placeWithin(c.frame, screen), c.placed) << c.frame.x() << "," << c.frame.y();

    // On the screen: a window that fits, asked to open beyond the bottom-right corner, and
    // one larger than the screen, asked to open above and left of it.
    for (QSize extra : {QSize(-500, -400), QSize(200, 200)}) {
        ui::KeyRuleDialog window;
        const QRect available = window.screen()->availableGeometry();
        window.setFixedSize(available.size() + extra);
        window.move(extra.width() < 0 ? available.bottomRight() - QPoint(100, 100)
                                      : available.topLeft() - QPoint(300, 300));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QRect frame = window.frameGeometry();
        EXPECT_GE(frame.top(), available.top());
        EXPECT_GE(frame.left(), available.left());
        if (extra.width() < 0) {
            EXPECT_LE(frame.bottom(), available.bottom());
            EXPECT_LE(frame.right(), available.right());
        }
    }
}

} // namespace
} // namespace zar4::test
