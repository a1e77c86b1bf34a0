#include "patterns/mask_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zar4 {

namespace {

// Float and double to int, cut toward zero, kept inside int's range so that a mouse position
// far outside the window can never make the conversion undefined.
int truncToInt(double v) {
    constexpr double kLimit = 1.0e9;
    return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

long long clampDistance(long long d) {
    constexpr long long kLimit = 1LL << 30;
    return std::clamp(d, -kLimit, kLimit);
}

// Largest r with r * r <= v, for 0 <= v < 2^62.
long long integerSqrt(long long v) {
    long long r = static_cast<long long>(std::sqrt(static_cast<double>(v)));
    while (r > 0 && r * r > v) {
        --r;
    }
    while ((r + 1) * (r + 1) <= v) {
        ++r;
    }
    return r;
}

// Walks the pen segment from (x0, y0) to (x1, y1) and calls fn(x, y) for every stamped
// position whose running coordinate lies in [lo, hi]. Positions outside that range are the
// ones a stamp would ignore anyway (the caller passes the frame's extent), so clipping the
// walk changes nothing but the time a far-away mouse position costs.
// loX/hiX apply when x is the running coordinate, loY/hiY when y is.
template <typename Fn>
void walkSegment(int x0, int y0, int x1, int y1, long long loX, long long hiX, long long loY,
                 long long hiY, Fn fn) {
    if (x0 == x1 && y0 == y1) {
        fn(x1, y1);
        return;
    }
    if (x0 == x1) {
        const long long from = std::max<long long>(std::min(y0, y1), loY);
        const long long to = std::min<long long>(std::max(y0, y1), hiY);
        for (long long y = from; y <= to; ++y) {
            fn(x1, static_cast<int>(y));
        }
        return;
    }
    if (y0 == y1) {
        const long long from = std::max<long long>(std::min(x0, x1), loX);
        const long long to = std::min<long long>(std::max(x0, x1), hiX);
        for (long long x = from; x <= to; ++x) {
            fn(static_cast<int>(x), y1);
        }
        return;
    }
    const long long dx = static_cast<long long>(x1) - x0;
    const long long dy = static_cast<long long>(y1) - y0;
    // The slope in single precision, and every product and quotient with it as well.
    const float m = static_cast<float>(std::llabs(dy)) / static_cast<float>(std::llabs(dx));
    const bool rising = (dx > 0) == (dy > 0);
    const long long xFrom = std::max<long long>(std::min(x0, x1), loX);
    const long long xTo = std::min<long long>(std::max(x0, x1), hiX);
    const long long yFrom = std::max<long long>(std::min(y0, y1), loY);
    const long long yTo = std::min<long long>(std::max(y0, y1), hiY);
    const int t1 = truncToInt(static_cast<float>(x1) * m);
    if (rising) {
        const long long b = static_cast<long long>(y1) - t1;
        if (m < 1.0f) {
            for (long long x = xFrom; x <= xTo; ++x) {
                const long long y = truncToInt(static_cast<float>(x) * m) + b;
                fn(static_cast<int>(x), static_cast<int>(y));
            }
        } else {
            for (long long y = yFrom; y <= yTo; ++y) {
                fn(truncToInt(static_cast<float>(y - b) / m), static_cast<int>(y));
            }
        }
    } else {
        const long long b = static_cast<long long>(y1) + t1;
        if (m < 1.0f) {
            for (long long x = xFrom; x <= xTo; ++x) {
                const long long y = b - truncToInt(static_cast<float>(x) * m);
                fn(static_cast<int>(x), static_cast<int>(y));
            }
        } else {
            for (long long y = yFrom; y <= yTo; ++y) {
                fn(truncToInt(static_cast<float>(b - y) / m), static_cast<int>(y));
            }
        }
    }
}

// Masks or unmasks one view pixel; true when it changed.
bool setPixelState(PatternImage& image, int px, int py, bool mask) {
    std::uint8_t* p = viewPixel(image, px, py);
    if (isMasked(p) == mask) {
        return false;
    }
    if (mask) {
        maskPixel(p);
    } else {
        unmaskPixel(p);
    }
    return true;
}

// Masks or unmasks view rows py0..py1 of column px (already inside the view); returns the
// number of pixels changed. A view column is one stored row, so this is one contiguous run.
int setColumnRun(PatternImage& image, int px, int py0, int py1, bool mask) {
    int changed = 0;
    std::uint8_t* p = viewPixel(image, px, py0);
    for (int py = py0; py <= py1; ++py, p += 3) {
        if (isMasked(p) != mask) {
            if (mask) {
                maskPixel(p);
            } else {
                unmaskPixel(p);
            }
            ++changed;
        }
    }
    return changed;
}

// --- corner shapes ---------------------------------------------------------------------------

// Direction class of a corner seen from the centre, clockwise on the screen (y grows
// downward) from the direction of growing x. A corner on the centre itself has no direction;
// it is ranked after every other corner.
int directionClass(long long dx, long long dy) {
    if (dx == 0 && dy == 0) {
        return 8;
    }
    if (dy == 0) {
        return dx > 0 ? 0 : 4;
    }
    if (dx == 0) {
        return dy > 0 ? 2 : 6;
    }
    if (dy > 0) {
        return dx > 0 ? 1 : 3;
    }
    return dx < 0 ? 5 : 7;
}

struct RankKey {
    int cls;
    double ratio;
    int index; // click order: breaks ties so that every corner gets a rank of its own
};

bool comesBefore(const RankKey& a, const RankKey& b) {
    if (a.cls != b.cls) {
        return a.cls < b.cls;
    }
    if (a.ratio != b.ratio) {
        if (a.cls == 1 || a.cls == 5) {
            return a.ratio < b.ratio;
        }
        if (a.cls == 3 || a.cls == 7) {
            return a.ratio > b.ratio;
        }
    }
    return a.index < b.index;
}

enum class EdgeKind { Horizontal, Vertical, Slanted };

struct Edge {
    EdgeKind kind = EdgeKind::Horizontal;
    long long xk = 0; // reference corner
    long long yk = 0;
    double slope = 0.0;
    bool rising = false;
    bool centreSide = false;

    long long heightAt(long long u) const {
        const long long d = u >= xk ? u - xk : xk - u;
        const long long h = truncToInt(static_cast<double>(d) * slope);
        return ((rising && u >= xk) || (!rising && u < xk)) ? yk + h : yk - h;
    }
};

} // namespace

std::vector<ViewPoint> segmentPositions(int x0, int y0, int x1, int y1) {
    std::vector<ViewPoint> out;
    constexpr long long kAll = 1LL << 40;
    walkSegment(x0, y0, x1, y1, -kAll, kAll, -kAll, kAll, [&out](int x, int y) {
        out.push_back({x, y});
    });
    return out;
}

int fillCornerShape(PatternImage& image, const ViewPoint* corners, int count, bool mask) {
    if (count < 1 || count > 10) {
        return 0;
    }
    // Centre: the mean of the corners, cut toward zero.
    long long sumX = 0;
    long long sumY = 0;
    for (int i = 0; i < count; ++i) {
        sumX += corners[i].x;
        sumY += corners[i].y;
    }
    const long long cx = truncToInt(static_cast<double>(sumX) / count);
    const long long cy = truncToInt(static_cast<double>(sumY) / count);

    // Clockwise order around the centre.
    RankKey keys[10];
    for (int i = 0; i < count; ++i) {
        const long long dx = corners[i].x - cx;
        const long long dy = corners[i].y - cy;
        const int cls = directionClass(dx, dy);
        double ratio = 0.0;
        if (cls == 1 || cls == 3 || cls == 5 || cls == 7) {
            ratio = static_cast<double>(std::llabs(dy)) / static_cast<double>(std::llabs(dx));
        }
        keys[i] = {cls, ratio, i};
    }
    ViewPoint ordered[10];
    for (int i = 0; i < count; ++i) {
        int rank = 0;
        for (int j = 0; j < count; ++j) {
            if (j != i && comesBefore(keys[j], keys[i])) {
                ++rank;
            }
        }
        ordered[rank] = corners[i];
    }

    // Edge k runs from corner k - 1 to corner k; corner k is its reference point.
    Edge edges[10];
    for (int k = 0; k < count; ++k) {
        const ViewPoint& from = ordered[(k + count - 1) % count];
        const ViewPoint& to = ordered[k];
        Edge& e = edges[k];
        e.xk = to.x;
        e.yk = to.y;
        const long long ddx = static_cast<long long>(to.x) - from.x;
        const long long ddy = static_cast<long long>(to.y) - from.y;
        if (ddy == 0) {
            e.kind = EdgeKind::Horizontal;
            e.centreSide = cy >= e.yk;
        } else if (ddx == 0) {
            e.kind = EdgeKind::Vertical;
            e.centreSide = cx >= e.xk;
        } else {
            e.kind = EdgeKind::Slanted;
            e.slope = static_cast<double>(std::llabs(ddy)) / static_cast<double>(std::llabs(ddx));
            e.rising = (ddx > 0) == (ddy > 0);
            e.centreSide = cy >= e.heightAt(cx);
        }
    }

    // Each view column is cut by every edge to one run of rows; pixels on an edge belong to
    // the shape.
    int changed = 0;
    for (int px = 0; px < kViewWidth; ++px) {
        long long lo = 0;
        long long hi = kViewHeight - 1;
        for (int k = 0; k < count && lo <= hi; ++k) {
            const Edge& e = edges[k];
            switch (e.kind) {
            case EdgeKind::Horizontal:
                if (e.centreSide) {
                    lo = std::max(lo, e.yk);
                } else {
                    hi = std::min(hi, e.yk);
                }
                break;
            case EdgeKind::Vertical:
                if ((e.centreSide && px < e.xk) || (!e.centreSide && px > e.xk)) {
                    hi = -1;
                }
                break;
            case EdgeKind::Slanted: {
                const long long h = e.heightAt(px);
                if (e.centreSide) {
                    lo = std::max(lo, h);
                } else {
                    hi = std::min(hi, h);
                }
                break;
            }
            }
        }
        if (lo <= hi) {
            changed += setColumnRun(image, px, static_cast<int>(lo), static_cast<int>(hi), mask);
        }
    }
    return changed;
}

int cornersNeeded(MaskTool tool) {
    switch (tool) {
    case MaskTool::MaskQuadrangle:
    case MaskTool::UnmaskQuadrangle:
        return 4;
    case MaskTool::MaskTriangle:
    case MaskTool::UnmaskTriangle:
        return 3;
    default:
        return 0;
    }
}

bool toolMasks(MaskTool tool) {
    switch (tool) {
    case MaskTool::Pen:
    case MaskTool::MaskRectangle:
    case MaskTool::MaskCircle:
    case MaskTool::MaskQuadrangle:
    case MaskTool::MaskTriangle:
        return true;
    default:
        return false;
    }
}

const char* maskToolHint(MaskTool tool) {
    switch (tool) {
    case MaskTool::Pen:
    case MaskTool::Eraser:
        return "Drag with the mouse.";
    case MaskTool::MaskRectangle:
    case MaskTool::UnmaskRectangle:
        return "Drag a rectangular corner with the mouse.";
    case MaskTool::MaskCircle:
    case MaskTool::UnmaskCircle:
        return "Drag everything from the center of a circle to the circumference with the "
               "mouse.";
    case MaskTool::MaskQuadrangle:
    case MaskTool::UnmaskQuadrangle:
        return "Click the quadrangle top with the mouse. Push mouse's right button when you "
               "want to cancel the specification of the top on the way.";
    case MaskTool::MaskTriangle:
    case MaskTool::UnmaskTriangle:
        return "Click the triangular top with the mouse. Push mouse's right button when you "
               "want to cancel the specification of the top on the way.";
    case MaskTool::None:
        break;
    }
    return "";
}

// --- MaskEditor --------------------------------------------------------------------------------

MaskEditor::MaskEditor(PatternImage& image, MessageService& messages)
    : image_(image), messages_(messages) {}

void MaskEditor::selectTool(MaskTool tool) {
    tool_ = tool;
    hint_ = maskToolHint(tool);
    // Corners clicked so far belong to the shape the operator gave up on: choosing any tool
    // starts afresh.
    cornerCount_ = 0;
    if (tool == MaskTool::Pen || tool == MaskTool::Eraser) {
        redraw_ = true;
    }
}

void MaskEditor::setPenSize(int size) {
    penSize_ = std::clamp(size, kMinPenSize, kMaxPenSize);
}

void MaskEditor::snapshot() {
    undo_.raster = image_.raster;
}

void MaskEditor::changePixel(int px, int py, bool mask) {
    if (setPixelState(image_, px, py, mask)) {
        modified_ = true;
        undoReady_ = true;
    }
}

void MaskEditor::finishPendingSegment() {
    if (segmentPending_) {
        strokeTick();
    }
}

void MaskEditor::leftPress(int x, int y, const ImageFrame& frame) {
    // A segment still waiting for its tick belongs to the stroke before this press: draw it
    // now, with that stroke's frame and before the snapshot, so that it is neither lost nor
    // drawn later from this press point.
    finishPendingSegment();

    frame_ = frame;
    buttonDown_ = true;
    if (!isCornerTool(tool_)) {
        snapshot();
    }
    pressX_ = x;
    pressY_ = y;
    if (tool_ == MaskTool::Pen || tool_ == MaskTool::Eraser) {
        prevX_ = curX_ = x;
        prevY_ = curY_ = y;
        strokeMasks_ = tool_ == MaskTool::Pen;
    } else if (isCornerTool(tool_)) {
        addCorner(x, y);
    }
}

bool MaskEditor::mouseMove(int x, int y, bool leftButtonOnly) {
    // Only a drag that started with a press of ours draws: a button pressed elsewhere and
    // dragged in must not join a line to the point of some earlier stroke.
    if (!leftButtonOnly || !buttonDown_ || (tool_ != MaskTool::Pen && tool_ != MaskTool::Eraser)) {
        return false;
    }
    curX_ = x;
    curY_ = y;
    segmentPending_ = true;
    return true;
}

void MaskEditor::leftRelease(int x, int y) {
    if (buttonDown_) {
        switch (tool_) {
        case MaskTool::MaskRectangle:
        case MaskTool::UnmaskRectangle:
            applyRectangle(x, y);
            break;
        case MaskTool::MaskCircle:
        case MaskTool::UnmaskCircle:
            applyCircle(x, y);
            break;
        default:
            break;
        }
    }
    if (undoReady_) {
        undoEnabled_ = true;
    }
    redraw_ = true;
    buttonDown_ = false;
}

void MaskEditor::rightPress() {
    if (isCornerTool(tool_)) {
        cornerCount_ = 0;
    }
}

bool MaskEditor::strokeTick() {
    if (!segmentPending_) {
        return false;
    }
    stampSegment(prevX_, prevY_, curX_, curY_);
    prevX_ = curX_;
    prevY_ = curY_;
    segmentPending_ = false;
    redraw_ = true;
    return true;
}

void MaskEditor::stamp(int x, int y) {
    const ImageFrame& f = frame_;
    if (x < f.left || x > f.right || y < f.top || y > f.bottom) {
        return;
    }
    const int cx = x - f.left;
    const int cy = y - f.top;
    const int px0 = std::max(0, cx - penSize_);
    const int px1 = std::min(kViewWidth - 1, cx + penSize_);
    const int py0 = std::max(0, cy - penSize_);
    const int py1 = std::min(kViewHeight - 1, cy + penSize_);
    if (px0 > px1 || py0 > py1) {
        return;
    }
    int changed = 0;
    for (int px = px0; px <= px1; ++px) {
        changed += setColumnRun(image_, px, py0, py1, strokeMasks_);
    }
    if (changed > 0) {
        modified_ = true;
        undoReady_ = true;
    }
}

void MaskEditor::stampSegment(int x0, int y0, int x1, int y1) {
    walkSegment(x0, y0, x1, y1, frame_.left, frame_.right, frame_.top, frame_.bottom,
                [this](int x, int y) { stamp(x, y); });
}

void MaskEditor::applyRectangle(int x, int y) {
    const ImageFrame& f = frame_;
    long long x1 = std::min(pressX_, x);
    long long x2 = std::max(pressX_, x);
    long long y1 = std::min(pressY_, y);
    long long y2 = std::max(pressY_, y);
    if (x1 > f.right || y1 > f.bottom || x2 < f.left || y2 < f.top) {
        return;
    }
    x1 = std::max<long long>(x1, f.left);
    y1 = std::max<long long>(y1, f.top);
    x2 = std::min<long long>(x2, f.right);
    if (y2 > f.bottom) {
        y2 = static_cast<long long>(f.bottom) + 1;
    }
    const long long px0 = std::max<long long>(0, x1 - f.left);
    const long long px1 = std::min<long long>(kViewWidth - 1, x2 - f.left);
    const long long py0 = std::max<long long>(0, y1 - f.top);
    const long long py1 = std::min<long long>(kViewHeight - 1, y2 - f.top);
    if (px0 > px1 || py0 > py1) {
        return;
    }
    const bool mask = tool_ == MaskTool::MaskRectangle;
    int changed = 0;
    for (long long px = px0; px <= px1; ++px) {
        changed += setColumnRun(image_, static_cast<int>(px), static_cast<int>(py0),
                                static_cast<int>(py1), mask);
    }
    if (changed > 0) {
        modified_ = true;
        undoReady_ = true;
    }
}

void MaskEditor::applyCircle(int x, int y) {
    const ImageFrame& f = frame_;
    // A radius beyond the clamp covers the whole view from any centre in the window all the
    // same; the clamp only keeps the squares inside 64 bits.
    const long long rx = clampDistance(static_cast<long long>(x) - pressX_);
    const long long ry = clampDistance(static_cast<long long>(y) - pressY_);
    const long long r2 = rx * rx + ry * ry;
    const long long cyView = static_cast<long long>(pressY_) - f.top;
    const bool mask = tool_ == MaskTool::MaskCircle;
    int changed = 0;
    for (int px = 0; px < kViewWidth; ++px) {
        const long long dx = clampDistance(static_cast<long long>(px) + f.left - pressX_);
        const long long rest = r2 - dx * dx;
        if (rest < 0) {
            continue;
        }
        // The rows of this column with dy * dy <= rest, inclusive.
        const long long half = integerSqrt(rest);
        const long long py0 = std::max<long long>(0, cyView - half);
        const long long py1 = std::min<long long>(kViewHeight - 1, cyView + half);
        if (py0 <= py1) {
            changed += setColumnRun(image_, px, static_cast<int>(py0), static_cast<int>(py1), mask);
        }
    }
    if (changed > 0) {
        modified_ = true;
        undoReady_ = true;
    }
}

void MaskEditor::addCorner(int x, int y) {
    const ImageFrame& f = frame_;
    const long long lx = x;
    const long long ly = y;
    if (!(f.left - 20LL < lx && lx < f.right + 20LL && f.top - 20LL < ly && ly < f.bottom + 20LL)) {
        messages_.error(kCornerOutOfRangeText);
        return;
    }
    const int needed = cornersNeeded(tool_);
    if (cornerCount_ >= kCornerRoom) {
        cornerCount_ = 0; // cannot happen through the tools; never write past the list
    }
    corners_[cornerCount_++] = {x - f.left, y - f.top};
    if (cornerCount_ >= needed) {
        fillCorners();
    }
}

void MaskEditor::fillCorners() {
    snapshot();
    const int changed = fillCornerShape(image_, corners_, cornerCount_, toolMasks(tool_));
    if (changed > 0) {
        modified_ = true;
        undoReady_ = true;
    }
    cornerCount_ = 0;
    if (undoReady_) {
        undoEnabled_ = true;
    }
    redraw_ = true;
}

void MaskEditor::wholeImage(WholeImageCommand command) {
    finishPendingSegment();
    snapshot();
    const bool mask = command == WholeImageCommand::MaskAll;
    for (int px = 0; px < kViewWidth; ++px) {
        setColumnRun(image_, px, 0, kViewHeight - 1, mask);
    }
    tool_ = MaskTool::None;
    cornerCount_ = 0;
    hint_ = mask ? kMaskAllHint : kDeleteAllMaskHint;
    modified_ = true;
    undoReady_ = true;
    undoEnabled_ = true;
    redraw_ = true;
}

bool MaskEditor::undo() {
    if (!undoEnabled_) {
        return false;
    }
    // A segment still waiting belongs to the stroke being undone.
    segmentPending_ = false;
    if (isCornerTool(tool_)) {
        cornerCount_ = 0;
    }
    undoReady_ = false;
    modified_ = true;
    image_.raster = undo_.raster;
    undoEnabled_ = false;
    redraw_ = true;
    return true;
}

void MaskEditor::bankLoaded() {
    // Corners clicked over another bank's picture would make a shape nobody drew in this one.
    cornerCount_ = 0;
    undoReady_ = false;
    modified_ = false;
    segmentPending_ = false;
    undoEnabled_ = false;
}

} // namespace zar4
