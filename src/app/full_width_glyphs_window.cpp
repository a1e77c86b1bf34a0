#include "app/full_width_glyphs_window.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>

namespace zar4 {

namespace {

bool drawsFullWidthCharacters(const QFont& font) {
    const QFontMetrics metrics(font);
    // U+30FB KATAKANA MIDDLE DOT, U+FF09 FULLWIDTH RIGHT PARENTHESIS.
    return metrics.inFontUcs4(0x30FB) && metrics.inFontUcs4(0xFF09);
}

} // namespace

bool ensureFullWidthGlyphs(const QFont& font) {
    if (drawsFullWidthCharacters(font))
        return true;
    if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/full-width-glyphs.ttf")) < 0)
        return false;
    return drawsFullWidthCharacters(font);
}

} // namespace zar4
