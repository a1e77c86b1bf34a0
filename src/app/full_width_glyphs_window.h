#pragma once
// Two labels carry full-width characters ("Pen・Eraser Size", "(OFF Delay Time）") that no
// Latin font has. Linux draws them in Droid Sans Fallback (the package depends on it); a
// Windows PC without East Asian fonts has nothing to draw them with, so the program brings the
// two glyphs (cut from Droid Sans Fallback, under the same family name that the windows' font
// names after Arial and Liberation Sans).

class QFont;

namespace zar4 {

// Registers the program's own glyphs for those characters when `font`, with every font it falls
// back to, draws them as empty boxes. True when both are drawn afterwards.
bool ensureFullWidthGlyphs(const QFont& font);

} // namespace zar4
