// The pattern editor as an operator uses it: real mouse events on the window, list choices,
// button clicks and keys, scripted message boxes, and pattern files in a temporary folder.

#include "patterns/pattern_editor_fixture.h"
#include "support/system_fixtures.h"

#include <random>

namespace zar4::test {
namespace {

TEST_F(PatternEditorWindow, EditPatternsOpensTheLowestPresentBankOrRefusesWithoutFiles) {
    editPatterns(nullptr, base, penSize,
                 messages.expectError("Patterns file is not found.\n" + file(0) + " to " +
                                      file(14) + ": none of them can be read"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    messages.verify();

    writeBank(7, gradient(7));
    writeBank(9, gradient(9));
    EXPECT_EQ(findMissingPatterns(base), 0x7FFF & ~(1 << 7) & ~(1 << 9));
    int shownBank = -1;
    QTimer::singleShot(0, [&] {
        auto* e = qobject_cast<Editor*>(QApplication::activeModalWidget());
        if (e == nullptr) {
            ADD_FAILURE() << "the editor is not the modal window";
            return;
        }
        shownBank = e->currentBank();
        EXPECT_EQ(control<QComboBox>(*e, Editor::IdBankList)->currentText(), "7");
        EXPECT_EQ(e->image().raster, gradient(7).raster);
        choose(*e, Editor::IdPenSizeList, 3); // the editor changes the program's pen size
        EXPECT_EQ(control<QComboBox>(*e, Editor::IdPenSizeList)->currentText(), "4");
        clickButton(*e, Editor::IdExit);
    });
    editPatterns(nullptr, base, penSize, messages);
    EXPECT_EQ(shownBank, 7);
    EXPECT_EQ(penSize, 4);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(PatternEditorWindow, OpensLaidOutWithThePenChosenAndFailsClosedOnAnUnreadableFirstBank) {
    writeBank(2, gradient(2));
    penSize = 6;
    auto e = open();
    ASSERT_TRUE(e->opened());
    EXPECT_EQ(e->windowTitle(), "Edit Patterns");
    EXPECT_FALSE(e->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(e->windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(e->size(), QSize(555, 369)); // 370 x 246 dialog units at Arial 8 (6 x 12)
    EXPECT_EQ(e->currentBank(), 2);
    EXPECT_EQ(control<QComboBox>(*e, Editor::IdBankList)->currentText(), "2");
    auto* sizes = control<QComboBox>(*e, Editor::IdPenSizeList);
    EXPECT_EQ(sizes->currentIndex(), 5);
    EXPECT_TRUE(sizes->isEnabled());
    EXPECT_TRUE(control<QRadioButton>(*e, Editor::IdPen)->isChecked());
    EXPECT_EQ(control<QLabel>(*e, Editor::IdHint)->text(), "Drag with the mouse.");
    EXPECT_FALSE(control<QPushButton>(*e, Editor::IdUndo)->isEnabled());
    // The twelve tool buttons run top to bottom in the menu's order.
    const int order[] = {1224, 1225, 1226, 1227, 1228, 1229, 1230, 1231, 1232, 1233, 1235, 1234};
    for (int i = 1; i < 12; ++i)
        EXPECT_LT(control(*e, order[i - 1])->y(), control(*e, order[i])->y()) << order[i];
    // The picture is 208 x 236 from the image control's corner, clear of the read-outs.
    EXPECT_EQ(e->imageRect(), QRect(18, 48, 208, 236));
    EXPECT_GT(control(*e, Editor::IdXReadout)->y(), e->imageRect().bottom());

    // A bank announced present whose file has gone: the window tells and does not open.
    std::remove(file(2).c_str());
    messages.expectError("Patterns file is invalid.\n" + file(2) + ": " + test::missingFileText());
    Editor gone(base, 0x7FFF & ~(1 << 2), penSize, messages);
    EXPECT_FALSE(gone.opened());
}

TEST_F(PatternEditorWindow, ViewShowsStoredRowsAsColumnsInGreysAndBlues) {
    Image image = gradient(0);
    std::uint8_t* p = image.pixel(207, 0); // first column, top
    p[0] = 0x80, p[1] = 0x7C, p[2] = 0x40; // unmasked: grey 0x60
    p = image.pixel(0, 235);               // last column, bottom
    p[0] = 0xE3, p[1] = 0x05, p[2] = 0x1F; // masked: blue (0x05 + 0xC0)
    p = image.pixel(100, 7);               // view (107, 7)
    p[0] = 0xE1, p[1] = 0x3F, p[2] = 0x00; // masked: blue 0xFF
    writeBank(0, image);
    auto e = open();
    const QImage shown = e->findChild<PatternView*>()->picture();
    ASSERT_EQ(shown.size(), QSize(208, 236));
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0x60, 0x60, 0x60));
    EXPECT_EQ(shown.pixel(207, 235), qRgb(0, 0, 0xC5));
    EXPECT_EQ(shown.pixel(107, 7), qRgb(0, 0, 0xFF));
    for (int px = 0; px < 208; px += 13)
        for (int py = 0; py < 236; py += 11)
            if (!maskedAt(image, px, py)) {
                const int grey = image.pixel(207 - px, py)[1] & 0xE0;
                ASSERT_EQ(shown.pixel(px, py), qRgb(grey, grey, grey)) << px << "," << py;
            }
    // And that is what reaches the screen.
    const QImage screen = e->grab(e->imageRect()).toImage();
    EXPECT_EQ(screen.pixel(207, 235), qRgb(0, 0, 0xC5));
    EXPECT_EQ(screen.pixel(0, 0), qRgb(0x60, 0x60, 0x60));
}

TEST_F(PatternEditorWindow, PenStrokeStampsFromTheTickAndUndoRestoresThePress) {
    writeBank(0, gradient(0));
    auto e = open();
    auto* undo = control<QPushButton>(*e, Editor::IdUndo);
    // A press and release without movement changes nothing.
    clickAt(*e, 50, 60);
    e->strokeTick();
    EXPECT_EQ(countMasked(e->image()), 0);

    press(*e, 50, 60);
    drag(*e, 51, 60);
    EXPECT_EQ(countMasked(e->image()), 0) << "nothing is drawn before the tick";
    EXPECT_TRUE(e->strokeTimerActive());
    e->strokeTick();
    EXPECT_FALSE(undo->isEnabled()) << "Undo waits for the release";
    release(*e, 51, 60);
    // Two 3 x 3 squares side by side: a 4 x 3 block.
    expectMaskedExactly(
        e->image(), [](int px, int py) { return px >= 49 && px <= 52 && py >= 59 && py <= 61; });
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_TRUE(e->tools().modified());
    const QImage shown = e->findChild<PatternView*>()->picture();
    EXPECT_EQ(qRed(shown.pixel(52, 61)), 0);
    EXPECT_GE(qBlue(shown.pixel(52, 61)), 192);

    clickButton(*e, Editor::IdUndo);
    EXPECT_EQ(e->image().raster, gradient(0).raster);
    EXPECT_FALSE(undo->isEnabled()) << "one level only";
    EXPECT_TRUE(e->tools().modified());

    // A new stroke, then a press outside the picture: that press takes the new snapshot, so
    // Undo stays available but gives back the picture with the stroke.
    press(*e, 10, 10);
    drag(*e, 10, 12);
    e->strokeTick();
    release(*e, 10, 12);
    const Image withStroke = e->image();
    QTest::mouseClick(e.get(), Qt::LeftButton, {}, QPoint(5, 300));
    EXPECT_TRUE(undo->isEnabled());
    clickButton(*e, Editor::IdUndo);
    EXPECT_EQ(e->image().raster, withStroke.raster);

    // A release that comes before the tick of the last movement: that segment is still drawn,
    // and Undo takes it back.
    press(*e, 150, 150);
    drag(*e, 160, 150);
    release(*e, 170, 150);
    EXPECT_TRUE(maskedAt(e->image(), 161, 151));
    EXPECT_FALSE(maskedAt(e->image(), 163, 150)) << "the release point itself is not stamped";
    ASSERT_TRUE(undo->isEnabled());
    clickButton(*e, Editor::IdUndo);
    EXPECT_EQ(e->image().raster, withStroke.raster);
}

TEST_F(PatternEditorWindow, StrokeLeavingThePictureStampsOnlyInsideAndShiftDrawsNothing) {
    writeBank(0, gradient(0));
    auto e = open();
    choose(*e, Editor::IdPenSizeList, 1); // size 2: 5 x 5 squares
    press(*e, 20, 2);
    drag(*e, 40, -30); // out over the top
    e->strokeTick();

    drag(*e, 60, 2); // and back in
    e->strokeTick();
    release(*e, 60, 2);
    const Image& img = e->image();
    EXPECT_TRUE(maskedAt(img, 20, 0) && maskedAt(img, 17, 4) && maskedAt(img, 60, 0));
    EXPECT_FALSE(maskedAt(img, 40, 0)) << "no square for line positions above the picture";
    for (int px = 0; px < 208; ++px)
        for (int py = 5; py < 236; ++py)
            ASSERT_FALSE(maskedAt(img, px, py)) << px << "," << py;

    // Squares near the edge are cut at the view's edge; Shift-drags draw nothing.
    const int before = countMasked(e->image());
    press(*e, 207, 235);
    drag(*e, 207, 235);
    e->strokeTick();
    release(*e, 207, 235);
    EXPECT_EQ(countMasked(e->image()), before + 9);
    press(*e, 100, 100);
    drag(*e, 120, 100, Qt::ShiftModifier);
    e->strokeTick();
    release(*e, 120, 100);
    EXPECT_EQ(countMasked(e->image()), before + 9);

    // The eraser takes the squares away again.
    clickButton(*e, Editor::IdEraser);
    press(*e, 207, 235);
    drag(*e, 206, 235);
    e->strokeTick();
    release(*e, 206, 235);
    EXPECT_EQ(countMasked(e->image()), before);
}

TEST_F(PatternEditorWindow, RectanglesAndCirclesCoverTheDraggedShape) {
    writeBank(0, gradient(0));
    auto e = open();
    clickButton(*e, Editor::IdMaskRectangle);
    EXPECT_FALSE(control(*e, Editor::IdPenSizeList)->isEnabled());
    EXPECT_EQ(control<QLabel>(*e, Editor::IdHint)->text(),
              "Drag a rectangular corner with the mouse.");
    press(*e, 30, 40); // dragged from inside up and out over the top-left corner
    release(*e, -10, -10);
    auto inRect = [](int px, int py) { return px <= 30 && py <= 40; };
    expectMaskedExactly(e->image(), inRect);
    EXPECT_TRUE(control(*e, Editor::IdUndo)->isEnabled());

    press(*e, -15, 10); // entirely left of the picture: nothing
    release(*e, -2, 200);
    expectMaskedExactly(e->image(), inRect);

    clickButton(*e, Editor::IdUnmaskRectangle);
    press(*e, 10, 10);
    release(*e, 12, 11);
    expectMaskedExactly(e->image(), [&](int px, int py) {
        return inRect(px, py) && !(px >= 10 && px <= 12 && py >= 10 && py <= 11);
    });

    clickButton(*e, Editor::IdMaskCircle);
    press(*e, 100, 100);
    release(*e, 103, 100);
    EXPECT_TRUE(maskedAt(e->image(), 102, 102));  // squared distance 8
    EXPECT_FALSE(maskedAt(e->image(), 103, 101)); // 10
    EXPECT_EQ(countMasked(e->image()), 31 * 41 - 6 + 29);
    clickButton(*e, Editor::IdUnmaskCircle);
    clickAt(*e, 100, 100); // release on the press point: that one pixel
    EXPECT_FALSE(maskedAt(e->image(), 100, 100));
    EXPECT_EQ(countMasked(e->image()), 31 * 41 - 6 + 28);
}

TEST_F(PatternEditorWindow, CornerShapesInAnyOrderWithMarginAndRightClick) {
    writeBank(0, gradient(0));
    auto e = open();
    clickButton(*e, Editor::IdMaskTriangle);
    clickAt(*e, 10, 10);
    clickAt(*e, 100, 100);
    EXPECT_EQ(countMasked(e->image()), 0) << "nothing before the last corner";
    clickAt(*e, 100, 10);
    const Image first = e->image();
    EXPECT_TRUE(maskedAt(first, 90, 20));
    EXPECT_FALSE(maskedAt(first, 20, 90));
    EXPECT_TRUE(control(*e, Editor::IdUndo)->isEnabled());
    clickButton(*e, Editor::IdUndo);
    EXPECT_EQ(countMasked(e->image()), 0);

    clickAt(*e, 100, 10);
    clickAt(*e, 10, 10);
    clickAt(*e, 100, 100);
    EXPECT_EQ(e->image().raster, first.raster);
    clickButton(*e, Editor::IdUndo);

    // Corners up to 19 pixels beyond the picture count; 20 is refused with the message.
    clickButton(*e, Editor::IdMaskQuadrangle);
    clickAt(*e, -19, 20);
    EXPECT_EQ(e->tools().cornerCount(), 1);
    messages.expectError("Specify the top within the range of the image. ");
    clickAt(*e, -20, 20);
    EXPECT_EQ(e->tools().cornerCount(), 1);
    messages.expectError("Specify the top within the range of the image. ");
    clickAt(*e, 228, 20); // right edge: 208 + 20
    EXPECT_EQ(e->tools().cornerCount(), 1);
    rightClick(*e, 50, 50); // cancels the corners given so far, silently
    EXPECT_EQ(e->tools().cornerCount(), 0);
    for (auto [px, py] : {std::pair{20, 20}, {60, 20}, {60, 60}, {20, 60}})
        clickAt(*e, px, py);
    expectMaskedExactly(
        e->image(), [](int px, int py) { return px >= 20 && px <= 60 && py >= 20 && py <= 60; });
}

// Corners clicked so far show as markers and a dragged rectangle or circle as an outline,
// drawn over the picture and never into it; corners never carry over to another bank, another
// tool or a whole-image command.
TEST_F(PatternEditorWindow, PendingCornersAreShownAndDroppedWithTheBankOrTool) {
    writeBank(0, gradient(0));
    writeBank(1, gradient(1));
    auto e = open();
    auto* view = e->findChild<PatternView*>();
    const QImage before = view->picture();
    const QRgb marker = PatternView::kOverlayColour;
    clickButton(*e, Editor::IdMaskTriangle);
    clickAt(*e, 10, 10);
    clickAt(*e, 150, 150);
    EXPECT_EQ(view->grab().toImage().pixel(10, 10), marker);
    EXPECT_EQ(view->picture(), before);
    EXPECT_EQ(e->image().raster, gradient(0).raster);

    // Another bank: its first click is a first corner, not the last one of a shape.
    choose(*e, Editor::IdBankList, 1);
    EXPECT_EQ(e->tools().cornerCount(), 0);
    clickAt(*e, 100, 10);
    EXPECT_EQ(e->image().raster, gradient(1).raster);
    EXPECT_EQ(e->tools().cornerCount(), 1);
    e->redrawTick();
    EXPECT_NE(view->grab().toImage().pixel(10, 10), marker);
    clickButton(*e, Editor::IdEraser);
    EXPECT_EQ(e->tools().cornerCount(), 0);

    // A rectangle being dragged shows its outline until the release applies it.
    clickButton(*e, Editor::IdMaskRectangle);
    press(*e, 20, 20);
    drag(*e, 60, 40);
    const QImage dragging = view->grab().toImage();
    EXPECT_EQ(dragging.pixel(20, 30), marker); // on the outline (dashed: its first dash)
    EXPECT_EQ(countMasked(e->image()), 0);
    release(*e, 60, 40);
    EXPECT_TRUE(view->overlay() == PatternView::Overlay{});

    // An accessibility tool's Toggle chooses a tool as a click does.
    auto* circle = control<QRadioButton>(*e, Editor::IdMaskCircle);
    QAccessible::queryAccessibleInterface(circle)->actionInterface()->doAction(
        QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(e->tools().tool(), MaskTool::MaskCircle);
    EXPECT_EQ(control<QLabel>(*e, Editor::IdHint)->text().toStdString(),
              maskToolHint(MaskTool::MaskCircle));
}

TEST_F(PatternEditorWindow, WholeImageCommandsAlwaysCountAsAChange) {
    writeBank(0, gradient(0));
    auto e = open();
    clickButton(*e, Editor::IdDeleteAllMask); // nothing to unmask
    EXPECT_TRUE(control(*e, Editor::IdUndo)->isEnabled());
    EXPECT_TRUE(e->tools().modified());
    EXPECT_FALSE(control(*e, Editor::IdPenSizeList)->isEnabled());
    EXPECT_EQ(control<QLabel>(*e, Editor::IdHint)->text(), "Delete all mask.");
    clickButton(*e, Editor::IdMaskAll);
    EXPECT_EQ(control<QLabel>(*e, Editor::IdHint)->text(), "Mask all.");
    EXPECT_EQ(countMasked(e->image()), 208 * 236);
    clickButton(*e, Editor::IdUndo);
    EXPECT_EQ(e->image().raster, gradient(0).raster);
    // Choosing the pen again turns the pen-size list back on.
    clickButton(*e, Editor::IdPen);
    EXPECT_TRUE(control(*e, Editor::IdPenSizeList)->isEnabled());
}

TEST_F(PatternEditorWindow, BankSwitchAsksAboutTheBankBeingLeftAndKeepsItWhenTheNewOneIsMissing) {
    writeBank(2, gradient(2));
    writeBank(5, gradient(5));
    writeBank(6, gradient(6));
    auto e = open();
    ASSERT_EQ(e->currentBank(), 2);
    clickButton(*e, Editor::IdMaskAll);
    const Image edited2 = e->image();

    // Yes: bank 2 (the one left) is written, bank 5 is shown with a clean slate.
    messages.expectQuestion(Editor::saveQuestion(2), true);
    choose(*e, Editor::IdBankList, 5);
    EXPECT_EQ(fileImage(2).raster, edited2.raster);
    EXPECT_EQ(fileImage(5).raster, gradient(5).raster);
    EXPECT_EQ(e->currentBank(), 5);
    EXPECT_EQ(e->image().raster, gradient(5).raster);
    EXPECT_FALSE(e->tools().modified());
    EXPECT_FALSE(control(*e, Editor::IdUndo)->isEnabled());
    e->redrawTick(); // the new picture is shown at the next tick
    EXPECT_EQ(e->findChild<PatternView*>()->picture().pixel(3, 4),
              PatternView::colourOf(gradient(5).pixel(204, 4)));

    // No, to a bank without a file: the error, and bank 5 with its edits stays.
    clickButton(*e, Editor::IdMaskCircle);
    press(*e, 50, 50);
    release(*e, 52, 50);
    const Image edited5 = e->image();
    messages.expectQuestion(Editor::saveQuestion(5), false);
    messages.expectError("Patterns file is not found.\n" + file(9) + ": " +
                         test::missingFileText());
    choose(*e, Editor::IdBankList, 9);
    EXPECT_EQ(e->currentBank(), 5);
    EXPECT_EQ(control<QComboBox>(*e, Editor::IdBankList)->currentIndex(), 5);
    EXPECT_EQ(e->image().raster, edited5.raster);
    EXPECT_TRUE(e->tools().modified());
    // Choosing the bank already shown asks nothing and keeps the edits.
    choose(*e, Editor::IdBankList, 5);
    EXPECT_EQ(e->image().raster, edited5.raster);
    EXPECT_TRUE(e->tools().modified());

    // No, to a present bank: bank 5's file stays as it was, the edits are dropped.
    messages.expectQuestion(Editor::saveQuestion(5), false);
    choose(*e, Editor::IdBankList, 6);
    EXPECT_EQ(fileImage(5).raster, gradient(5).raster);
    EXPECT_EQ(e->image().raster, gradient(6).raster);
    EXPECT_EQ(Editor::saveQuestion(5).rfind("Bank number5 ", 0), 0u);

    // Yes, to a bank without a file: bank 6 is written first, then the error; bank 6 stays
    // shown and counts as saved.
    clickButton(*e, Editor::IdMaskAll);
    messages.expectQuestion(Editor::saveQuestion(6), true);
    messages.expectError("Patterns file is not found.\n" + file(9) + ": " +
                         test::missingFileText());
    choose(*e, Editor::IdBankList, 9);
    EXPECT_EQ(e->currentBank(), 6);
    EXPECT_EQ(control<QComboBox>(*e, Editor::IdBankList)->currentIndex(), 6);
    EXPECT_EQ(countMasked(fileImage(6)), 208 * 236);
    EXPECT_FALSE(e->tools().modified());
}

TEST_F(PatternEditorWindow, SaveWritesAFreshHeaderAndAFailedSaveKeepsTheEdits) {
    Image image = gradient(3);
    std::string bytes(54, 'x'); // a foreign header: loaded with a warning
    bytes.append(reinterpret_cast<const char*>(image.raster.data()), image.raster.size());
    {
        std::ofstream out(file(3), std::ios::binary);
        out << bytes;
    }
    writeBank(4, gradient(4));
    const std::string damage = file(3) + ": has no header of a 24-bit pattern file";
    messages.expectNotice("Patterns file is invalid.\n" + damage);
    auto e = open();
    EXPECT_EQ(e->image().raster, image.raster);
    messages.expectQuestion(
        "Patterns file is invalid. Do you replace it with the pattern shown?\n" + damage, true);
    clickButton(*e, Editor::IdSave); // writes even with nothing changed
    const std::string saved = readBytes(file(3));
    ASSERT_EQ(saved.size(), 147318u);
    const auto header = patternHeader();
    EXPECT_EQ(saved.substr(0, 54), std::string(header.begin(), header.end()));
    EXPECT_EQ(saved.substr(54), bytes.substr(54));

    // The folder goes away under the editor: neither a switch nor Exit may drop the edits.
    clickButton(*e, Editor::IdMaskAll);
    ASSERT_TRUE(QDir(dir.path()).removeRecursively());
    messages.expectQuestion(Editor::saveQuestion(3), true);
    messages.expectError("Patterns file is not found.\n" + file(3) + ": " +
                         test::missingFileText(true));
    choose(*e, Editor::IdBankList, 4);
    EXPECT_EQ(e->currentBank(), 3);
    EXPECT_EQ(control<QComboBox>(*e, Editor::IdBankList)->currentIndex(), 3);
    EXPECT_EQ(countMasked(e->image()), 208 * 236);
    EXPECT_TRUE(e->tools().modified());

    messages.expectQuestion(Editor::saveQuestion(3), true);
    messages.expectError("Patterns file is not found.\n" + file(3) + ": " +
                         test::missingFileText(true));
    clickButton(*e, Editor::IdExit);
    EXPECT_TRUE(e->isVisible());
    messages.expectQuestion(Editor::saveQuestion(3), false);
    clickButton(*e, Editor::IdExit);
    EXPECT_FALSE(e->isVisible());
}

// A damaged file opens with a word about it before its picture shows, whether it is the first
// bank or one chosen later, and Save asks before it makes the damage a valid file.
TEST_F(PatternEditorWindow, DamagedFilesAreToldOfAndReplacedOnlyWhenTheOperatorAgrees) {
    const std::string good = patternFileBytes(gradient(1));
    std::string noise(147318, '\0');
    std::mt19937 random(23);
    for (char& c : noise)
        c = static_cast<char>(random());
    std::string eightBit = good;
    eightBit[28] = 8;
    const std::pair<std::string, std::string> damages[] = {
        {good.substr(0, 100000), "holds 100000 bytes, not the 147318 of a pattern file"},
        {good + std::string(5000, 'x'), "holds more than the 147318 bytes of a pattern file"},
        {noise, "has no header of a 24-bit pattern file"},
        {eightBit, "has no header of a 24-bit pattern file"},
    };
    const std::string question =
        "Patterns file is invalid. Do you replace it with the pattern shown?\n";
    for (const auto& [bytes, reason] : damages) {
        SCOPED_TRACE(reason);
        for (int bank : {0, 2}) {
            std::ofstream(file(bank), std::ios::binary | std::ios::trunc) << bytes;
        }
        writeBank(1, gradient(1));
        messages.expectNotice("Patterns file is invalid.\n" + file(0) + ": " + reason);
        auto e = open();
        ASSERT_TRUE(e->opened());
        EXPECT_EQ(e->currentBank(), 0);

        // No keeps the damaged file as it was, and the picture with its edits.
        clickButton(*e, Editor::IdMaskAll);
        messages.expectQuestion(question + file(0) + ": " + reason, false);
        clickButton(*e, Editor::IdSave);
        EXPECT_EQ(readBytes(file(0)), bytes);
        EXPECT_TRUE(e->tools().modified());

        // A bank switch saves only after the same question; bank 2 is damaged alike.
        messages.expectQuestion(Editor::saveQuestion(0), true);
        messages.expectQuestion(question + file(0) + ": " + reason, true);
        messages.expectNotice("Patterns file is invalid.\n" + file(2) + ": " + reason);
        choose(*e, Editor::IdBankList, 2);
        EXPECT_EQ(e->currentBank(), 2);
        EXPECT_EQ(countMasked(fileImage(0)), 208 * 236);

        // Once replaced, the file is a sound one: saving it again asks nothing.
        messages.expectQuestion(question + file(2) + ": " + reason, true);
        clickButton(*e, Editor::IdSave);
        clickButton(*e, Editor::IdSave);
        EXPECT_EQ(readBytes(file(2)).size(), 147318u);
        clickButton(*e, Editor::IdExit);
        messages.verify();
    }
}

TEST_F(PatternEditorWindow, ExitAsksOnlyAboutUnsavedEdits) {
    writeBank(0, gradient(0));
    {
        auto e = open(); // nothing changed: no question
        clickButton(*e, Editor::IdExit);
        EXPECT_FALSE(e->isVisible());
    }
    {
        auto e = open();
        clickButton(*e, Editor::IdMaskAll);
        messages.expectQuestion(Editor::saveQuestion(0), false);
        clickButton(*e, Editor::IdExit);
        EXPECT_FALSE(e->isVisible());
        EXPECT_EQ(fileImage(0).raster, gradient(0).raster);
    }
    {
        auto e = open();
        clickButton(*e, Editor::IdMaskAll);
        // A close from the desktop goes the way of Exit.
        messages.expectQuestion(Editor::saveQuestion(0), true);
        e->close();
        EXPECT_FALSE(e->isVisible());
        EXPECT_EQ(countMasked(fileImage(0)), 208 * 236);
    }
}

TEST_F(PatternEditorWindow, ReadoutCountsYFromTheBottomAndEmptiesOutsideThePicture) {
    writeBank(0, gradient(0));
    auto e = open();
    auto* x = control<QLineEdit>(*e, Editor::IdXReadout);
    auto* y = control<QLineEdit>(*e, Editor::IdYReadout);
    EXPECT_TRUE(x->isReadOnly());
    hover(*e, 0, 0);
    EXPECT_EQ(x->text() + "/" + y->text(), "0/235");
    hover(*e, 207, 235);
    EXPECT_EQ(x->text() + "/" + y->text(), "207/0");
    for (auto [px, py] : {std::pair{208, 235}, {207, 236}, {-1, 0}, {0, -1}}) {
        hover(*e, 207, 235);
        hover(*e, px, py);
        EXPECT_EQ(x->text() + y->text(), "") << px << "," << py;
    }
    press(*e, 10, 20); // also while drawing
    drag(*e, 11, 20);
    EXPECT_EQ(x->text() + "/" + y->text(), "11/215");
    release(*e, 11, 20);
}

TEST_F(PatternEditorWindow, PreviewShowsThePenSquareAndPenSizeFollowsTheList) {
    writeBank(0, gradient(0));
    auto e = open();
    choose(*e, Editor::IdPenSizeList, 9);
    EXPECT_EQ(penSize, 10);
    EXPECT_EQ(e->tools().penSize(), 10);
    auto* preview = control<PenPreview>(*e, Editor::IdPenPreview);
    auto square = [](int i, int j) { return i >= 5 && i <= 25 && j >= 5 && j <= 25; };
    auto expectPreview = [&](QRgb in, QRgb out) {
        const QImage pic = preview->grab(QRect(0, 0, 31, 31)).toImage();
        int wrong = 0;
        for (int i = 0; i < 31; ++i)
            for (int j = 0; j < 31; ++j)
                wrong += pic.pixel(i, j) != (square(i, j) ? in : out);
        EXPECT_EQ(wrong, 0);
    };
    const QRgb blue = qRgb(0, 0, 225), black = qRgb(0, 0, 0);
    expectPreview(blue, black);
    clickButton(*e, Editor::IdEraser);
    expectPreview(black, blue);
    clickButton(*e, Editor::IdMaskCircle);
    expectPreview(black, black);

    // The pen size also sizes the stamp.
    clickButton(*e, Editor::IdPen);
    press(*e, 100, 100);
    drag(*e, 100, 100);
    e->strokeTick();
    release(*e, 100, 100);
    EXPECT_EQ(countMasked(e->image()), 21 * 21);
}

TEST_F(PatternEditorWindow, EnterActsOnTheFocusedButtonAndEscapeDoesNothing) {
    writeBank(0, gradient(0));
    auto e = open();
    auto* eraser = control<QRadioButton>(*e, Editor::IdEraser);
    eraser->setFocus();
    QTest::keyClick(eraser, Qt::Key_Return);
    EXPECT_EQ(e->tools().tool(), MaskTool::Eraser);
    EXPECT_FALSE(eraser->isChecked()) << "Enter runs the command without checking the button";
    QTest::keyClick(e.get(), Qt::Key_Escape);
    EXPECT_TRUE(e->isVisible());
    auto* bankList = control<QComboBox>(*e, Editor::IdBankList);
    bankList->setFocus();
    QTest::keyClick(bankList, Qt::Key_Return);
    EXPECT_TRUE(e->isVisible());
    std::remove(file(0).c_str());
    control(*e, Editor::IdSave)->setFocus();
    QTest::keyClick(control(*e, Editor::IdSave), Qt::Key_Enter);
    EXPECT_EQ(readBytes(file(0)).size(), 147318u);
    control(*e, Editor::IdExit)->setFocus();
    QTest::keyClick(control(*e, Editor::IdExit), Qt::Key_Return);
    EXPECT_FALSE(e->isVisible());
}

// The operator's mouse arrives at the window, which hands each event to the control under the
// pointer: over the picture the editor itself must get it, as it must over the tool buttons.
TEST_F(PatternEditorWindow, MouseThroughTheWindowReachesTheEditorOverThePicture) {
    writeBank(0, gradient(0));
    auto e = open();
    QWindow* window = e->windowHandle();
    ASSERT_NE(window, nullptr);
    auto* x = control<QLineEdit>(*e, Editor::IdXReadout);
    auto* y = control<QLineEdit>(*e, Editor::IdYReadout);
    QTest::mouseMove(window, at(*e, 0, 0));
    EXPECT_EQ(x->text() + "/" + y->text(), "0/235");

    QTest::mousePress(window, Qt::LeftButton, {}, at(*e, 50, 60));
    QTest::mouseMove(window, at(*e, 51, 60));
    EXPECT_EQ(x->text() + "/" + y->text(), "51/175");
    e->strokeTick();
    QTest::mouseRelease(window, Qt::LeftButton, {}, at(*e, 51, 60));
    expectMaskedExactly(
        e->image(), [](int px, int py) { return px >= 49 && px <= 52 && py >= 59 && py <= 61; });
    auto* undo = control<QPushButton>(*e, Editor::IdUndo);
    ASSERT_TRUE(undo->isEnabled());
    QTest::mouseClick(window, Qt::LeftButton, {}, undo->geometry().center());
    EXPECT_EQ(countMasked(e->image()), 0);

    // Corners clicked on the picture, and the right button that cancels them.
    QTest::mouseClick(window, Qt::LeftButton, {},
                      control(*e, Editor::IdMaskTriangle)->geometry().center());
    EXPECT_EQ(e->tools().tool(), MaskTool::MaskTriangle);
    QTest::mouseClick(window, Qt::LeftButton, {}, at(*e, 10, 10));
    QTest::mouseClick(window, Qt::LeftButton, {}, at(*e, 100, 100));
    EXPECT_EQ(e->tools().cornerCount(), 2);
    QTest::mouseClick(window, Qt::RightButton, {}, at(*e, 150, 200));
    EXPECT_EQ(e->tools().cornerCount(), 0);
    EXPECT_EQ(countMasked(e->image()), 0);

    // A double click on the picture is two clicks, so two corners.
    QTest::mouseDClick(window, Qt::LeftButton, {}, at(*e, 10, 10));
    EXPECT_EQ(e->tools().cornerCount(), 2);
    EXPECT_EQ(countMasked(e->image()), 0);
}

// With the real message boxes: while the editor is open its questions and errors come up over
// it, not over the main window under it; once it has gone they are the main window's again.
TEST_F(PatternEditorWindow, RealBoxesBelongToTheEditorWhileItIsOpen) {
    writeBank(0, gradient(0));
    QWidget mainWindow;
    ui::QtMessageService boxes(&mainWindow);
    QWidget* owner = nullptr;
    QString text;
    auto answerNextBox = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                ADD_FAILURE() << "no message box";
                return;
            }
            owner = box->parentWidget();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
    };
    auto e = std::make_unique<Editor>(base, findMissingPatterns(base), penSize, boxes, &mainWindow);
    ASSERT_TRUE(e->opened());
    e->show();
    clickButton(*e, Editor::IdMaskQuadrangle);
    answerNextBox();
    clickAt(*e, -40, 20);
    EXPECT_EQ(owner, e.get());
    EXPECT_EQ(text, "Specify the top within the range of the image. ");

    clickButton(*e, Editor::IdExit);
    e.reset();
    answerNextBox();
    boxes.error("Patterns file is not found.");
    EXPECT_EQ(owner, &mainWindow);
}

TEST_F(PatternEditorWindow, RealTimersDrawTheStrokeAndAnIdleEditorRedrawsNothing) {
    writeBank(0, gradient(0));
    auto e = open();
    EXPECT_TRUE(e->redrawTimerActive());
    press(*e, 60, 60);
    drag(*e, 70, 60);
    // The ticks draw it, and the fast timer rests once the stroke has caught up (a loaded
    // machine may deliver the ticks late).
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return maskedAt(e->image(), 70, 61) && !e->strokeTimerActive(); }, 2000));
    release(*e, 70, 60);
    QTest::qWait(150);
    const long rebuilds = e->viewRebuilds();
    QTest::qWait(350);
    EXPECT_EQ(e->viewRebuilds(), rebuilds);
}

} // namespace
} // namespace zar4::test
