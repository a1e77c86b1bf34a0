#pragma once
// What a person reads in a window, checked as drawn: every text has a glyph in the font the
// window really draws it with (its fallbacks included), and every text control is wide enough
// for its text and clear of the controls beside it.

#include <QString>
#include <QWidget>

#include <vector>

namespace zar4::test {

struct ShownText {
    const QWidget* control;
    QString text;
};

// Every text of the window's controls: labels, buttons, tick boxes, radio buttons, group
// frames, list items and field contents.
std::vector<ShownText> shownTexts(const QWidget& window);

// The characters of `text` that `font` draws as an empty box (no glyph in the font or in any
// font Qt falls back to for it).
QString charactersWithoutGlyph(const QString& text, const QFont& font);

// One line per text control of `window` whose text is cut: a label, tick box, radio button or
// group frame narrower than its text, or whose text runs into another control; empty when
// every text fits.
std::vector<QString> clippedTexts(const QWidget& window);

} // namespace zar4::test
