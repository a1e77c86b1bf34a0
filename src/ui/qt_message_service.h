#pragma once
// The real message boxes: QMessageBox owned by the window that runs the command.

#include "common/message_service.h"

#include <QPointer>
#include <QWidget>

namespace zar4::ui {

class QtMessageService : public MessageService {
public:
    explicit QtMessageService(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                   BoxButtons buttons) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace zar4::ui
