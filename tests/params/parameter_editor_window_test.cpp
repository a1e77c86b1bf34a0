#include "params/parameter_editor_window.h"
#include "params/params_test_files.h"
#include "support/scripted_messages.h"
#include "support/system_fixtures.h"
#include "ui/dialog_units.h"
#include "ui/qt_message_service.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

template <typename T = QWidget> T* control(QWidget* window, int id) {
    T* found = window->findChild<T*>(QStringLiteral("id%1").arg(id));
    EXPECT_NE(found, nullptr) << "control " << id;
    return found;
}

// The operator drops a list down, moves to one of its items with the arrow keys and takes it
// with Enter. (A click on an item right after the list dropped down is ignored by the list, as
// a guard against double clicks, so the keys are the quicker way for a test.)
void choose(QComboBox* list, int index) {
    QTest::mouseClick(list, Qt::LeftButton);
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(view->isVisible()) << "the list did not drop down";
    int row = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
    if (row < 0) {
        QTest::keyClick(view, Qt::Key_Down);
        row = view->currentIndex().row();
    }
    for (; row < index; ++row)
        QTest::keyClick(view, Qt::Key_Down);
    for (; row > index; --row)
        QTest::keyClick(view, Qt::Key_Up);
    ASSERT_EQ(view->currentIndex().row(), index);
    QTest::keyClick(view, Qt::Key_Return);
    QApplication::processEvents();
}

// The operator clicks into a field, selects what is there and types over it.
void typeInto(QLineEdit* field, const QString& text) {
    QTest::mouseClick(field, Qt::LeftButton);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

std::vector<std::int32_t> fileWords(const std::string& path, int count) {
    std::vector<std::int32_t> words(static_cast<std::size_t>(count), -1);
    EXPECT_EQ(readValueLines(path, words.data(), count), count) << path;
    return words;
}

template <typename Words> std::vector<std::int32_t> asVector(const Words& words) {
    return std::vector<std::int32_t>(words.begin(), words.end());
}

class ParameterEditor : public ::testing::Test {
protected:
    void TearDown() override {
        if (editor)
            editor->hide(); // gone without the close box's question
        editor.reset();
        messages.verify();
    }

    // Loads the set from the files under `base` as "Edit Parameters" does, then shows the
    // editor as an operator would find it.
    void open() {
        ASSERT_TRUE(openForEditing(set, base, messages));
        editor = std::make_unique<Ceditpara>(set, base, messages);
        editor->show();
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    }

    void writeWholeSet() {
        for (int k = 0; k < kBankCount; ++k)
            writeBankFile(base, k, bankRecord(k), k % 2 == 0);
        writeCommonFile(base, distinctCommonRecord());
    }

    // Each bank a little different, with every shown field in its range and the unshown bits
    // set, so a stray or missing bit shows up in the files.
    static BankRecord bankRecord(int bank) {
        BankRecord r = initialBankRecordA();
        r.words[0] = 0xFF00 | (bank + 1);   // SEARCH bank + 1
        r.words[1] = 40000 + bank;          // not shown
        r.words[4] = 0xC000 | (200 + bank); // JUDGLVL
        r.words[5] = 0x4000;                // BKGDLVL AUTO, bit 14 set
        r.words[14] = 0x7FF0 | 2;           // LIGHT 2, SEARCHMD 0
        r.words[15] = bank == 1 ? 0 : 90;   // SHUTTER
        r.words[20] = 0xFFE0 | (bank % 20); // ZOOM
        r.words[26] = (3 << 13) | 0x1234;   // COLORFIL 3
        r.words[27] = 120;                  // THRESHLD
        r.words[31] = 65535;
        return r;
    }

    QLineEdit* number(int id) { return control<QLineEdit>(editor.get(), id); }
    QComboBox* list(int id) { return control<QComboBox>(editor.get(), id); }
    QCheckBox* box(int id) { return control<QCheckBox>(editor.get(), id); }
    QPushButton* button(int id) { return control<QPushButton>(editor.get(), id); }

    void saveAndExit() {
        click(button(1157));
        EXPECT_FALSE(editor->isVisible());
    }

    TempFolder folder;
    std::string base = folder.base();
    ParameterSet set;
    ScriptedMessages messages;
    std::unique_ptr<Ceditpara> editor;
};

TEST_F(ParameterEditor, OpensWithTheLayoutListsAndTheLowestBank) {
    writeWholeSet();
    fs::remove(parameterFileName(base, 0));
    fs::remove(parameterFileName(base, 1));
    open();
    EXPECT_EQ(editor->windowTitle(), "Edit Parameters");
    const ui::DialogUnits du(ui::dialogFont(8));
    EXPECT_EQ(editor->size(), QSize(du.x(381), du.y(222)));
    EXPECT_EQ(control(editor.get(), 1164)->geometry(), du.rect(337, 85, 30, 12));
    EXPECT_EQ(control(editor.get(), 1157)->geometry(), du.rect(236, 197, 60, 18));
    EXPECT_EQ(button(1157)->text(), "Save && Exit");
    EXPECT_EQ(box(1241)->text(), "AUTO");
    EXPECT_EQ(control<QGroupBox>(editor.get(), 1167)->title(), "Common Parameters");

    // The file name with its last part selected; it takes no tab stop.
    QLineEdit* name = number(1059);
    EXPECT_EQ(name->text().toStdString(), base);
    EXPECT_EQ(name->selectedText(), "line1");
    EXPECT_EQ(name->focusPolicy(), Qt::ClickFocus);

    // Names and captions, the full-width parenthesis included.
    QStringList labels;
    for (QLabel* l : editor->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text : {"File name", "BANK", "(Bank-selection)", "LCD VIEW", "(LCD reverse)",
                             "JUDGLVL", "(Missing-pix threshold)", "Edit bank No.",
                             "Destination bank No.", "(OFF Delay Time\xEF\xBC\x89"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;

    // Lists in their fixed order.
    EXPECT_EQ(list(1061)->count(), 17);
    EXPECT_EQ(list(1061)->itemText(15), "TCH");
    EXPECT_EQ(list(1061)->itemText(16), "BKIN");
    EXPECT_EQ(list(1144)->count(), 20);
    EXPECT_EQ(list(1153)->itemText(25), "25");
    EXPECT_EQ(list(1159)->currentIndex(), 0);

    // Banks 0 and 1 are missing: bank 2 is shown.
    EXPECT_EQ(editor->currentBank(), 2);
    EXPECT_EQ(list(1138)->currentIndex(), 2);
    EXPECT_EQ(list(1153)->currentIndex(), 3); // SEARCH
    EXPECT_EQ(list(1144)->currentIndex(), 2); // ZOOM
    EXPECT_EQ(list(1139)->currentIndex(), 3); // COLORFIL
    EXPECT_EQ(list(1140)->currentIndex(), 2); // LIGHT
    EXPECT_EQ(list(1154)->currentIndex(), 0); // SEARCHMD
    EXPECT_EQ(number(1163)->text(), "90");
    EXPECT_TRUE(number(1163)->isEnabled());
    EXPECT_FALSE(box(1245)->isChecked());
    EXPECT_EQ(number(1166)->text(), "202");
    EXPECT_TRUE(box(1241)->isChecked()); // bits 0-13 of word 5 are 0
    EXPECT_FALSE(number(1165)->isEnabled());
    EXPECT_EQ(number(1165)->text(), "33");

    // Common record: BANK 3, ONESHOT 1, OFFDELAY 1200, ONDELAY 4999, SYNCHRO 2, COMMUNIC 5,
    // LCD VIEW 1.
    EXPECT_EQ(list(1061)->currentIndex(), 3);
    EXPECT_EQ(list(1135)->currentIndex(), 1);
    EXPECT_EQ(number(1161)->text(), "1200");
    EXPECT_EQ(number(1162)->text(), "4999");
    EXPECT_EQ(list(1136)->currentIndex(), 2);
    EXPECT_EQ(list(1128)->currentIndex(), 5);
    EXPECT_EQ(list(1131)->currentIndex(), 1);

    // The operator starts at the first stop of the tab order.
    EXPECT_EQ(QApplication::focusWidget(), list(1061));
    // Tab order through the window, LCD VIEW last.
    const int tabOrder[] = {1061, 1128, 1161, 1162, 1135, 1136, 1138, 1159, 1160,
                            1144, 1139, 1245, 1163, 1246, 1164, 1153, 1154, 1241,
                            1165, 1242, 1166, 1140, 1157, 1158, 1131};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
        QWidget* from = control(editor.get(), tabOrder[i]);
        QWidget* next = from->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus || !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        // A disabled field is skipped by Tab, but it still holds its place in the order.
        EXPECT_EQ(next->objectName(), QStringLiteral("id%1").arg(tabOrder[i + 1]))
            << "after " << tabOrder[i];
    }
}

TEST_F(ParameterEditor, RendersTheWindow) {
    writeWholeSet();
    open();
    QDir().mkpath(QStringLiteral("render"));
    const QString path = QStringLiteral("render/parameter_editor.png");
    QFile::remove(path);
    const QImage image = editor->grab().toImage();
    ASSERT_TRUE(image.save(path));
    const QImage saved(path);
    EXPECT_EQ(saved.size(), editor->size());
    EXPECT_FALSE(saved.isNull());
}

// Every control, set by the operator to a value unlike any it held, reaches exactly its own
// bits of its own word: a control tied to the wrong word, bit or neighbour shows up in the
// files.
TEST_F(ParameterEditor, EveryControlReachesItsOwnBits) {
    writeWholeSet();
    open();
    choose(list(1061), 15); // BANK "TCH"
    choose(list(1128), 2);  // COMMUNIC
    typeInto(number(1161), "4321");
    typeInto(number(1162), "0");
    choose(list(1135), 0); // ONESHOT
    choose(list(1136), 4); // SYNCHRO
    choose(list(1131), 0); // LCD VIEW
    choose(list(1144), 7); // ZOOM
    choose(list(1139), 5); // COLORFIL
    typeInto(number(1163), "201");
    typeInto(number(1164), "250");
    choose(list(1153), 25); // SEARCH
    choose(list(1154), 1);  // SEARCHMD
    click(box(1241));       // BKGDLVL was AUTO: now manual
    typeInto(number(1165), "9999");
    typeInto(number(1166), "1234");
    choose(list(1140), 1); // LIGHT
    saveAndExit();

    CommonRecord common = distinctCommonRecord();
    common.words[0] = 15;
    common.words[2] = 4321;
    common.words[3] = 0;
    common.words[4] = (2 << 8) | (4 << 3);
    EXPECT_EQ(fileWords(parameterFileName(base, kCommonItem), kCommonWords),
              asVector(common.words));

    BankRecord bank0 = bankRecord(0);
    bank0.words[0] = 0xFF00 | 25;
    bank0.words[4] = 0xC000 | 1234;
    bank0.words[5] = 9999; // clearing AUTO wrote the whole word, so bit 14 went with it
    bank0.words[14] = 0x8000 | 0x7FF0 | 1;
    bank0.words[15] = 201;
    bank0.words[20] = 0xFFE0 | 7;
    bank0.words[26] = (5 << 13) | 0x1234;
    bank0.words[27] = 250;
    EXPECT_EQ(fileWords(parameterFileName(base, 0), kBankWords), asVector(bank0.words));
    for (int k = 1; k < kBankCount; ++k)
        EXPECT_EQ(fileWords(parameterFileName(base, k), kBankWords), asVector(bankRecord(k).words))
            << "bank " << k;
}

// A base name without a folder is selected whole.
TEST_F(ParameterEditor, ANameWithoutAFolderIsSelectedWhole) {
    set.common = initialCommonRecord();
    set.missingMask = kOnlyCommonFound;
    editor = std::make_unique<Ceditpara>(set, "line7", messages);
    editor->show();
    EXPECT_EQ(number(1059)->selectedText(), "line7");
}

TEST_F(ParameterEditor, TypedNumbersAreClampedWhenCommitted) {
    writeWholeSet();
    open();
    // Bank 0: SHUTTER 90 shown; a number too large, a minus sign, letters without digits.
    typeInto(number(1163), "300");
    typeInto(number(1161), "-5");
    typeInto(number(1164), "abc");
    typeInto(number(1166), "  77xyz");
    typeInto(number(1162), "123456789012");
    saveAndExit();

    const auto bank0 = fileWords(parameterFileName(base, 0), kBankWords);
    EXPECT_EQ(bank0[15], 226);
    EXPECT_EQ(bank0[27], 0);
    EXPECT_EQ(bank0[4], 0xC000 | 77); // bits 14 and 15 kept
    const auto common = fileWords(parameterFileName(base, kCommonItem), kCommonWords);
    EXPECT_EQ(common[2], 0x8000 | 5000); // ONESHOT kept
    EXPECT_EQ(common[3], 5000);

    // The 0 typed as THRESHLD now reads as AUTO.
    set = ParameterSet();
    open();
    EXPECT_TRUE(box(1246)->isChecked());
    EXPECT_EQ(number(1164)->text(), "");
    EXPECT_FALSE(number(1164)->isEnabled());
}

TEST_F(ParameterEditor, AutoBoxesActOnTheRecordAtOnce) {
    writeWholeSet();
    open();
    BankRecord& bank0 = set.bank[0];
    bank0.words[15] |= 0x0300;

    click(box(1245)); // SHUTTER to AUTO
    EXPECT_TRUE(box(1245)->isChecked());
    EXPECT_EQ(number(1163)->text(), "");
    EXPECT_FALSE(number(1163)->isEnabled());
    EXPECT_EQ(bank0.words[15], 0x0300);
    click(box(1245)); // and back
    EXPECT_FALSE(box(1245)->isChecked());
    EXPECT_EQ(number(1163)->text(), "70");
    EXPECT_TRUE(number(1163)->isEnabled());
    EXPECT_EQ(bank0.words[15], 0x0300 | 70);

    click(box(1246));
    EXPECT_EQ(number(1164)->text(), "");
    EXPECT_EQ(bank0.words[27], 0);
    click(box(1246));
    EXPECT_EQ(number(1164)->text(), "35");
    EXPECT_EQ(bank0.words[27], 35);

    // JUDGLVL to AUTO shows the automatic level; clearing it keeps that level as the value.
    click(box(1242));
    EXPECT_EQ(bank0.words[4], 0);
    EXPECT_EQ(number(1166)->text(), "33");
    EXPECT_FALSE(number(1166)->isEnabled());
    click(box(1242));
    EXPECT_EQ(bank0.words[4], 33);
    EXPECT_TRUE(number(1166)->isEnabled());
    click(box(1241)); // BKGDLVL was AUTO: clearing stores 33 in the whole word
    EXPECT_FALSE(box(1241)->isChecked());
    EXPECT_EQ(bank0.words[5], 33);
    EXPECT_EQ(number(1165)->text(), "33");

    saveAndExit();
    const auto words = fileWords(parameterFileName(base, 0), kBankWords);
    EXPECT_EQ(words[15], 70); // committed as a whole word
    EXPECT_EQ(words[27], 35);
    EXPECT_EQ(words[4], 33);
    EXPECT_EQ(words[5], 33);
}

// Screen readers and automation change a box through its accessibility actions: Toggle
// changes its state without any click, Press clicks it. Each way, and Space, leaves the
// record, the field and the box as a mouse click does, on both changes of every AUTO box.
TEST_F(ParameterEditor, EveryWayOfChangingAnAutoBoxGivesTheRecordAClickGives) {
    auto act = [](const QString& action) {
        return [action](QCheckBox* target) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(target);
            ASSERT_NE(accessible, nullptr);
            ASSERT_NE(accessible->actionInterface(), nullptr);
            accessible->actionInterface()->doAction(action);
            QTRY_VERIFY(!target->isDown()); // Press clicks a moment later, as a person would
        };
    };
    const std::pair<const char*, std::function<void(QCheckBox*)>> ways[] = {
        {"click", [](QCheckBox* target) { click(target); }},
        {"Space",
         [](QCheckBox* target) {
             target->setFocus();
             QTest::keyClick(target, Qt::Key_Space);
         }},
        {"Toggle", act(QAccessibleActionInterface::toggleAction())},
        {"Press", act(QAccessibleActionInterface::pressAction())},
    };
    struct Seen {
        std::vector<std::int32_t> words;
        QString field;
        bool fieldEnabled;
        bool ticked;
        bool operator==(const Seen&) const = default;
    };
    writeWholeSet();
    for (const auto& [boxId, fieldId] : {std::pair{1245, 1163}, std::pair{1246, 1164},
                                         std::pair{1241, 1165}, std::pair{1242, 1166}}) {
        std::vector<Seen> byClick;
        for (const auto& [way, change] : ways) {
            SCOPED_TRACE(testing::Message() << "box " << boxId << " by " << way);
            set = ParameterSet();
            open();
            std::vector<Seen> seen;
            for (int twice = 0; twice < 2; ++twice) {
                change(box(boxId));
                seen.push_back({asVector(set.bank[0].words), number(fieldId)->text(),
                                number(fieldId)->isEnabled(), box(boxId)->isChecked()});
            }
            EXPECT_NE(seen[0].ticked, seen[1].ticked);
            if (byClick.empty())
                byClick = seen;
            else
                EXPECT_TRUE(seen == byClick);
            editor->hide();
        }
    }
}

TEST_F(ParameterEditor, AutomaticLevelsFollowAreaAndZoom) {
    struct Case {
        std::int32_t w10, w11;
        int zoom;
        const char* level;
    };
    const Case cases[] = {{100, 100, 0, "33"},
                          {100, 100, 19, "15"},
                          {200, 200, 3, "57"},
                          {511, 1, 0, "10"},
                          {512, 1, 0, "11"}};
    for (int k = 0; k < 5; ++k) {
        BankRecord r = initialBankRecordA();
        r.words[10] = cases[k].w10;
        r.words[11] = cases[k].w11;
        r.words[20] = cases[k].zoom;
        writeBankFile(base, k, r);
    }
    writeCommonFile(base, initialCommonRecord());
    open();
    for (int k = 0; k < 5; ++k) {
        if (k > 0)
            choose(list(1138), k);
        ASSERT_EQ(editor->currentBank(), k);
        EXPECT_EQ(number(1165)->text(), cases[k].level) << "bank " << k;
        EXPECT_EQ(number(1166)->text(), cases[k].level) << "bank " << k;
    }
    // Bank 4 (level 11): clearing BKGDLVL's AUTO keeps 11 in word 5.
    click(box(1241));
    EXPECT_EQ(set.bank[4].words[5], 11);
}

TEST_F(ParameterEditor, ChoosingAMissingBank) {
    writeBankFile(base, 0, bankRecord(0));
    writeBankFile(base, 5, bankRecord(5));
    writeCommonFile(base, distinctCommonRecord());
    open();
    typeInto(number(1163), "55"); // an edit of bank 0 that the switch commits

    messages.expectQuestion(kNoBankFileQuestion, false);
    choose(list(1138), 3);
    EXPECT_EQ(editor->currentBank(), 0);
    EXPECT_EQ(list(1138)->currentIndex(), 0);
    EXPECT_EQ(number(1163)->text(), "55");
    EXPECT_EQ(set.bank[0].words[15], 55);
    EXPECT_FALSE(bankPresent(set, 3));

    messages.expectQuestion(kNoBankFileQuestion, true);
    choose(list(1138), 3);
    EXPECT_EQ(editor->currentBank(), 3);
    EXPECT_EQ(set.bank[3].words, initialBankRecordA().words);
    EXPECT_TRUE(box(1245)->isChecked()); // record A: SHUTTER AUTO
    EXPECT_EQ(number(1165)->text(), "33");

    // A present bank: no question.
    choose(list(1138), 5);
    EXPECT_EQ(editor->currentBank(), 5);
    EXPECT_EQ(list(1153)->currentIndex(), 6);

    saveAndExit();
    EXPECT_TRUE(fs::exists(parameterFileName(base, 3)));
    EXPECT_FALSE(fs::exists(parameterFileName(base, 4)));
    EXPECT_EQ(fileWords(parameterFileName(base, 3), kBankWords),
              asVector(initialBankRecordA().words));
}

TEST_F(ParameterEditor, CopyIntoAMissingBank) {
    writeBankFile(base, 2, bankRecord(2));
    writeCommonFile(base, distinctCommonRecord());
    open();
    ASSERT_EQ(editor->currentBank(), 2);
    choose(list(1159), 9);

    messages.expectQuestion(kCopyDestinationQuestion, false);
    click(button(1160));
    EXPECT_EQ(editor->currentBank(), 2);
    EXPECT_EQ(list(1138)->currentIndex(), 2);
    EXPECT_FALSE(bankPresent(set, 9));

    typeInto(number(1164), "99"); // committed before the copy, so bank 9 gets it too
    messages.expectQuestion(kCopyDestinationQuestion, true);
    click(button(1160));
    EXPECT_EQ(editor->currentBank(), 9);
    EXPECT_EQ(list(1138)->currentIndex(), 9);
    EXPECT_TRUE(bankPresent(set, 9));
    EXPECT_EQ(set.bank[9].words, set.bank[2].words);

    // Edits now go to bank 9 only.
    choose(list(1153), 20);
    saveAndExit();
    const auto bank2 = fileWords(parameterFileName(base, 2), kBankWords);
    const auto bank9 = fileWords(parameterFileName(base, 9), kBankWords);
    EXPECT_EQ(bank2[27], 99);
    EXPECT_EQ(bank9[27], 99);
    EXPECT_EQ(bank2[0], 0xFF00 | 3);
    EXPECT_EQ(bank9[0], 0xFF00 | 20);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3);
}

TEST_F(ParameterEditor, EditsOfSeveralBanksSurviveUntilSaved) {
    writeWholeSet();
    open();
    choose(list(1153), 11); // bank 0 SEARCH
    choose(list(1144), 19); // bank 0 ZOOM: the automatic level follows once committed
    choose(list(1138), 1);  // to bank 1 (SHUTTER AUTO there)
    EXPECT_TRUE(box(1245)->isChecked());
    choose(list(1140), 3);  // bank 1 LIGHT
    choose(list(1061), 16); // common BANK "BKIN"
    choose(list(1138), 0);  // back to bank 0
    EXPECT_EQ(list(1153)->currentIndex(), 11);
    EXPECT_EQ(list(1144)->currentIndex(), 19);
    EXPECT_EQ(number(1165)->text(), "15");
    EXPECT_EQ(list(1061)->currentIndex(), 16);
    choose(list(1138), 1);
    EXPECT_EQ(list(1140)->currentIndex(), 3);
    saveAndExit();

    // Every file, word by word: the two edited banks changed exactly in their fields, and the
    // shown bank's SHUTTER and THRESHLD rewritten as whole words; all else as loaded.
    for (int k = 0; k < kBankCount; ++k) {
        BankRecord expected = bankRecord(k);
        if (k == 0) {
            expected.words[0] = 0xFF00 | 11;
            expected.words[20] = 0xFFE0 | 19;
        }
        if (k == 1)
            expected.words[14] = 0x7FF0 | 3;
        EXPECT_EQ(fileWords(parameterFileName(base, k), kBankWords), asVector(expected.words))
            << "bank " << k;
    }
    CommonRecord common = distinctCommonRecord();
    common.words[0] = 16;
    EXPECT_EQ(fileWords(parameterFileName(base, kCommonItem), kCommonWords),
              asVector(common.words));
    EXPECT_EQ(readText(parameterFileName(base, 3)).find("\r\n"), 5u);
}

TEST_F(ParameterEditor, OnlyTheCommonRecordAndListsWithoutAnItem) {
    // BANK 17 and COMMUNIC 7 have no item: their lists show no selection and keep the values.
    CommonRecord common = distinctCommonRecord();
    common.words[0] = 17;
    common.words[4] = (7 << 8) | (2 << 3);
    writeCommonFile(base, common);
    messages.expectQuestion(kNoBankFileQuestion, false);
    open();
    for (int id : {1138, 1159, 1160, 1144, 1139, 1245, 1163, 1246, 1164, 1153, 1154, 1241, 1165,
                   1242, 1166, 1140})
        EXPECT_FALSE(control(editor.get(), id)->isEnabled()) << id;
    EXPECT_EQ(list(1144)->count(), 0);
    EXPECT_EQ(list(1138)->count(), 0);
    EXPECT_TRUE(list(1061)->isEnabled());
    EXPECT_EQ(list(1061)->currentIndex(), -1);
    EXPECT_EQ(list(1128)->currentIndex(), -1);
    choose(list(1131), 1); // LCD VIEW
    saveAndExit();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    const auto words = fileWords(parameterFileName(base, kCommonItem), kCommonWords);
    EXPECT_EQ(words[0], 17);
    EXPECT_EQ(words[4], (7 << 8) | (2 << 3) | 0x0800);
}

TEST_F(ParameterEditor, OnlyBankRecords) {
    writeBankFile(base, 7, bankRecord(7));
    messages.expectQuestion(kNoCommonFileQuestion, false);
    open();
    for (int id : {1061, 1128, 1161, 1162, 1135, 1136, 1131})
        EXPECT_FALSE(control(editor.get(), id)->isEnabled()) << id;
    EXPECT_EQ(list(1061)->count(), 0);
    // With the common part greyed, the first stop that takes the focus is the bank choice.
    EXPECT_EQ(QApplication::focusWidget(), list(1138));
    EXPECT_EQ(editor->currentBank(), 7);
    saveAndExit();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(fileWords(parameterFileName(base, 7), kBankWords), asVector(bankRecord(7).words));
}

TEST_F(ParameterEditor, SavesUnderTheNameInItsOwnField) {
    writeWholeSet();
    const std::string oldBank0 = readText(parameterFileName(base, 0));
    open();
    typeInto(number(1163), "12");
    // The operator replaces the selected last part of the name.
    QLineEdit* name = number(1059);
    QTest::mouseClick(name, Qt::LeftButton);
    name->setSelection(static_cast<int>(folder.path().size()) + 1, 5);
    QTest::keyClicks(name, "line2");
    saveAndExit();
    const std::string newBase = folder.base("line2");
    for (int k = 0; k <= kCommonItem; ++k)
        EXPECT_TRUE(fs::exists(parameterFileName(newBase, k))) << k;
    EXPECT_EQ(fileWords(parameterFileName(newBase, 0), kBankWords)[15], 12);
    EXPECT_EQ(readText(parameterFileName(base, 0)), oldBank0);
}

TEST_F(ParameterEditor, RefusesAnEmptyOrTooLongNameAndAFailedSaveKeepsItOpen) {
    writeWholeSet();
    open();
    typeInto(number(1163), "44");
    QLineEdit* name = number(1059);

    typeInto(name, "");
    messages.expectNotice(kBaseNameEmptyText);
    click(button(1157));
    EXPECT_TRUE(editor->isVisible());

    typeInto(name, QString::fromStdString(folder.path() + "/" + std::string(250, 'x')));
    messages.expectNotice(kBaseNameTooLongText);
    click(button(1157));
    EXPECT_TRUE(editor->isVisible());

    // A folder that does not exist: the first file fails, nothing is written, edits stay.
    const std::string nowhere = folder.path() + "/no/such/line1";
    typeInto(name, QString::fromStdString(nowhere));
    messages.expectNotice(std::string(kWriteFailedText) + "\n" +
                          parameterFileName(nowhere, kCommonItem) + ": " +
                          test::missingFileText(true));
    click(button(1157));
    EXPECT_TRUE(editor->isVisible());

    // Blanks, or a folder: no hidden files such as ".prM.zar4" are written.
    for (const std::string& noName : {std::string("  "), folder.path() + "/"}) {
        typeInto(name, QString::fromStdString(noName));
        messages.expectNotice("Failed to create the file.\n" + baseNameProblem(noName));
        click(button(1157));
        EXPECT_TRUE(editor->isVisible());
    }
    EXPECT_EQ(number(1163)->text(), "44");

    typeInto(name, QString::fromStdString(base));
    saveAndExit();
    EXPECT_EQ(fileWords(parameterFileName(base, 0), kBankWords)[15], 44);
}

TEST_F(ParameterEditor, KeysCancelAndTheCloseBox) {
    writeWholeSet();
    const std::string oldBank0 = readText(parameterFileName(base, 0));
    open();

    // Enter in a number field and Escape anywhere do nothing.
    QLineEdit* shutter = number(1163);
    typeInto(shutter, "7");
    QTest::keyClick(shutter, Qt::Key_Return);
    QTest::keyClick(shutter, Qt::Key_Escape);
    QTest::keyClick(list(1140), Qt::Key_Escape);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(shutter->text(), "7");

    // Enter on the clear SHUTTER AUTO box: the box stays clear, SHUTTER goes back to 70.
    QCheckBox* autoBox = box(1245);
    autoBox->setFocus();
    QTest::keyClick(autoBox, Qt::Key_Return);
    EXPECT_FALSE(autoBox->isChecked());
    EXPECT_EQ(shutter->text(), "70");
    EXPECT_EQ(set.bank[0].words[15], 70);

    // Enter on the clear BKGDLVL box stores what was typed as the whole word, beyond the
    // field's range too.
    QCheckBox* levelBox = box(1241);
    if (levelBox->isChecked())
        click(levelBox);
    ASSERT_FALSE(levelBox->isChecked());
    typeInto(number(1165), "20000");
    levelBox->setFocus();
    QTest::keyClick(levelBox, Qt::Key_Return);
    EXPECT_FALSE(levelBox->isChecked());
    EXPECT_EQ(number(1165)->text(), "20000");
    EXPECT_EQ(set.bank[0].words[5], 20000);

    // Enter on Cancel asks; No leaves everything as it was.
    QPushButton* cancel = button(1158);
    cancel->setFocus();
    messages.expectQuestion(kDiscardQuestion, false);
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_TRUE(editor->isVisible());
    messages.expectQuestion(kDiscardQuestion, true);
    click(cancel);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(editor->result(), QDialog::Rejected);
    EXPECT_EQ(readText(parameterFileName(base, 0)), oldBank0);

    // The close box (and Alt+F4, which the desktop turns into the same close) without edits
    // closes quietly; with edits it asks the Cancel question: No keeps the editor and the
    // edits, Yes closes without saving.
    set = ParameterSet();
    open();
    editor->close();
    EXPECT_FALSE(editor->isVisible());
    open();
    typeInto(number(1163), "8");
    messages.expectQuestion(kDiscardQuestion, false);
    editor->close();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(number(1163)->text(), "8");
    messages.expectQuestion(kDiscardQuestion, true);
    editor->close();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(editor->result(), QDialog::Rejected);
    EXPECT_EQ(readText(parameterFileName(base, 0)), oldBank0);
}

// With the real boxes, the editor's questions belong to the editor while it is open, and to
// the main window again once it has closed.
TEST_F(ParameterEditor, ItsBoxesBelongToTheEditorWhileItIsOpen) {
    writeWholeSet();
    QWidget mainWindow;
    mainWindow.show();
    ui::QtMessageService realBoxes(&mainWindow);
    ASSERT_TRUE(openForEditing(set, base, messages));
    auto answerNoToTheNextQuestion = [](QWidget** parent) {
        QTimer::singleShot(30, [parent] {
            auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(question, nullptr);
            *parent = question->parentWidget();
            question->button(QMessageBox::No)->click();
        });
    };
    QWidget* parent = nullptr;
    {
        Ceditpara realEditor(set, base, realBoxes, &mainWindow);
        realEditor.show();
        answerNoToTheNextQuestion(&parent);
        click(control<QPushButton>(&realEditor, 1158)); // Cancel asks first
        EXPECT_EQ(parent, &realEditor);
        EXPECT_TRUE(realEditor.isVisible());
    }
    answerNoToTheNextQuestion(&parent);
    EXPECT_FALSE(realBoxes.ask(kDiscardQuestion));
    EXPECT_EQ(parent, &mainWindow);
}

TEST_F(ParameterEditor, EditParametersCommandWithNoFiles) {
    // No file at all, the operator agrees to initial data; the editor runs modally.
    messages.expectQuestion(kNothingFoundQuestion, true);
    bool sawEditor = false;
    QTimer::singleShot(0, [&] {
        auto* modal = qobject_cast<Ceditpara*>(QApplication::activeModalWidget());
        ASSERT_NE(modal, nullptr);
        sawEditor = true;
        EXPECT_EQ(modal->currentBank(), 0);
        EXPECT_TRUE(control<QCheckBox>(modal, 1245)->isChecked());
        EXPECT_EQ(control<QLineEdit>(modal, 1165)->text(), "33");
        EXPECT_EQ(control<QComboBox>(modal, 1061)->currentText(), "BKIN");
        EXPECT_EQ(control<QComboBox>(modal, 1136)->currentIndex(), 4);
        EXPECT_TRUE(fs::is_empty(folder.path()));
        click(control<QPushButton>(modal, 1157));
    });
    editParameters(nullptr, base, messages);
    EXPECT_TRUE(sawEditor);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (int k = 0; k < kBankCount; ++k)
        EXPECT_EQ(fileWords(parameterFileName(base, k), kBankWords),
                  asVector(initialBankRecordA().words))
            << k;
    EXPECT_EQ(readText(parameterFileName(base, kCommonItem)), "16\r\n0\r\n0\r\n0\r\n32\r\n");

    // A set that cannot be opened shows its message and no editor.
    writeBankFile(base, 4, bankRecord(4), false, 31);
    messages.expectNotice(std::string(kInvalidFileText) + "\n" + parameterFileName(base, 4) +
                          ": holds 31 of its 32 value lines");
    editParameters(nullptr, base, messages);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
} // namespace zar4::test
