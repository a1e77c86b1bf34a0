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
    font.setPointSize(pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace zar4::ui
