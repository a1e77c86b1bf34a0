#include "ui/dialog_controls.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace zar4::ui {

QString controlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

QGroupBox* addGroupFrame(QWidget* parent, const DialogUnits& units, const QString& title, int x,
                         int y, int width, int height) {
    const QString style =
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                       "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: "
                       "top left; left: %2px; padding: 0px 2px; }")
            .arg(QFontMetrics(parent->font()).height() / 2)
            .arg(units.x(2));
    auto* box = new QGroupBox(title, parent);
    box->setStyleSheet(style);
    box->setGeometry(units.rect(x, y, width, height));
    return box;
}

void fitLabelBefore(QLabel* label, int rightLimit, int leftLimit) {
    constexpr int kClear = 2; // the text's last pixel and one free pixel before the neighbour
    const int needed = label->sizeHint().width();
    const int x = std::max(leftLimit, std::min(label->x(), rightLimit - kClear - needed));
    label->setGeometry(x, label->y(), rightLimit - kClear - x, label->height());
}

QPoint placeWithin(const QRect& frame, const QRect& available) {
    auto place = [](int start, int length, int areaStart, int areaLength) {
        // Moved back from the far edge first, then from the near one: a frame longer than
        // the area keeps its start (the title bar, the left edge) on the screen.
        start = std::min(start, areaStart + areaLength - length);
        return std::max(start, areaStart);
    };
    return {place(frame.x(), frame.width(), available.x(), available.width()),
            place(frame.y(), frame.height(), available.y(), available.height())};
}

void keepOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        return;
    const QRect inner = window->geometry();
    QRect frame = window->frameGeometry();
    if (frame.top() >= inner.top()) {
        // Not framed yet: reserve a title bar and thin borders, so that the title bar the
        // window manager adds lands on the screen too.
        const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
        const int border = std::max(1, title / 6);
        frame = inner.adjusted(-border, -title, border, border);
    }
    const QPoint placed = placeWithin(frame, screen->availableGeometry());
    if (placed != frame.topLeft())
        window->setGeometry(inner.translated(placed - frame.topLeft()));
}

} // namespace zar4::ui
