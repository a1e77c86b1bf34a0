#pragma once
// The pattern editor's tests' hands and eyes: real mouse events on the window, list choices,
// button clicks and keys, scripted message boxes, and pattern files in a temporary folder.

#include "patterns/pattern_editor_window.h"
#include "patterns/pattern_view_window.h"
#include "support/scripted_messages.h"
#include "ui/qt_message_service.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

namespace zar4::test {

using Editor = CRefpatDialog;
using Image = PatternImage;

// View pixel (px, py) is stored row 207 - px, pixel py.
inline bool maskedAt(const Image& image, int px, int py) {
    return isMasked(image.pixel(207 - px, py));
}

inline int countMasked(const Image& image) {
    int n = 0;
    for (int px = 0; px < 208; ++px)
        for (int py = 0; py < 236; ++py)
            n += maskedAt(image, px, py) ? 1 : 0;
    return n;
}

// Every view pixel is masked exactly where `inside` says.
inline void expectMaskedExactly(const Image& image, const std::function<bool(int, int)>& inside) {
    int wrong = 0;
    for (int px = 0; px < 208; ++px)
        for (int py = 0; py < 236; ++py)
            if (maskedAt(image, px, py) != inside(px, py) && ++wrong <= 5)
                ADD_FAILURE() << "view pixel (" << px << ", " << py << ") is "
                              << (maskedAt(image, px, py) ? "masked" : "unmasked");
    EXPECT_EQ(wrong, 0);
}

// A gradient with nothing masked, every pixel in the unmasked file form; `seed` makes banks
// differ.
inline Image gradient(int seed) {
    Image image;
    for (int row = 0; row < 208; ++row)
        for (int col = 0; col < 236; ++col) {
            std::uint8_t* p = image.pixel(row, col);
            p[0] = static_cast<std::uint8_t>(((col + seed) % 32) << 3);
            p[1] = static_cast<std::uint8_t>(((row + col + seed) % 64) << 2);
            p[2] = static_cast<std::uint8_t>(((row + seed) % 32) << 3);
        }
    return image;
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PatternEditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        base = dir.filePath("line1").toStdString();
    }
    void TearDown() override { messages.verify(); }

    std::string file(int bank) const { return patternFileName(base, bank); }
    void writeBank(int bank, const Image& image) { ASSERT_TRUE(savePattern(file(bank), image)); }
    Image fileImage(int bank) const {
        const std::string bytes = readBytes(file(bank));
        EXPECT_EQ(bytes.size(), 147318u);
        Image image;
        std::copy_n(bytes.begin() + std::min<std::size_t>(54, bytes.size()),
                    std::min<std::size_t>(147264, bytes.size() > 54 ? bytes.size() - 54 : 0),
                    image.raster.begin());
        return image;
    }

    // Opens the editor as the main window's command would find the files, and shows it.
    std::unique_ptr<Editor> open() {
        auto editor = std::make_unique<Editor>(base, findMissingPatterns(base), penSize, messages);
        if (editor->opened()) {
            editor->show();
            editor->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(editor.get()));
        }
        return editor;
    }

    // --- the operator's hands ------------------------------------------------------------
    static QPoint at(Editor& e, int px, int py) { return e.imageRect().topLeft() + QPoint(px, py); }
    static void press(Editor& e, int px, int py) {
        QTest::mousePress(&e, Qt::LeftButton, {}, at(e, px, py));
    }
    static void release(Editor& e, int px, int py) {
        QTest::mouseRelease(&e, Qt::LeftButton, {}, at(e, px, py));
    }
    // A movement with the left button held (QTest::mouseMove carries no buttons).
    static void drag(Editor& e, int px, int py, Qt::KeyboardModifiers mods = {}) {
        const QPointF local = at(e, px, py);
        QMouseEvent move(QEvent::MouseMove, local, e.mapToGlobal(local), Qt::NoButton,
                         Qt::LeftButton, mods);
        QApplication::sendEvent(&e, &move);
    }
    static void hover(Editor& e, int px, int py) {
        const QPointF local = at(e, px, py);
        QMouseEvent move(QEvent::MouseMove, local, e.mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&e, &move);
    }
    static void clickAt(Editor& e, int px, int py) {
        press(e, px, py);
        release(e, px, py);
    }
    static void rightClick(Editor& e, int px, int py) {
        QTest::mouseClick(&e, Qt::RightButton, {}, at(e, px, py));
    }
    template <class T = QWidget> static T* control(Editor& e, int id) {
        auto* w = e.findChild<T*>(QStringLiteral("id%1").arg(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    static void clickButton(Editor& e, int id) {
        QTest::mouseClick(control<QAbstractButton>(e, id), Qt::LeftButton);
    }
    // Picks an entry of a drop-down list the way an operator does: open it, walk to the
    // entry with the arrow keys, take it with Enter.
    static void choose(Editor& e, int listId, int index) {
        auto* list = control<QComboBox>(e, listId);
        list->showPopup();
        QAbstractItemView* items = list->view();
        for (int row = items->currentIndex().row(); row < index; ++row)
            QTest::keyClick(items, Qt::Key_Down);
        for (int row = items->currentIndex().row(); row > index; --row)
            QTest::keyClick(items, Qt::Key_Up);
        QTest::keyClick(items, Qt::Key_Return);
        EXPECT_FALSE(items->isVisible());
    }

    QTemporaryDir dir;
    std::string base;
    ScriptedMessages messages;
    int penSize = 1;
};

} // namespace zar4::test
