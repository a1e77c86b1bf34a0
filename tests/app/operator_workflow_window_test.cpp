// The whole desktop program as an operator uses it on a line: the main window connected to a
// simulated sensor, a READ into files, the real parameter or pattern editor opened from the
// main window and worked with clicks, list choices, typed text and mouse drags, then a WRITE
// back to the sensor. Every word and every pixel is checked against what was read, so an
// edit that touches a neighbour's bits, a tool that covers the wrong pixels or a transfer
// that loses a change shows up.

#include "app/loader_window.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "params/parameter_editor_window.h"
#include "params/parameter_file.h"
#include "patterns/pattern_editor_window.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"
#include "transfer/progress_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

template <class T = QWidget> T* control(QWidget* window, int id) {
    T* found = window->findChild<T*>(QStringLiteral("id%1").arg(id));
    EXPECT_NE(found, nullptr) << "control " << id;
    return found;
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

// The operator drops a list down, walks to an item with the arrow keys and takes it with
// Enter (what the editors act on).
void choose(QComboBox* list, int index) {
    list->showPopup();
    QAbstractItemView* items = list->view();
    ASSERT_TRUE(items->isVisible()) << "the list did not drop down";
    int row = items->currentIndex().isValid() ? items->currentIndex().row() : -1;
    if (row < 0) {
        QTest::keyClick(items, Qt::Key_Down);
        row = items->currentIndex().row();
    }
    for (; row < index; ++row)
        QTest::keyClick(items, Qt::Key_Down);
    for (; row > index; --row)
        QTest::keyClick(items, Qt::Key_Up);
    ASSERT_EQ(items->currentIndex().row(), index);
    QTest::keyClick(items, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(list->currentIndex(), index);
}

// The operator clicks into a field, selects what is there and types over it.
void typeInto(QLineEdit* field, const QString& text) {
    QTest::mouseClick(field, Qt::LeftButton);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    EXPECT_EQ(field->text(), text);
}

// Runs `steps` once, on the window of type T, as soon as it is the modal window (the main
// window's commands run the editors and the progress window with exec()). A window the steps
// left open, after a failed check, is closed so that the test ends instead of hanging. The
// timer belongs to `owner`, so that it goes with the test's main window.
template <class T> void whenModal(QObject* owner, std::function<void(T&)> steps) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, steps] {
        QPointer<T> window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        steps(*window);
        if (window && window->isVisible()) {
            ADD_FAILURE() << "the window is still open after the operator's steps";
            window->done(QDialog::Rejected);
        }
    });
    timer->start(10);
}

// Presses OK on the progress window once its transfer has ended, noting the status shown.
void pressOkAtTheEnd(QObject* owner, QString* status) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, status] {
        auto* progress = qobject_cast<CComuDlg*>(QApplication::activeModalWidget());
        if (progress == nullptr || !progress->isVisible() || !progress->transferEnded())
            return;
        timer->stop();
        timer->deleteLater();
        *status = control<QLabel>(progress, 1051)->text();
        click(control<QPushButton>(progress, 1));
    });
    timer->start(10);
}

std::vector<std::int32_t> fileWords(const std::string& path, int count) {
    std::vector<std::int32_t> words(static_cast<std::size_t>(count), -1);
    EXPECT_EQ(readValueLines(path, words.data(), count), count) << path;
    return words;
}

template <std::size_t N> std::vector<std::int32_t> asWords(const std::array<std::uint16_t, N>& a) {
    return std::vector<std::int32_t>(a.begin(), a.end());
}

// Sets `count` bits from `low` of word `w` to `value`, the others kept.
void setBits(std::vector<std::int32_t>& words, int w, int low, int count, int value) {
    const std::int32_t field = ((1 << count) - 1) << low;
    auto& word = words[static_cast<std::size_t>(w)];
    word = (word & ~field) | ((value << low) & field);
}

PatternImage fileImage(const std::string& path) {
    const std::string bytes = readAll(path);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(kPatternFileSize)) << path;
    PatternImage image;
    if (bytes.size() == static_cast<std::size_t>(kPatternFileSize))
        std::copy(bytes.begin() + kPatternHeaderSize, bytes.end(), image.raster.begin());
    return image;
}

// View pixel (x, y) of the editor is stored row 207 - x, pixel y.
std::uint8_t* atView(PatternImage& image, int x, int y) {
    return image.pixel(kPatternRows - 1 - x, y);
}
const std::uint8_t* atView(const PatternImage& image, int x, int y) {
    return image.pixel(kPatternRows - 1 - x, y);
}

// Every pixel of `actual` equals `expected`; the first few that differ are named in view
// coordinates.
void expectSamePixels(const PatternImage& actual, const PatternImage& expected,
                      const std::string& what) {
    int wrong = 0;
    for (int row = 0; row < kPatternRows; ++row)
        for (int column = 0; column < kPatternColumns; ++column) {
            const std::uint8_t* a = actual.pixel(row, column);
            const std::uint8_t* e = expected.pixel(row, column);
            if (std::equal(a, a + 3, e))
                continue;
            if (++wrong <= 5)
                ADD_FAILURE() << what << ": view pixel (" << kPatternRows - 1 - row << ", "
                              << column << ") is " << int(a[0]) << "," << int(a[1]) << ","
                              << int(a[2]) << ", expected " << int(e[0]) << "," << int(e[1]) << ","
                              << int(e[2]);
        }
    EXPECT_EQ(wrong, 0) << what;
}

class OperatorWorkflow : public ::testing::Test {
protected:
    TempFolder temp{"zar4-workflow"};
    const fs::path folder{temp.path()};
    ScriptedMessages messages;
    std::unique_ptr<sim::SimServer> sensor;
    std::unique_ptr<CLoaderDlg> window;

    void SetUp() override {
        sensor = std::make_unique<sim::SimServer>();
        ASSERT_TRUE(sensor->start());
    }
    void TearDown() override {
        window.reset();
        messages.verify();
        sensor.reset();
    }

    std::string base() const { return folder / "line1"; }

    // Opens the main window on COM1 at 57600 bit/s with the banks and kinds of data given,
    // and connects to the sensor.
    void openAndConnect(int startBank, int endBank, bool parameters, bool patterns) {
        writeAll((folder / "zar4loader.ini").string(),
                 "0\n4\n" + std::to_string(startBank) + "\n" + std::to_string(endBank) + "\n" +
                     (parameters ? "1" : "0") + "\n" + (patterns ? "1" : "0") + "\n1\n" + base());
        window = std::make_unique<CLoaderDlg>(
            messages,
            [](const std::vector<FileFilter>&, const std::string&) {
                ADD_FAILURE() << "file dialog not expected";
                return std::optional<std::string>();
            },
            (folder / "zar4loader.ini").string(), PortMap({{1, sensor->devicePath()}}));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        messages.expectQuestion("Agree to stop operation of ZAR4?", true);
        click(mainButton(1037));
        ASSERT_EQ(window->linkState(), CLoaderDlg::LinkState::Connected);
    }

    QPushButton* mainButton(int id) { return control<QPushButton>(window.get(), id); }

    void read() {
        QString status;
        pressOkAtTheEnd(window.get(), &status);
        click(mainButton(3));
        EXPECT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));
        messages.verify();
    }
    void write() {
        messages.expect("Warning!", "Agree to overwrite ZAR4 settings?", BoxAnswer::Yes);
        QString status;
        pressOkAtTheEnd(window.get(), &status);
        click(mainButton(4));
        EXPECT_EQ(status, QStringLiteral("Writing to ZAR4 is completed."));
        messages.verify();
    }

    sim::SensorModel model() {
        sim::SensorModel copy;
        sensor->withModel([&](sim::SensorModel& m) { copy = m; });
        return copy;
    }

    // The operator's hands on the pattern editor: points in the picture's view coordinates.
    static QPoint at(CRefpatDialog& e, int x, int y) {
        return e.imageRect().topLeft() + QPoint(x, y);
    }
    static void press(CRefpatDialog& e, int x, int y) {
        QTest::mousePress(&e, Qt::LeftButton, {}, at(e, x, y));
    }
    static void release(CRefpatDialog& e, int x, int y) {
        QTest::mouseRelease(&e, Qt::LeftButton, {}, at(e, x, y));
    }
    // A movement with the left button held (QTest::mouseMove carries no buttons).
    static void dragTo(CRefpatDialog& e, int x, int y) {
        const QPointF local = at(e, x, y);
        QMouseEvent move(QEvent::MouseMove, local, e.mapToGlobal(local), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&e, &move);
    }
    static void stroke(CRefpatDialog& e, int x0, int y0, int x1, int y1) {
        press(e, x0, y0);
        dragTo(e, x1, y1);
        release(e, x1, y1);
    }
    static void tool(CRefpatDialog& e, int id) { click(control<QAbstractButton>(&e, id)); }
};

TEST_F(OperatorWorkflow, ParametersReadEditedCopiedAndWrittenBack) {
    // Bits the editor does not show, in words it shows and in words it does not, so that a
    // lost or stray bit anywhere shows up on the way through the files and back.
    sensor->withModel([](sim::SensorModel& m) {
        m.bank[2][1] = 0xBEEF;
        m.bank[2][20] = 0xFFE0 | 2; // ZOOM 2 under high bits
        m.bank[2][31] = 65535;
        m.bank[3][26] = (3 << 13) | 0x1234; // COLORFIL 3 beside other bits
        m.bank[3][30] = 4242;
        m.bank[4][1] = 777; // bank 4 as the sensor holds it, to be overwritten by the copy
        m.common[1] = 12345;
        m.common[4] |= 0xC007; // beside SYNCHRO, COMMUNIC and LCD VIEW
        m.common[9] = 999;     // beyond the five words the common file keeps
    });
    const sim::SensorModel before = model();

    openAndConnect(2, 3, true, false);
    read();
    const std::string bank2File = parameterFileName(base(), 2);
    const std::string bank3File = parameterFileName(base(), 3);
    const std::string bank4File = parameterFileName(base(), 4);
    const std::string commonFile = parameterFileName(base(), kCommonItem);
    const auto read2 = fileWords(bank2File, kBankWords);
    const auto read3 = fileWords(bank3File, kBankWords);
    const auto readCommon = fileWords(commonFile, kCommonWords);
    ASSERT_EQ(read2, asWords(before.bank[2]));
    ASSERT_EQ(read3, asWords(before.bank[3]));
    ASSERT_EQ(readCommon, std::vector<std::int32_t>(before.common.begin(),
                                                    before.common.begin() + kCommonWords));
    ASSERT_FALSE(fs::exists(bank4File));

    // "Edit Parameters" opens the real editor over the main window, on bank 2.
    bool edited = false;
    whenModal<Ceditpara>(window.get(), [&](Ceditpara& editor) {
        EXPECT_EQ(editor.parentWidget(), window.get());
        EXPECT_EQ(editor.currentBank(), 2);
        EXPECT_EQ(control<QLineEdit>(&editor, 1163)->text(), "40");
        typeInto(control<QLineEdit>(&editor, 1163), "123");  // SHUTTER
        choose(control<QComboBox>(&editor, 1144), 11);       // ZOOM
        typeInto(control<QLineEdit>(&editor, 1162), "4321"); // ONDELAY
        choose(control<QComboBox>(&editor, 1136), 1);        // SYNCHRO

        choose(control<QComboBox>(&editor, 1138), 3); // to bank 3, which was read: no question
        EXPECT_EQ(editor.currentBank(), 3);
        EXPECT_EQ(control<QLineEdit>(&editor, 1163)->text(), "50");
        typeInto(control<QLineEdit>(&editor, 1164), "200"); // THRESHLD
        choose(control<QComboBox>(&editor, 1139), 5);       // COLORFIL

        // Bank 2 copied onto bank 4, which was not read.
        choose(control<QComboBox>(&editor, 1138), 2);
        EXPECT_EQ(editor.currentBank(), 2);
        EXPECT_EQ(control<QLineEdit>(&editor, 1163)->text(), "123");
        choose(control<QComboBox>(&editor, 1159), 4);
        messages.expectQuestion(
            "Bank parameters file at the copy destination is not found. Create data. Do you agree?",
            true);
        click(control<QPushButton>(&editor, 1160));
        EXPECT_EQ(editor.currentBank(), 4);

        click(control<QPushButton>(&editor, 1157)); // Save & Exit
        EXPECT_FALSE(editor.isVisible());
        edited = true;
    });
    click(mainButton(1058));
    ASSERT_TRUE(edited);
    messages.verify();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Exactly the edited bits changed; every other word and bit is as read.
    auto expected2 = read2;
    expected2[15] = 123;
    setBits(expected2, 20, 0, 5, 11);
    auto expected3 = read3;
    expected3[27] = 200;
    setBits(expected3, 26, 13, 3, 5);
    auto expectedCommon = readCommon;
    expectedCommon[3] = 4321;
    setBits(expectedCommon, 4, 3, 3, 1);
    EXPECT_EQ(fileWords(bank2File, kBankWords), expected2);
    EXPECT_EQ(fileWords(bank3File, kBankWords), expected3);
    EXPECT_EQ(fileWords(bank4File, kBankWords), expected2);
    EXPECT_EQ(fileWords(commonFile, kCommonWords), expectedCommon);
    for (int k = 0; k < kBankCount; ++k) {
        EXPECT_EQ(fs::exists(parameterFileName(base(), k)), k >= 2 && k <= 4) << "bank " << k;
    }

    // WRITE banks 2 to 4: the sensor holds the edits, the copy and every unshown word.
    choose(control<QComboBox>(window.get(), 1042), 4);
    write();
    const sim::SensorModel after = model();
    for (int k = 0; k < kBankCount; ++k) {
        std::vector<std::int32_t> want = asWords(before.bank[static_cast<std::size_t>(k)]);
        if (k == 2 || k == 4)
            want = expected2;
        else if (k == 3)
            want = expected3;
        EXPECT_EQ(asWords(after.bank[static_cast<std::size_t>(k)]), want) << "bank " << k;
    }
    auto wantCommon = asWords(before.common);
    std::copy(expectedCommon.begin(), expectedCommon.end(), wantCommon.begin());
    EXPECT_EQ(asWords(after.common), wantCommon);
    EXPECT_TRUE(after.pcMode);
}

TEST_F(OperatorWorkflow, PatternsMaskedErasedSavedWrittenAndReadBack) {
    openAndConnect(2, 3, false, true);
    read();
    const std::string file2 = patternFileName(base(), 2);
    const std::string file3 = patternFileName(base(), 3);
    const PatternImage read2 = fileImage(file2);
    const PatternImage read3 = fileImage(file3);
    const sim::SensorModel before = model();
    for (int i = 0; i < kPatternRows * kPatternColumns; ++i)
        ASSERT_EQ(filePixelToWord(&read2.raster[static_cast<std::size_t>(i) * 3]),
                  before.pattern[2][static_cast<std::size_t>(i)])
            << i;

    // Bank 2: a masked rectangle, an eraser stroke taken back with Undo, and another stroke
    // across the rectangle and the band the sensor had masked. Bank 3: a masked circle.
    bool edited = false;
    PatternImage afterRectangle;
    whenModal<CRefpatDialog>(window.get(), [&](CRefpatDialog& e) {
        EXPECT_EQ(e.parentWidget(), window.get());
        EXPECT_EQ(e.currentBank(), 2);
        EXPECT_TRUE(e.image().raster == read2.raster) << "bank 2 as read";

        tool(e, CRefpatDialog::IdMaskRectangle);
        press(e, 10, 150);
        release(e, 60, 200);
        afterRectangle = e.image();

        tool(e, CRefpatDialog::IdEraser);
        stroke(e, 30, 140, 30, 210);
        EXPECT_FALSE(e.image().raster == afterRectangle.raster) << "the eraser erased nothing";
        auto* undo = control<QPushButton>(&e, CRefpatDialog::IdUndo);
        ASSERT_TRUE(undo->isEnabled());
        click(undo);
        EXPECT_TRUE(e.image().raster == afterRectangle.raster) << "Undo left the stroke";
        stroke(e, 40, 190, 120, 190);

        messages.expectQuestion("Bank number2 The pattern has been edited. Do you want to save "
                                "it before leaving this bank?",
                                true);
        choose(control<QComboBox>(&e, CRefpatDialog::IdBankList), 3);
        EXPECT_EQ(e.currentBank(), 3);
        EXPECT_TRUE(e.image().raster == read3.raster) << "bank 3 as read";

        tool(e, CRefpatDialog::IdMaskCircle);
        press(e, 100, 175);
        release(e, 106, 183); // radius 10

        click(control<QPushButton>(&e, CRefpatDialog::IdSave));
        click(control<QPushButton>(&e, CRefpatDialog::IdExit)); // saved: no question
        EXPECT_FALSE(e.isVisible());
        edited = true;
    });
    click(mainButton(1206));
    ASSERT_TRUE(edited);
    messages.verify();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // The files changed exactly in the pixels the tools covered, in the file's mask encoding.
    PatternImage expected2 = read2;
    for (int x = 10; x <= 60; ++x)
        for (int y = 150; y <= 200; ++y)
            maskPixel(atView(expected2, x, y));
    for (int x = 39; x <= 121; ++x) // 3 x 3 eraser squares along the stroke
        for (int y = 189; y <= 191; ++y)
            unmaskPixel(atView(expected2, x, y));
    PatternImage expected3 = read3;
    for (int x = 90; x <= 110; ++x)
        for (int y = 165; y <= 185; ++y)
            if ((x - 100) * (x - 100) + (y - 175) * (y - 175) <= 100)
                maskPixel(atView(expected3, x, y));
    // The strokes met pixels the sensor had masked, so the test sees the eraser at work.
    ASSERT_TRUE(isMasked(atView(read2, 100, 190)));
    ASSERT_FALSE(isMasked(atView(expected2, 100, 190)));
    ASSERT_TRUE(isMasked(atView(expected2, 30, 205))); // the stroke taken back
    expectSamePixels(fileImage(file2), expected2, "bank 2");
    expectSamePixels(fileImage(file3), expected3, "bank 3");
    // Header included: the whole file is what the editor's save makes of the edited picture.
    EXPECT_TRUE(readAll(file2) == patternFileBytes(expected2));
    EXPECT_TRUE(readAll(file3) == patternFileBytes(expected3));

    // WRITE: the sensor's patterns 2 and 3 are the edited files; the others are untouched.
    write();
    const sim::SensorModel after = model();
    for (int bank : {2, 3}) {
        const PatternImage& want = bank == 2 ? expected2 : expected3;
        int wrong = 0;
        for (int i = 0; i < kPatternRows * kPatternColumns; ++i)
            if (after.pattern[static_cast<std::size_t>(bank)][static_cast<std::size_t>(i)] !=
                filePixelToWord(&want.raster[static_cast<std::size_t>(i) * 3]))
                ++wrong;
        EXPECT_EQ(wrong, 0) << "pattern " << bank;
    }
    for (int bank : {0, 1, 4, 14, 15})
        EXPECT_EQ(after.pattern[static_cast<std::size_t>(bank)],
                  before.pattern[static_cast<std::size_t>(bank)])
            << "pattern " << bank;

    // READ again under another name: the same bytes come back.
    const std::string again = (folder / "line1-again").string();
    auto* field = control<QLineEdit>(window.get(), 1004);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, QString::fromStdString(again));
    read();
    EXPECT_TRUE(readAll(patternFileName(again, 2)) == readAll(file2));
    EXPECT_TRUE(readAll(patternFileName(again, 3)) == readAll(file3));
    EXPECT_FALSE(fs::exists(patternFileName(again, 4)));
}

} // namespace
} // namespace zar4::test
