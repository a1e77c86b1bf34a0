#pragma once
// Windows are laid out in dialog units, as the product's layouts give them. The conversion is
// the one Windows makes: the horizontal base is the average width of the 52 letters A-Z a-z
// in the dialog's font, rounded; the vertical base is the font's height.

#include <QFont>
#include <QRect>

namespace zar4::ui {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    // Pixels for a horizontal or vertical length in dialog units, rounded half up.
    int x(int dlu) const { return (dlu * baseX_ * 2 + 4) / 8; }
    int y(int dlu) const { return (dlu * baseY_ * 2 + 8) / 16; }
    QRect rect(int x0, int y0, int w, int h) const { return QRect(x(x0), y(y0), x(w), y(h)); }

private:
    int baseX_;
    int baseY_;
};

// The dialog font of the product's layouts: Arial (Liberation Sans, its metric twin, on
// Linux) at the given point size, as a whole number of pixels at 96 dpi.
QFont dialogFont(int pointSize);

} // namespace zar4::ui
