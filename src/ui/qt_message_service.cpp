#include "ui/qt_message_service.h"

#include <QMessageBox>

namespace zar4::ui {

BoxAnswer QtMessageService::show(const std::string& title, const std::string& text, BoxIcon icon,
                                 BoxButtons buttons) {
    QMessageBox box(owner_.data());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case BoxIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case BoxIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case BoxIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons == BoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    int result = box.exec();
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    return result == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

} // namespace zar4::ui
