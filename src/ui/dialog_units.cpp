#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

namespace zar4::ui {

namespace {

int averageLetterWidth(const QFontMetrics& metrics) {
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int total = metrics.horizontalAdvance(letters);
    return (total / 26 + 1) / 2; // total / 52, rounded half up
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    baseX_ = averageLetterWidth(metrics);
    baseY_ = metrics.ascent() + metrics.descent();
}

QFont dialogFont(int pointSize) {
    QFont font(QStringLiteral("Arial"));
    // Where Arial is missing its metric twin Liberation Sans stands in (named here, since a
    // list of families is matched by name, without the system's aliases). Some of the
    // product's texts carry full-width characters ("Pen\u30FBEraser Size", "(OFF Delay
    // Time\uFF09") that neither has: Droid Sans Fallback (Debian's fonts-droid-fallback,
    // installed with the program) draws them, whatever the system's own fallback would be.
    font.setFamilies(QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Droid Sans Fallback")});
    // Windows creates a dialog's font with a whole pixel height, MulDiv(points, 96, 72) at the
    // standard 96 dpi: 10 pt is 13 pixels, not 13.33. Take the same height, so the base units
    // (and with them every control's position) come out as on the operator's Windows screens.
    font.setPixelSize((pointSize * 96 * 2 + 72) / 144);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace zar4::ui
