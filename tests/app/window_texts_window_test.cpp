// Every window of the program as a person reads it: each text has a glyph in the font the
// window draws it with, and each fits its control, also the texts a window shows only later
// (the progress window's status texts, the pattern editor's hints).

#include "app/full_width_glyphs_window.h"
#include "app/loader_window.h"
#include "params/parameter_editor_window.h"
#include "params/parameter_set.h"
#include "patterns/pattern_editor_window.h"
#include "patterns/pattern_file.h"
#include "support/qt_window_texts.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"
#include "transfer/progress_window.h"
#include "transfer/transfer_texts.h"
#include "ui/dialog_units.h"

#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

class WindowTexts : public ::testing::Test {
protected:
    void SetUp() override {
        // As the program does at start. Where no installed font has the full-width characters
        // (the Windows build's offscreen tests, whose font folder holds Liberation Sans alone)
        // the program's own glyphs draw them.
        ASSERT_TRUE(ensureFullWidthGlyphs(ui::dialogFont(10)));
        base = (folder / "line1").string();
        PatternImage image{};
        ASSERT_TRUE(savePattern(patternFileName(base, 0), image));
        set = ParameterSet();
        for (auto& bank : set.bank)
            bank = initialBankRecordA();
        set.common = initialCommonRecord();
        set.missingMask = 0;
    }
    void TearDown() override { messages.verify(); }

    // Runs `check` on each window of the program in each state whose texts differ.
    void forEveryWindow(const std::function<void(const char* name, QWidget& window)>& check) {
        CLoaderDlg main(messages, nullptr, (folder / "zar4loader.ini").string());
        check("main window", main);

        TransferRequest request;
        SerialLink link;
        CComuDlg progress(request, link, messages);
        TransferView& view = progress;
        const char* statuses[] = {
            texts::kInitializing,    texts::kReadingBankParameters, texts::kReadingCommonParameters,
            texts::kReadingPatterns, texts::kWritingBankParameters, texts::kWritingCommonParameters,
            texts::kWritingPatterns, texts::kReadCompleted,         texts::kNothingToRead,
            texts::kWriteCompleted,  texts::kNothingToWrite,        texts::kAborted};
        for (const char* status : statuses) {
            view.setStatusText(status);
            view.setItemText(std::string(texts::kBankNo) + " = 14");
            check(status, progress);
        }
        view.setItemText(texts::kWritingFlash);
        check(texts::kWritingFlash, progress);

        Ceditpara parameters(set, base, messages);
        check("parameter editor", parameters);

        int penSize = 1;
        CRefpatDialog patterns(base, 0x7FFE, penSize, messages);
        ASSERT_TRUE(patterns.opened());
        for (QRadioButton* tool : patterns.findChildren<QRadioButton*>()) {
            tool->click(); // every tool's hint
            check(qPrintable(tool->text()), patterns);
        }
    }

    TempFolder temp{"zar4-texts"};
    const fs::path folder{temp.path()};
    std::string base;
    ParameterSet set;
    ScriptedMessages messages;
};

TEST_F(WindowTexts, EveryCharacterHasAGlyphInTheFontItIsDrawnWith) {
    int texts = 0;
    forEveryWindow([&](const char* name, QWidget& window) {
        for (const ShownText& shown : shownTexts(window)) {
            ++texts;
            EXPECT_EQ(charactersWithoutGlyph(shown.text, shown.control->font()), QString())
                << name << ": \"" << shown.text.toStdString() << "\"";
        }
    });
    EXPECT_GT(texts, 100);
}

TEST_F(WindowTexts, NoTextIsWiderThanItsControlOrRunsIntoAnother) {
    forEveryWindow([](const char* name, QWidget& window) {
        for (const QString& problem : clippedTexts(window))
            ADD_FAILURE() << name << ": " << problem.toStdString();
    });
}

} // namespace
} // namespace zar4::test
