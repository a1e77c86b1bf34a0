#include "ui/dialog_controls.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QWidget>

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

} // namespace zar4::ui
