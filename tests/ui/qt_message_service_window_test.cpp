// The real message boxes: whose window they belong to, and that a question is answered only by
// its Yes or No button.

#include "ui/qt_message_service.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zar4::test {
namespace {

// Runs `step` on the message box once it is open.
void onBox(std::function<void(QMessageBox&)> step) {
    QTimer::singleShot(30, [step] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        step(*box);
    });
}

TEST(QtMessageServiceTest, EscapeAndTheCloseButtonDoNotAnswerAQuestion) {
    QWidget owner;
    owner.show();
    ui::QtMessageService service(&owner);
    bool openAfterEscapeAndClose = false;
    QWidget* parent = nullptr;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    onBox([&](QMessageBox& box) {
        parent = box.parentWidget();
        title = box.windowTitle();
        icon = box.icon();
        QWidget* focused = box.focusWidget() ? box.focusWidget() : &box;
        QTest::keyClick(focused, Qt::Key_Escape);
        box.close();
        QApplication::processEvents();
        openAfterEscapeAndClose = box.isVisible();
        box.button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(service.ask("Found same filename. Do you overwrite?"));
    EXPECT_TRUE(openAfterEscapeAndClose);
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(title, QStringLiteral("Warning"));
    EXPECT_EQ(icon, QMessageBox::Warning);

    onBox([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(service.ask("Agree to stop operation of ZAR4?"));

    // A notice is only acknowledged: Escape closes it as OK would.
    onBox([](QMessageBox& box) {
        QWidget* focused = box.focusWidget() ? box.focusWidget() : &box;
        QTest::keyClick(focused, Qt::Key_Escape);
    });
    service.error("No communication response.");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtMessageServiceTest, AWindowOpenedOverTheOwnerTakesTheBoxesWhileItLives) {
    QWidget main;
    main.show();
    ui::QtMessageService service(&main);
    auto parentOfNextBox = [&service] {
        QWidget* parent = nullptr;
        onBox([&parent](QMessageBox& box) {
            parent = box.parentWidget();
            box.button(QMessageBox::Ok)->click();
        });
        service.notice("Patterns file is not found.");
        return parent;
    };
    {
        QWidget editor(&main, Qt::Window);
        editor.show();
        ui::BoxOwnerScope scope(service, &editor);
        EXPECT_EQ(parentOfNextBox(), &editor);
    }
    EXPECT_EQ(parentOfNextBox(), &main);
}

} // namespace
} // namespace zar4::test
