#pragma once
// How the pattern editor shows a pattern, without any window: which stored pixel lies where in
// the view, and the colour each pixel is shown in. The editor's view, its mask tools and the
// command line's pictures of differing patterns all take them from here, so a pixel is found
// at the same place, in the same colour, wherever an operator looks at it.

#include "patterns/pattern_file.h"

#include <cstddef>
#include <cstdint>

namespace zar4 {

// The raster shown 208 pixels wide and 236 high, one screen pixel per pattern pixel. View
// pixel (px, py), px 0-207 from the left and py 0-235 from the top, is stored row 207 - px,
// pixel py: the first stored row is the rightmost column and each stored row runs from top
// to bottom.
constexpr int kViewWidth = kPatternRows;     // 208
constexpr int kViewHeight = kPatternColumns; // 236

constexpr bool inView(int px, int py) {
    return px >= 0 && px < kViewWidth && py >= 0 && py < kViewHeight;
}
// The index of view pixel (px, py) among the raster's pixels in stored order; only for
// pixels inView().
constexpr int viewPixelIndex(int px, int py) {
    return (kViewWidth - 1 - px) * kPatternColumns + py;
}
// Byte offset in PatternImage::raster of view pixel (px, py); only for pixels inView().
constexpr int viewPixelOffset(int px, int py) {
    return viewPixelIndex(px, py) * 3;
}
inline std::uint8_t* viewPixel(PatternImage& image, int px, int py) {
    return &image.raster[static_cast<std::size_t>(viewPixelOffset(px, py))];
}
inline const std::uint8_t* viewPixel(const PatternImage& image, int px, int py) {
    return &image.raster[static_cast<std::size_t>(viewPixelOffset(px, py))];
}

// The X and Y the editor's read-out gives a pixel: X is its view column, Y counts the view's
// rows from the bottom.
struct EditorPoint {
    int x = 0;
    int y = 0;
};
constexpr int editorY(int py) {
    return kViewHeight - 1 - py;
}
// The read-out of the pixel of stored index `index` (row * 236 + pixel): row k is X 207 - k,
// pixel c is Y 235 - c.
constexpr EditorPoint editorPointOf(int index) {
    return {kViewWidth - 1 - index / kPatternColumns, editorY(index % kPatternColumns)};
}

// The colour a pattern pixel is shown in, as 0xRRGGBB: a masked pixel pure blue of
// (green + 0xC0) & 0xFF, any other pixel one of eight greys, green & 0xE0. Only the green
// byte and the mask flag count.
constexpr std::uint32_t viewColourOf(bool masked, std::uint8_t green) {
    if (masked)
        return static_cast<std::uint32_t>((green + 0xC0) & 0xFF);
    const std::uint32_t grey = green & 0xE0u;
    return (grey << 16) | (grey << 8) | grey;
}
inline std::uint32_t viewColourOf(const std::uint8_t* bgr) {
    return viewColourOf(isMasked(bgr), bgr[1]);
}

} // namespace zar4
