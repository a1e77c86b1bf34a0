#include "ui/qt_message_service.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMessageBox>

namespace zar4::ui {

namespace {

// Keeps Escape and the close button from answering a Yes/No question.
class QuestionGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            return true;
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

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
    QuestionGuard guard;
    if (buttons == BoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.installEventFilter(&guard);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    int result = box.exec();
    if (buttons == BoxButtons::Ok)
        return BoxAnswer::Ok;
    return result == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}

BoxOwnerScope::BoxOwnerScope(MessageService& messages, QWidget* owner)
    : service_(dynamic_cast<QtMessageService*>(&messages)) {
    if (service_) {
        previous_ = service_->owner();
        service_->setOwner(owner);
    }
}

BoxOwnerScope::~BoxOwnerScope() {
    if (service_)
        service_->setOwner(previous_.data());
}

} // namespace zar4::ui
