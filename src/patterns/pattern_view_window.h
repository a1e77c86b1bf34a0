#pragma once
// The two picture controls of the pattern editor: the view of a bank's pattern (one screen
// pixel per pattern pixel, masked pixels in blue, the rest in eight greys) and the preview of
// the pen or eraser square.

#include "patterns/pattern_file.h"
#include "patterns/pattern_view_mapping.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <vector>

namespace zar4 {

// The view: 208 columns by 236 rows, laid out and coloured as patterns/pattern_view_mapping.h
// says.
class PatternView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = kViewWidth;   // 208
    static constexpr int kHeight = kViewHeight; // 236

    explicit PatternView(QWidget* parent = nullptr);

    // What is drawn over the picture and never into it: the corners of a triangle or
    // quadrangle clicked so far, as small markers, and the outline of the rectangle or circle
    // being dragged. Points are in view pixels (they may lie outside the view).
    struct Overlay {
        enum class Outline { None, Rectangle, Circle };
        std::vector<QPoint> corners;
        Outline outline = Outline::None;
        QPoint from; // a rectangle's pressed corner, a circle's centre
        QPoint to;   // the mouse now
        bool operator==(const Overlay&) const = default;
    };
    static constexpr QRgb kOverlayColour = 0xFFFFFF00; // yellow: seen on greys and blues alike
    static constexpr int kMarkerHalf = 2;              // markers of 5 x 5 pixels

    void setOverlay(const Overlay& overlay);
    const Overlay& overlay() const { return overlay_; }

    // Rebuilds the picture from `image` and schedules a repaint.
    void render(const PatternImage& image);
    // Rebuilds the picture without asking for a repaint (for measuring the conversion alone).
    void fill(const PatternImage& image);
    const QImage& picture() const { return picture_; }

    // The colour a pattern pixel is shown in (viewColourOf).
    static QRgb colourOf(const std::uint8_t* bgr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    Overlay overlay_;
};

// The pen preview: 31 x 31 pixels with the square |i - 15| <= size, |j - 15| <= size. For the
// pen the square is blue (0, 0, 225) on black, for the eraser black on blue, otherwise all
// black.
class PenPreview : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSide = 31;
    enum class Mode { Pen, Eraser, Other };

    explicit PenPreview(QWidget* parent = nullptr);

    void setState(Mode mode, int penSize);
    Mode mode() const { return mode_; }
    int penSize() const { return penSize_; }
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();

    QImage picture_;
    Mode mode_ = Mode::Other;
    int penSize_ = 1;
};

} // namespace zar4
