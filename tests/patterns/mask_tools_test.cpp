#include "patterns/mask_tools.h"

#include "support/scripted_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

namespace zar4 {
namespace {

using Pixels = std::set<std::pair<int, int>>; // view (px, py)

Pixels block(int px0, int px1, int py0, int py1) {
    Pixels out;
    for (int px = px0; px <= px1; ++px) {
        for (int py = py0; py <= py1; ++py) {
            out.insert({px, py});
        }
    }
    return out;
}

// A picture in well-formed unmasked pixels of varied colours.
PatternImage plainImage() {
    PatternImage image;
    for (int k = 0; k < kPatternRows; ++k) {
        for (int c = 0; c < kPatternColumns; ++c) {
            wordToFilePixel(static_cast<std::uint16_t>((k * 311 + c * 97) & 0xFFFE),
                            image.pixel(k, c));
        }
    }
    return image;
}

class MaskToolsTest : public ::testing::Test {
protected:
    // An image control larger than the view, as the editor lays it out.
    static constexpr int L = 12;
    static constexpr int T = 40;
    const ImageFrame frame{L, T, L + 240, T + 260};

    void TearDown() override { messages.verify(); }

    Pixels masked() const {
        Pixels out;
        for (int px = 0; px < kViewWidth; ++px) {
            for (int py = 0; py < kViewHeight; ++py) {
                if (isMasked(viewPixel(image, px, py))) {
                    out.insert({px, py});
                }
            }
        }
        return out;
    }
    // A click at view pixel (px, py).
    void press(int px, int py) { editor.leftPress(L + px, T + py, frame); }
    void release(int px, int py) { editor.leftRelease(L + px, T + py); }
    void drag(int px0, int py0, int px1, int py1) {
        press(px0, py0);
        release(px1, py1);
    }

    PatternImage image = plainImage();
    const PatternImage original = image;
    test::ScriptedMessages messages;
    MaskEditor editor{image, messages};
};

TEST(ViewMapping, ColumnsAreStoredRowsFromTheRight) {
    EXPECT_EQ(viewPixelOffset(0, 0), 207 * 236 * 3);
    EXPECT_EQ(viewPixelOffset(207, 0), 0);
    EXPECT_EQ(viewPixelOffset(207, 235), 235 * 3);
    EXPECT_EQ(viewPixelOffset(5, 9), ((207 - 5) * 236 + 9) * 3);
    EXPECT_FALSE(inView(208, 0));
    EXPECT_FALSE(inView(0, 236));
    EXPECT_FALSE(inView(-1, 0));
}

TEST_F(MaskToolsTest, ToolSelectionSetsHintPenListAndCornerList) {
    editor.selectTool(MaskTool::Pen);
    EXPECT_EQ(editor.hint(), "Drag with the mouse.");
    EXPECT_TRUE(editor.penSizeListEnabled());
    EXPECT_TRUE(editor.takeRedrawRequest());
    editor.selectTool(MaskTool::UnmaskCircle);
    EXPECT_FALSE(editor.penSizeListEnabled());
    EXPECT_FALSE(editor.takeRedrawRequest());
    EXPECT_EQ(editor.hint(), "Drag everything from the center of a circle to the circumference "
                             "with the mouse.");
    editor.selectTool(MaskTool::MaskQuadrangle);
    press(10, 10);
    press(20, 10);
    editor.selectTool(MaskTool::Pen); // another tool drops the corners
    EXPECT_EQ(editor.cornerCount(), 0);
    editor.selectTool(MaskTool::UnmaskTriangle);
    press(10, 10);
    ASSERT_EQ(editor.cornerCount(), 1);
    editor.wholeImage(WholeImageCommand::MaskAll); // so does a whole-image command
    EXPECT_EQ(editor.cornerCount(), 0);
    editor.selectTool(MaskTool::UnmaskTriangle);
    EXPECT_EQ(editor.hint().rfind("Click the triangular top", 0), 0u);
    editor.setPenSize(0);
    EXPECT_EQ(editor.penSize(), 1);
    editor.setPenSize(11);
    EXPECT_EQ(editor.penSize(), 10);
}

TEST_F(MaskToolsTest, PenStrokeOfOnePixelAtSizeOneCoversFourByThree) {
    editor.selectTool(MaskTool::Pen);
    editor.setPenSize(1);
    press(50, 60);
    EXPECT_FALSE(editor.strokeTick()); // a press alone draws nothing
    EXPECT_TRUE(editor.mouseMove(L + 51, T + 60, true));
    EXPECT_TRUE(editor.strokeTick());
    EXPECT_EQ(masked(), block(49, 52, 59, 61));
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(editor.undoReady());
    EXPECT_FALSE(editor.undoEnabled()); // only at the release
    release(51, 60);
    EXPECT_TRUE(editor.undoEnabled());
    EXPECT_EQ(masked(), block(49, 52, 59, 61)); // the release does not stamp

    // The eraser takes back exactly what it covers; masked pixels come back byte for byte.
    editor.selectTool(MaskTool::Eraser);
    press(49, 60);
    editor.mouseMove(L + 49, T + 60, true); // a movement back onto the press point
    editor.strokeTick();
    EXPECT_EQ(masked(), block(51, 52, 59, 61));
    editor.mouseMove(L + 52, T + 60, true);
    editor.strokeTick();
    EXPECT_EQ(image.raster, original.raster);
}

TEST_F(MaskToolsTest, StrokeOnlyFollowsOurLeftDragAndJoinsTheLatestPoint) {
    editor.selectTool(MaskTool::Pen);
    EXPECT_FALSE(editor.mouseMove(L + 30, T + 30, true)); // no press of ours
    press(20, 20);
    release(20, 20);
    EXPECT_TRUE(masked().empty()); // press and release without movement
    press(10, 100);
    EXPECT_FALSE(editor.mouseMove(L + 10, T + 150, false)); // another button or a modifier
    editor.mouseMove(L + 40, T + 150, true);
    editor.mouseMove(L + 10, T + 110, true); // only the newest point counts at the tick
    editor.strokeTick();
    EXPECT_EQ(masked(), block(9, 11, 99, 111));
    EXPECT_FALSE(editor.strokeTick());
}

TEST_F(MaskToolsTest, StampsOutsideTheFrameDoNothingAndSquaresAreCutAtTheView) {
    const ImageFrame exact{L, T, L + 208, T + 236}; // control the size of the view
    editor.selectTool(MaskTool::Pen);
    editor.setPenSize(2);
    editor.leftPress(L + 1, T + 100, exact);
    editor.mouseMove(L - 30, T + 100, true);
    editor.strokeTick();
    EXPECT_EQ(masked(), block(0, 3, 98, 102)); // centres at L and L + 1 only
    editor.leftRelease(L - 30, T + 100);
    // One past the control's last pixel still counts as a centre; beyond it does not.
    editor.leftPress(L + 208, T + 236, exact);
    editor.mouseMove(L + 209, T + 236, true);
    editor.strokeTick();
    Pixels want = block(0, 3, 98, 102);
    for (const auto& p : block(206, 207, 234, 235)) {
        want.insert(p);
    }
    EXPECT_EQ(masked(), want);
}

TEST(SegmentWalk, ProductsOnWindowCoordinatesInSinglePrecision) {
    using P = std::vector<ViewPoint>;
    // Rising, shallow: the offset is taken from the window coordinates, not from P0.
    EXPECT_EQ(segmentPositions(3, 1, 7, 3), (P{{3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}}));
    // Falling, steep, walked by y upward.
    EXPECT_EQ(segmentPositions(2, 9, 4, 1),
              (P{{4, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {2, 6}, {2, 7}, {2, 8}, {2, 9}}));
    // 10 * 0.7f is exactly 7 in single precision (6.99999988 in double): the line starts at y 0.
    const P s = segmentPositions(0, 0, 10, 7);
    ASSERT_EQ(s.size(), 11u);
    EXPECT_EQ(s.front(), (ViewPoint{0, 0}));
    EXPECT_EQ(s[5], (ViewPoint{5, 3}));
    EXPECT_EQ(s.back(), (ViewPoint{10, 7}));
    EXPECT_EQ(segmentPositions(5, 9, 5, 7), (P{{5, 7}, {5, 8}, {5, 9}}));
    EXPECT_EQ(segmentPositions(9, 4, 7, 4), (P{{7, 4}, {8, 4}, {9, 4}}));
    EXPECT_EQ(segmentPositions(4, 4, 4, 4), (P{{4, 4}}));
}

// A steep segment takes x from the truncated quotient (y - b) / m, with b built from the
// truncated product at P1: the walk can end one pixel short of P1 in x and start one pixel off
// P0. The pen square (3 x 3 at the least) still covers the pixels under both points.
TEST(SegmentWalk, SteepSegmentsTruncateTheQuotientAtBothEnds) {
    // m = 1.6f, b = 50 - trunc(78 * 1.6f) = -74; y 18 gives 57.5 and y 50 gives 77.5.
    const std::vector<ViewPoint> s = segmentPositions(58, 18, 78, 50);
    ASSERT_EQ(s.size(), 33u);
    EXPECT_EQ(s.front(), (ViewPoint{57, 18}));
    EXPECT_EQ(s[16], (ViewPoint{67, 34}));
    EXPECT_EQ(s.back(), (ViewPoint{77, 50}));

    PatternImage image;
    test::ScriptedMessages messages;
    MaskEditor editor{image, messages};
    editor.selectTool(MaskTool::Pen);
    editor.setPenSize(1);
    editor.leftPress(58, 18, ImageFrame{0, 0, kViewWidth, kViewHeight});
    editor.mouseMove(78, 50, true);
    editor.strokeTick();
    EXPECT_TRUE(isMasked(viewPixel(image, 78, 50)));
    EXPECT_FALSE(isMasked(viewPixel(image, 79, 50)));
    EXPECT_TRUE(isMasked(viewPixel(image, 78, 51)));
    EXPECT_TRUE(isMasked(viewPixel(image, 56, 17))); // the square around (57, 18)
    EXPECT_FALSE(isMasked(viewPixel(image, 59, 17)));
    messages.verify();
}

TEST_F(MaskToolsTest, RectanglesAreCutToTheFrameAndIncludeBothCorners) {
    editor.selectTool(MaskTool::MaskRectangle);
    drag(-15, 30, 40, 50); // from left of the view across it
    EXPECT_EQ(masked(), block(0, 40, 30, 50));
    editor.selectTool(MaskTool::UnmaskRectangle);
    drag(40, 50, -15, 30); // the other way round undoes exactly that
    EXPECT_EQ(image.raster, original.raster);
    editor.selectTool(MaskTool::MaskRectangle);
    drag(-50, 10, -1, 100); // entirely left of the frame
    EXPECT_TRUE(masked().empty());
    drag(200, 230, 239, 259); // inside the control but beyond the view
    EXPECT_EQ(masked(), block(200, 207, 230, 235));
    drag(300, 5, 400, 300); // beyond the frame
    EXPECT_EQ(masked(), block(200, 207, 230, 235));

    // A control smaller than the view: cut at its right edge and one row below its bottom.
    image = original;
    const ImageFrame small{L, T, L + 100, T + 100};
    editor.leftPress(L + 90, T + 95, small);
    editor.leftRelease(L + 150, T + 150);
    EXPECT_EQ(masked(), block(90, 100, 95, 101));
}

TEST_F(MaskToolsTest, CirclesAreInclusiveOfTheSquaredRadius) {
    editor.selectTool(MaskTool::MaskCircle);
    drag(100, 100, 103, 100);
    Pixels want;
    for (const auto& p : block(97, 103, 97, 103)) {
        const int dx = p.first - 100, dy = p.second - 100;
        if (dx * dx + dy * dy <= 9) {
            want.insert(p);
        }
    }
    EXPECT_EQ(want.size(), 29u);
    EXPECT_EQ(masked(), want);
    EXPECT_TRUE(want.count({102, 102}));
    EXPECT_FALSE(want.count({103, 101}));
    editor.selectTool(MaskTool::UnmaskCircle);
    drag(100, 100, 100, 100); // release on the press point: that one pixel
    want.erase({100, 100});
    EXPECT_EQ(masked(), want);
    editor.selectTool(MaskTool::MaskCircle);
    drag(0, 0, 3000, 3000); // reaching past everything
    EXPECT_EQ(masked().size(), static_cast<std::size_t>(kViewWidth * kViewHeight));
}

TEST_F(MaskToolsTest, TriangleGivesTheSameShapeInAnyClickOrder) {
    std::vector<ViewPoint> corners{{10, 10}, {100, 100}, {100, 10}};
    std::sort(corners.begin(), corners.end(),
              [](ViewPoint a, ViewPoint b) { return std::tie(a.x, a.y) < std::tie(b.x, b.y); });
    Pixels first;
    do {
        image = original;
        editor.selectTool(MaskTool::MaskTriangle);
        for (const ViewPoint& c : corners) {
            press(c.x, c.y);
            release(c.x, c.y);
        }
        EXPECT_EQ(editor.cornerCount(), 0);
        if (first.empty()) {
            first = masked();
        }
        EXPECT_EQ(masked(), first);
    } while (std::next_permutation(corners.begin(), corners.end(), [](ViewPoint a, ViewPoint b) {
        return std::tie(a.x, a.y) < std::tie(b.x, b.y);
    }));
    // The upper right half of the square, diagonal and edges included.
    EXPECT_EQ(first.size(), 91u * 92u / 2u);
    EXPECT_TRUE(first.count({50, 50}) && first.count({100, 10}) && first.count({100, 100}));
    EXPECT_FALSE(first.count({50, 51}) || first.count({101, 50}) || first.count({50, 9}));
}

TEST_F(MaskToolsTest, ConvexQuadranglesAreWholeWhateverTheClickOrder) {
    // Pairs of corners in the same direction class seen from the centre: their order decides
    // whether the edges make a quadrangle or a bow tie. The first set has two corners up and to
    // the right of its centre (65, 50), the second two down and to the right of (50, 50).
    // The third, a diamond, has one corner straight in each axis direction from its centre.
    const std::vector<std::vector<ViewPoint>> sets{{{0, 60}, {70, 0}, {80, 110}, {110, 30}},
                                                   {{10, 50}, {40, 0}, {60, 90}, {90, 60}},
                                                   {{20, 60}, {60, 20}, {60, 100}, {100, 60}}};
    const std::vector<std::pair<int, int>> inside[] = {{{65, 50}, {100, 35}, {10, 60}},
                                                       {{50, 50}, {80, 62}, {20, 50}},
                                                       {{60, 60}, {80, 40}, {40, 80}, {79, 79}}};
    const std::vector<std::pair<int, int>> outside[] = {
        {{30, 10}, {110, 100}}, {{15, 15}, {85, 85}}, {{80, 39}, {39, 80}, {80, 81}}};
    const auto less = [](ViewPoint a, ViewPoint b) {
        return std::tie(a.x, a.y) < std::tie(b.x, b.y);
    };
    for (std::size_t set = 0; set < sets.size(); ++set) {
        std::vector<ViewPoint> corners = sets[set];
        Pixels first;
        do {
            image = original;
            editor.selectTool(MaskTool::MaskQuadrangle);
            for (const ViewPoint& c : corners) {
                press(c.x, c.y);
            }
            const Pixels m = masked();
            for (const ViewPoint& c : corners) {
                EXPECT_TRUE(m.count({c.x, c.y})) << c.x << "," << c.y;
            }
            for (const auto& p : inside[set]) {
                EXPECT_TRUE(m.count(p)) << p.first << "," << p.second;
            }
            for (const auto& p : outside[set]) {
                EXPECT_FALSE(m.count(p)) << p.first << "," << p.second;
            }
            if (first.empty()) {
                first = m;
            }
            EXPECT_EQ(m, first);
        } while (std::next_permutation(corners.begin(), corners.end(), less));
        if (set == 2) {
            EXPECT_EQ(first.size(), 2u * 40u * 40u + 2u * 40u + 1u); // |dx| + |dy| <= 40
        }
    }
}

TEST_F(MaskToolsTest, ConcaveQuadrangleKeepsOnlyTheCentreSideOfAllEdges) {
    // A dart pointing right with its notch at (50, 70); the centre is (52, 70).
    editor.selectTool(MaskTool::MaskQuadrangle);
    for (ViewPoint c : {ViewPoint{20, 20}, {120, 70}, {20, 120}, {50, 70}}) {
        press(c.x, c.y);
    }
    const Pixels m = masked();
    EXPECT_TRUE(m.count({90, 70}) && m.count({120, 70}) && m.count({55, 70}));
    EXPECT_FALSE(m.count({25, 30}) || m.count({25, 110})); // the wings are cut off
    EXPECT_FALSE(m.count({40, 70}));                       // the notch is outside
    for (const auto& p : m) {
        ASSERT_GE(p.first, 50);
    }
}

TEST_F(MaskToolsTest, DegenerateCornersStillFillOnlyTheirArea) {
    // The centre falls on a corner: the three pixels of the tiny triangle.
    editor.selectTool(MaskTool::MaskTriangle);
    press(0, 0);
    press(1, 0);
    press(0, 1);
    EXPECT_EQ(masked(), (Pixels{{0, 0}, {1, 0}, {0, 1}}));
    // Two corners in the same direction from the centre each still get a place of their own.
    image = original;
    editor.selectTool(MaskTool::MaskQuadrangle);
    for (ViewPoint c : {ViewPoint{60, 60}, {70, 70}, {90, 40}, {40, 90}}) {
        press(c.x, c.y);
    }
    const Pixels m = masked();
    EXPECT_FALSE(m.empty());
    for (const auto& p : m) {
        ASSERT_TRUE(p.first >= 40 && p.first <= 90 && p.second >= 40 && p.second <= 90);
    }
}

TEST_F(MaskToolsTest, CornersWithinNineteenPixelsOfTheFrameAreAccepted) {
    editor.selectTool(MaskTool::MaskQuadrangle);
    editor.leftPress(L - 19, T + 5, frame);
    EXPECT_EQ(editor.cornerCount(), 1);
    EXPECT_EQ(editor.corner(0), (ViewPoint{-19, 5}));
    messages.expectError("Specify the top within the range of the image. ");
    editor.leftPress(L - 20, T + 5, frame);
    messages.expectError("Specify the top within the range of the image. ");
    editor.leftPress(L + 5, frame.bottom + 20, frame);
    EXPECT_EQ(editor.cornerCount(), 1);
    editor.leftPress(frame.right + 19, frame.bottom + 19, frame);
    EXPECT_EQ(editor.cornerCount(), 2);
    editor.bankLoaded(); // another bank's picture: the corners are dropped
    EXPECT_EQ(editor.cornerCount(), 0);
    editor.leftPress(L + 5, T + 5, frame);
    editor.rightPress();
    EXPECT_EQ(editor.cornerCount(), 0);
    EXPECT_TRUE(masked().empty());
}

TEST_F(MaskToolsTest, WholeImageCommandsMaskAndUnmaskEverythingAndAlwaysCountAsChanges) {
    editor.selectTool(MaskTool::Pen);
    editor.wholeImage(WholeImageCommand::MaskAll);
    EXPECT_EQ(masked().size(), static_cast<std::size_t>(kViewWidth * kViewHeight));
    EXPECT_EQ(editor.tool(), MaskTool::None);
    EXPECT_EQ(editor.hint(), "Mask all.");
    EXPECT_FALSE(editor.penSizeListEnabled());
    editor.undo();
    editor.markSaved();
    editor.wholeImage(WholeImageCommand::DeleteAllMask); // nothing to change
    EXPECT_EQ(editor.hint(), "Delete all mask.");
    EXPECT_TRUE(editor.modified() && editor.undoReady() && editor.undoEnabled());
    editor.wholeImage(WholeImageCommand::MaskAll);
    editor.wholeImage(WholeImageCommand::DeleteAllMask);
    EXPECT_EQ(image.raster, original.raster);
    press(5, 5); // with no tool a press only takes the snapshot
    EXPECT_EQ(editor.undoImage().raster, original.raster);
}

TEST_F(MaskToolsTest, UndoRestoresThePressSnapshotOnceOnly) {
    EXPECT_FALSE(editor.undo()); // nothing to undo after opening
    EXPECT_FALSE(editor.modified());
    editor.selectTool(MaskTool::Pen);
    press(30, 30);
    editor.mouseMove(L + 60, T + 30, true);
    editor.strokeTick();
    release(60, 30);
    const PatternImage stroked = image;
    EXPECT_TRUE(editor.undo());
    EXPECT_EQ(image.raster, original.raster);
    EXPECT_TRUE(editor.modified());
    EXPECT_FALSE(editor.undoReady() || editor.undoEnabled());
    EXPECT_FALSE(editor.undo());

    // A press that changes nothing replaces the snapshot, so Undo then changes nothing.
    image = stroked;
    editor.bankLoaded();
    press(30, 100);
    editor.mouseMove(L + 40, T + 100, true);
    editor.strokeTick();
    release(40, 100);
    const PatternImage twice = image;
    press(-100, -100);
    release(-100, -100);
    EXPECT_TRUE(editor.undoEnabled());
    EXPECT_TRUE(editor.undo());
    EXPECT_EQ(image.raster, twice.raster);

    // Undo with a corner tool forgets the corners given so far.
    editor.selectTool(MaskTool::MaskRectangle);
    drag(0, 0, 5, 5);
    editor.selectTool(MaskTool::MaskTriangle);
    press(50, 50);
    EXPECT_TRUE(editor.undo());
    EXPECT_EQ(editor.cornerCount(), 0);
}

TEST_F(MaskToolsTest, CornerClicksLeaveTheSnapshotToTheFillAndUnchangedShapesOfferNoUndo) {
    editor.selectTool(MaskTool::Pen);
    press(150, 150);
    editor.mouseMove(L + 160, T + 150, true);
    editor.strokeTick();
    release(160, 150);
    const PatternImage stroked = image;

    // Corner clicks take no snapshot; the fill takes it just before it changes the picture.
    editor.selectTool(MaskTool::MaskTriangle);
    press(10, 10);
    release(10, 10);
    press(60, 10);
    release(60, 10);
    EXPECT_EQ(editor.undoImage().raster, original.raster);
    press(10, 60);
    EXPECT_EQ(editor.undoImage().raster, stroked.raster);
    EXPECT_TRUE(editor.undo());
    EXPECT_EQ(image.raster, stroked.raster);

    // After Undo, shapes that change nothing leave Undo off and the snapshot untouched.
    editor.selectTool(MaskTool::UnmaskTriangle);
    press(10, 10);
    press(60, 10);
    press(10, 60);
    EXPECT_EQ(editor.cornerCount(), 0);
    EXPECT_FALSE(editor.undoReady() || editor.undoEnabled());
    editor.bankLoaded();
    editor.selectTool(MaskTool::UnmaskRectangle);
    drag(0, 0, 100, 100);
    editor.selectTool(MaskTool::UnmaskCircle);
    drag(50, 50, 60, 60);
    EXPECT_FALSE(editor.modified() || editor.undoReady() || editor.undoEnabled());
    EXPECT_EQ(image.raster, stroked.raster);
}

TEST_F(MaskToolsTest, SegmentLeftPendingAtTheNextPressBelongsToTheStrokeBefore) {
    editor.selectTool(MaskTool::Pen);
    press(10, 10);
    editor.mouseMove(L + 12, T + 10, true);
    release(12, 10); // no tick came between the last movement and the release
    press(100, 100);
    EXPECT_EQ(masked(), block(9, 13, 9, 11)); // drawn with the first stroke...
    release(100, 100);
    editor.strokeTick();
    EXPECT_EQ(masked(), block(9, 13, 9, 11)); // ...and nothing at the new press point
    EXPECT_TRUE(editor.undo());               // the snapshot already holds the first stroke
    EXPECT_EQ(masked(), block(9, 13, 9, 11));
}

TEST_F(MaskToolsTest, LoadingABankClearsTheFlagsAndTheWaitingSegment) {
    editor.selectTool(MaskTool::Pen);
    press(10, 10);
    editor.mouseMove(L + 20, T + 10, true);
    editor.strokeTick();
    editor.mouseMove(L + 30, T + 10, true);
    release(30, 10);
    editor.bankLoaded();
    EXPECT_FALSE(editor.modified() || editor.undoReady() || editor.undoEnabled());
    EXPECT_FALSE(editor.strokeTick());
}

} // namespace
} // namespace zar4
