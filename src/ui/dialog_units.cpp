#include "ui/dialog_units.h"

#include <QFontMetrics>

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
    // Windows creates a dialog's font with a whole pixel height, MulDiv(points, 96, 72) at the
    // standard 96 dpi: 10 pt is 13 pixels, not 13.33. Take the same height, so the base units
    // (and with them every control's position) come out as on the operator's Windows screens.
    font.setPixelSize((pointSize * 96 * 2 + 72) / 144);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace zar4::ui
