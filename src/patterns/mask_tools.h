#pragma once
// The pattern editor's mask tools, without any window: how mouse positions become pattern
// pixels, which pixels each tool masks or unmasks, the one-level undo snapshot and the
// unsaved-changes flag. The editor window turns its mouse events, timer ticks and button
// clicks into the plain calls of MaskEditor and shows what MaskEditor reports (hint text,
// Undo button state, when to redraw).

#include "common/message_service.h"
#include "patterns/pattern_file.h"
#include "patterns/pattern_view_mapping.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zar4 {

// The image control's rectangle in the editor window's client coordinates (the coordinates
// every mouse call below uses). right and bottom are ONE PAST the control's last pixel
// (QRect r: {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}).
// A mouse position (x, y) is the view pixel (x - left, y - top).
struct ImageFrame {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// ---------------------------------------------------------------------------------------------
// The current tool. Values 7-10 are the corner tools, values below 7 the press tools.
enum class MaskTool : int {
    None = 0,             // after a whole-image command
    Pen = 1,              // button 1224 "Pen"
    Eraser = 2,           // button 1225 "Eraser"
    MaskRectangle = 3,    // button 1226 "Masks the inside of rectangle."
    UnmaskRectangle = 4,  // button 1227 "Deletes mask the inside of rectangle."
    MaskCircle = 5,       // button 1228 "Masks the inside of circle."
    UnmaskCircle = 6,     // button 1229 "Deletes mask the inside of circle."
    MaskQuadrangle = 7,   // button 1232 "Masks the inside of quadrangle."
    UnmaskQuadrangle = 8, // button 1233 "Deletes mask the inside of quadrangle."
    MaskTriangle = 9,     // button 1230 "Masks the inside of triangular."
    UnmaskTriangle = 10,  // button 1231 "Deletes mask the inside of triangular."
};

constexpr bool isCornerTool(MaskTool tool) {
    return static_cast<int>(tool) >= 7;
}
// Corners that complete the tool's shape: 4 for quadrangles, 3 for triangles, 0 otherwise.
int cornersNeeded(MaskTool tool);
// True for the tools that mask (pen, mask rectangle/circle/quadrangle/triangle).
bool toolMasks(MaskTool tool);

// The hint each tool shows in the hint text (control 1239); "" for None.
//   Pen, Eraser: "Drag with the mouse."
//   rectangles:  "Drag a rectangular corner with the mouse."
//   circles:     "Drag everything from the center of a circle to the circumference with the mouse."
//   quadrangles: "Click the quadrangle top with the mouse. Push mouse's right button when you
//                 want to cancel the specification of the top on the way."
//   triangles:   "Click the triangular top with the mouse. Push mouse's right button when you
//                 want to cancel the specification of the top on the way."
const char* maskToolHint(MaskTool tool);

// The two whole-image command buttons and their hints.
// Button 1234 "masks all." masks every pixel; button 1235 "Deletes all mask." unmasks every
// pixel.
enum class WholeImageCommand { MaskAll, DeleteAllMask };
constexpr const char* kMaskAllHint = "Mask all.";              // button 1234
constexpr const char* kDeleteAllMaskHint = "Delete all mask."; // button 1235

// The error shown (box "Error", stop icon, OK) for a corner clicked too far from the image.
constexpr const char* kCornerOutOfRangeText = "Specify the top within the range of the image. ";

// Pen and eraser half-width, the program-wide penSize setting.
constexpr int kMinPenSize = 1;
constexpr int kMaxPenSize = 10;

struct ViewPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ViewPoint& o) const { return x == o.x && y == o.y; }
};

// ---------------------------------------------------------------------------------------------
// The tool state of one pattern editor, working in place on the PatternImage it is given (the
// image must outlive the editor). All coordinates passed in are the editor window's client
// coordinates. Nothing here draws: after each call the window asks takeRedrawRequest() and
// undoEnabled() and updates the view and the Undo button from them.
//
// Flags:
// - modified(): set by every pixel a tool changes, by every whole-image command (even one that
//   changes nothing) and by undo(); cleared by bankLoaded() and markSaved().
// - undoReady(): set by every pixel a tool changes and by every whole-image command; cleared
//   by undo() and bankLoaded().
// - undoEnabled(): the state of the Undo button. Becomes true at every left release and after
//   every corner fill while undoReady() holds, and at every whole-image command; false after
//   undo() and bankLoaded() (and initially). A pen stroke that changes pixels makes undoReady()
//   true at once but enables Undo only at the release.
class MaskEditor {
public:
    // `messages` shows the corner error box. The editor starts with MaskTool::None, an empty
    // hint, pen size 1 and every flag clear; the window then selects the pen.
    MaskEditor(PatternImage& image, MessageService& messages);

    // --- tool selection -----------------------------------------------------------------
    // A tool button click: sets the tool and its hint and empties the corner list (corners
    // never carry over to another tool, or to the same corner tool chosen again). Selecting
    // the pen or the eraser
    // requests a redraw (the window ignores it while it is still being set up).
    void selectTool(MaskTool tool);
    MaskTool tool() const { return tool_; }
    // The text for the hint control (a tool's hint, or a whole-image command's hint).
    const std::string& hint() const { return hint_; }
    // Whether the pen-size list (control 1237) is enabled: only for the pen and the eraser.
    bool penSizeListEnabled() const { return tool_ == MaskTool::Pen || tool_ == MaskTool::Eraser; }

    // Pen and eraser half-width s (square of side 2s + 1); clamped to 1-10.
    void setPenSize(int size);
    int penSize() const { return penSize_; }

    // --- mouse ----------------------------------------------------------------------------
    // Left-button press at (x, y). `frame` is the image control's rectangle, read afresh at
    // every press; the stamps, rectangle and circle of this press and its stroke use it.
    // A stroke segment still waiting for its tick is drawn first (it belongs to the stroke
    // before this press). Press tools (and None) copy the raster into the undo snapshot,
    // every time.
    // Pen/eraser: the stroke starts here, nothing is drawn yet. Corner tools: the corner is
    // added, or refused with kCornerOutOfRangeText in an "Error" box (list unchanged); the
    // corner that completes the shape fills it at once (snapshot, fill, corner list emptied,
    // Undo enabled if undoReady(), redraw requested).
    void leftPress(int x, int y, const ImageFrame& frame);

    // Mouse movement at (x, y). `leftButtonOnly`: the button state is exactly the left button,
    // no other button, no Shift or Ctrl. With the pen or eraser and a left press of ours
    // still down (buttonDown()), the position becomes the stroke's current point and a
    // segment is pending; the stroke masks or unmasks as the tool chosen at its press did.
    // Returns true when the window must (re)start its 10 ms stroke timer.
    bool mouseMove(int x, int y, bool leftButtonOnly);

    // Left-button release at (x, y). Rectangles and circles are applied here (press point and
    // release point), then Undo is enabled if undoReady(), a redraw is requested and the
    // button-down state ends. The release never stamps the pen.
    void leftRelease(int x, int y);

    // Right-button press: with a corner tool selected, empties the corner list silently.
    void rightPress();

    // One tick of either editor timer (10 ms stroke or 100 ms redraw): a pending segment is
    // stamped from the previous to the current point, which then becomes the previous one.
    // Returns true when a segment was stamped (the window then leaves the pen preview out of
    // this redraw). The window redraws the view on every tick either way.
    bool strokeTick();

    // --- commands -------------------------------------------------------------------------
    // Buttons 1234 / 1235: a waiting stroke segment is drawn, then snapshot, mask or unmask
    // every pixel, tool None (pen-size list disabled, corner list emptied), the command's
    // hint, modified and undo-ready set, Undo enabled, redraw.
    void wholeImage(WholeImageCommand command);

    // The Undo button: a waiting stroke segment is dropped, the snapshot is copied back, the corner
    // list emptied when a corner tool is selected, modified set, undo-ready cleared, Undo disabled,
    // redraw requested. Does nothing and returns false when Undo is not enabled (there is no
    // snapshot worth restoring).
    bool undo();

    // A bank's file was loaded into the image: undo-ready, modified and the pending segment
    // are cleared, Undo disabled and the corner list emptied (a shape is built only from
    // clicks over the picture it changes).
    void bankLoaded();
    // The pattern was written to its file: modified cleared.
    void markSaved() { modified_ = false; }

    // --- state ----------------------------------------------------------------------------
    bool modified() const { return modified_; }
    bool undoReady() const { return undoReady_; }
    bool undoEnabled() const { return undoEnabled_; }
    // True once since the last call if the view should be redrawn; clears the request.
    bool takeRedrawRequest() {
        bool r = redraw_;
        redraw_ = false;
        return r;
    }
    bool buttonDown() const { return buttonDown_; }
    // The last left press (window coordinates): one corner of a rectangle, a circle's centre.
    int pressX() const { return pressX_; }
    int pressY() const { return pressY_; }
    bool segmentPending() const { return segmentPending_; }
    int cornerCount() const { return cornerCount_; }
    // Corner i (0 <= i < cornerCount()) in view coordinates; it may lie outside the view.
    ViewPoint corner(int i) const { return corners_[i]; }
    const PatternImage& undoImage() const { return undo_; }
    PatternImage& image() { return image_; }

private:
    void snapshot();
    void finishPendingSegment();
    void changePixel(int px, int py, bool mask);
    void stamp(int x, int y);
    void stampSegment(int x0, int y0, int x1, int y1);
    void applyRectangle(int x, int y);
    void applyCircle(int x, int y);
    void addCorner(int x, int y);
    void fillCorners();

    PatternImage& image_;
    MessageService& messages_;
    PatternImage undo_{};
    MaskTool tool_ = MaskTool::None;
    std::string hint_;
    int penSize_ = 1;

    bool modified_ = false;
    bool undoReady_ = false;
    bool undoEnabled_ = false;
    bool redraw_ = false;

    ImageFrame frame_{};
    bool buttonDown_ = false;
    int pressX_ = 0;
    int pressY_ = 0;

    int prevX_ = 0;
    int prevY_ = 0;
    int curX_ = 0;
    int curY_ = 0;
    bool segmentPending_ = false;
    bool strokeMasks_ = true; // pen (true) or eraser (false), fixed at the stroke's press

    static constexpr int kCornerRoom = 10;
    ViewPoint corners_[kCornerRoom]{};
    int cornerCount_ = 0;
};

// The window positions a pen or eraser segment from (x0, y0) to (x1, y1) stamps, in stamp
// order (increasing running coordinate). The slope is taken in single precision and every
// product and quotient on the window coordinates themselves, cut toward zero. A shallow
// segment (slope below 1) passes exactly through (x1, y1); a steep one takes x from a
// truncated quotient and may end one pixel short of x1 (58,18 to 78,50 ends at 77,50). Both
// ends stay within one pixel of the line, so the smallest pen square still covers them.
std::vector<ViewPoint> segmentPositions(int x0, int y0, int x1, int y1);

// The shape geometry on its own, for callers and tests that need it without an editor:
// every view pixel inside the triangle or quadrangle of `count` corners (view coordinates,
// in any order) is masked or unmasked. Returns the number of pixels changed.
int fillCornerShape(PatternImage& image, const ViewPoint* corners, int count, bool mask);

} // namespace zar4
