#include "support/qt_window_texts.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>

#include <algorithm>

namespace zar4::test {

namespace {

// A button's text as drawn: "&&" shows one ampersand, a single one marks a mnemonic.
QString drawnButtonText(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

std::vector<const QWidget*> controlsOf(const QWidget& window) {
    std::vector<const QWidget*> controls;
    for (const QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        controls.push_back(child);
    return controls;
}

// Where the text of a tick box or radio button ends, from its left edge: the style's place
// for the text (after the box or circle) plus the text's width.
int checkableTextEnd(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const bool radio = qobject_cast<const QRadioButton*>(&button) != nullptr;
    const QRect contents = button.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, &button);
    return contents.left() + QFontMetrics(button.font()).horizontalAdvance(button.text());
}

// The part of a one-line label, tick box or radio button that its text (with the box or
// circle before it) takes when drawn: from its left edge, the font's height centred in it.
// Empty for other controls.
QRect drawnTextRect(const QWidget& control) {
    int width = -1;
    if (auto* label = qobject_cast<const QLabel*>(&control)) {
        if (!label->text().isEmpty() && !label->wordWrap())
            width = label->sizeHint().width();
    } else if (auto* button = qobject_cast<const QAbstractButton*>(&control);
               button && button->isCheckable()) {
        width = checkableTextEnd(*button);
    }
    if (width < 0)
        return {};
    const int height = std::min(control.height(), QFontMetrics(control.font()).height());
    return QRect(control.x(), control.y() + (control.height() - height) / 2, width, height);
}

} // namespace

std::vector<ShownText> shownTexts(const QWidget& window) {
    std::vector<ShownText> texts;
    auto add = [&](const QWidget* control, const QString& text) {
        if (!text.isEmpty())
            texts.push_back({control, text});
    };
    for (const QWidget* control : controlsOf(window)) {
        if (auto* label = qobject_cast<const QLabel*>(control))
            add(control, label->text());
        else if (auto* button = qobject_cast<const QAbstractButton*>(control))
            add(control, drawnButtonText(button->text()));
        else if (auto* frame = qobject_cast<const QGroupBox*>(control))
            add(control, frame->title());
        else if (auto* field = qobject_cast<const QLineEdit*>(control))
            add(control, field->text());
        else if (auto* list = qobject_cast<const QComboBox*>(control)) {
            for (int i = 0; i < list->count(); ++i)
                add(control, list->itemText(i));
        }
    }
    return texts;
}

QString charactersWithoutGlyph(const QString& text, const QFont& font) {
    QString missing;
    for (char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (one.trimmed().isEmpty())
            continue;
        QTextLayout layout(one, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        bool drawn = false;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            for (quint32 glyph : run.glyphIndexes())
                drawn = drawn || glyph != 0; // glyph 0 is the empty box
        }
        if (!drawn)
            missing += one;
    }
    return missing;
}

std::vector<QString> clippedTexts(const QWidget& window) {
    std::vector<QString> clipped;
    const std::vector<const QWidget*> controls = controlsOf(window);
    for (const QWidget* control : controls) {
        const QFontMetrics metrics(control->font());
        QString text;
        int needed = 0;
        int room = control->width();
        if (auto* label = qobject_cast<const QLabel*>(control)) {
            text = label->text();
            if (label->wordWrap()) {
                needed = label->heightForWidth(label->width());
                room = label->height();
            } else {
                needed = label->sizeHint().width();
            }
        } else if (auto* checkable = qobject_cast<const QAbstractButton*>(control);
                   checkable && checkable->isCheckable()) {
            text = checkable->text();
            needed = checkableTextEnd(*checkable);
        } else if (auto* button = qobject_cast<const QPushButton*>(control)) {
            text = drawnButtonText(button->text());
            needed = metrics.horizontalAdvance(text) + 4; // the button's frame on both sides
        } else if (auto* frame = qobject_cast<const QGroupBox*>(control)) {
            text = frame->title();
            needed = metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth();
        }
        if (text.isEmpty())
            continue;
        if (needed > room)
            clipped.push_back(
                QStringLiteral("\"%1\" needs %2 px, has %3").arg(text).arg(needed).arg(room));
        // The text must also stay clear of the controls beside it (one pixel apart at least).
        const QRect drawn = drawnTextRect(*control).adjusted(0, 0, 1, 0);
        if (drawn.isEmpty())
            continue;
        for (const QWidget* other : controls) {
            if (other == control || qobject_cast<const QGroupBox*>(other) ||
                !other->isVisibleTo(&window))
                continue;
            const QRect otherText = drawnTextRect(*other);
            const bool isText = qobject_cast<const QLabel*>(other) != nullptr;
            if (isText && otherText.isEmpty())
                continue; // an empty label draws nothing
            if (drawn.intersects(isText ? otherText : other->geometry()))
                clipped.push_back(QStringLiteral("\"%1\" runs into %2 \"%3\"")
                                      .arg(text,
                                           QString::fromLatin1(other->metaObject()->className()),
                                           other->objectName()));
        }
    }
    return clipped;
}

} // namespace zar4::test
