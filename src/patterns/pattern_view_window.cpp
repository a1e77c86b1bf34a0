#include "patterns/pattern_view_window.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <array>
#include <cmath>
#include <cstdlib>

namespace zar4 {

namespace {

// The colour of every green byte, unmasked (index 0-255) and masked (256-511): the picture
// is rebuilt often, so the per-pixel work is one table look-up.
const std::array<QRgb, 512>& colourTable() {
    static const std::array<QRgb, 512> table = [] {
        std::array<QRgb, 512> t{};
        for (int green = 0; green < 256; ++green) {
            const auto g = static_cast<std::uint8_t>(green);
            t[static_cast<std::size_t>(green)] = 0xFF000000u | viewColourOf(false, g);
            t[static_cast<std::size_t>(256 + green)] = 0xFF000000u | viewColourOf(true, g);
        }
        return t;
    }();
    return table;
}

constexpr QRgb kPreviewBlue = 0xFF0000E1; // (0, 0, 225)
constexpr QRgb kPreviewBlack = 0xFF000000;

} // namespace

PatternView::PatternView(QWidget* parent)
    : QWidget(parent), picture_(kWidth, kHeight, QImage::Format_RGB32) {
    picture_.fill(Qt::black);
    // The editor window takes every mouse event over the view itself.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRgb PatternView::colourOf(const std::uint8_t* bgr) {
    const int masked = isMasked(bgr) ? 256 : 0;
    return colourTable()[masked + bgr[1]];
}

void PatternView::fill(const PatternImage& image) {
    const auto& table = colourTable();
    const std::uint8_t* raster = image.raster.data();
    constexpr int rowBytes = kPatternColumns * 3;
    for (int py = 0; py < kHeight; ++py) {
        auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(py));
        // Each next view column shows the stored row before: walk the stored rows backwards.
        const std::uint8_t* pixel = raster + viewPixelOffset(0, py);
        for (int px = 0; px < kWidth; ++px, pixel -= rowBytes) {
            const int masked = isMasked(pixel) ? 256 : 0;
            line[px] = table[masked + pixel[1]];
        }
    }
}

void PatternView::setOverlay(const Overlay& overlay) {
    if (overlay == overlay_)
        return;
    overlay_ = overlay;
    update();
}

void PatternView::render(const PatternImage& image) {
    fill(image);
    update(0, 0, kWidth, kHeight);
}

void PatternView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect viewRect(0, 0, kWidth, kHeight);
    painter.drawImage(viewRect.intersected(event->rect()).topLeft(), picture_,
                      viewRect.intersected(event->rect()));
    // A control larger than the view shows the dialog's face beyond it.
    const QRegion rest = QRegion(event->rect()) - QRegion(viewRect);
    for (const QRect& r : rest)
        painter.fillRect(r, palette().window());

    // The overlay, over the picture only.
    painter.setClipRect(viewRect);
    const QColor colour = QColor::fromRgb(kOverlayColour);
    painter.setPen(QPen(colour, 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    switch (overlay_.outline) {
    case Overlay::Outline::Rectangle:
        // Both corners belong to the rectangle, as they do to the masked area.
        painter.drawRect(QRect(overlay_.from, overlay_.to).normalized().adjusted(0, 0, -1, -1));
        break;
    case Overlay::Outline::Circle: {
        const QPoint d = overlay_.to - overlay_.from;
        const double r = std::sqrt(double(d.x()) * d.x() + double(d.y()) * d.y());
        painter.drawEllipse(QPointF(overlay_.from), r, r);
        break;
    }
    case Overlay::Outline::None:
        break;
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(colour);
    for (const QPoint& c : overlay_.corners)
        painter.drawRect(
            QRect(c - QPoint(kMarkerHalf, kMarkerHalf), QSize(2 * kMarkerHalf, 2 * kMarkerHalf)));
}

PenPreview::PenPreview(QWidget* parent)
    : QWidget(parent), picture_(kSide, kSide, QImage::Format_RGB32) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    rebuild();
}

void PenPreview::setState(Mode mode, int penSize) {
    if (mode == mode_ && penSize == penSize_)
        return;
    mode_ = mode;
    penSize_ = penSize;
    rebuild();
    update();
}

void PenPreview::rebuild() {
    const QRgb inside = mode_ == Mode::Pen ? kPreviewBlue : kPreviewBlack;
    const QRgb outside = mode_ == Mode::Eraser ? kPreviewBlue : kPreviewBlack;
    for (int j = 0; j < kSide; ++j) {
        auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(j));
        for (int i = 0; i < kSide; ++i) {
            const bool inSquare = std::abs(i - 15) <= penSize_ && std::abs(j - 15) <= penSize_;
            line[i] = inSquare ? inside : outside;
        }
    }
}

void PenPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

} // namespace zar4
