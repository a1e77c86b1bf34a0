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
    QWidget* owner() const { return owner_.data(); }

    // A question has no way out but Yes and No: Escape and the box's close button do nothing,
    // so an operator's stray Escape can never answer for them (and, say, drop an edit).
    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                   BoxButtons buttons) override;

private:
    QPointer<QWidget> owner_;
};

// While it lives, the real boxes of `messages` belong to `owner` (a window opened over the one
// that owned them); the previous owner gets them back when it ends. Does nothing for a
// stand-in service (tests).
class BoxOwnerScope {
public:
    BoxOwnerScope(MessageService& messages, QWidget* owner);
    ~BoxOwnerScope();
    BoxOwnerScope(const BoxOwnerScope&) = delete;
    BoxOwnerScope& operator=(const BoxOwnerScope&) = delete;

private:
    QtMessageService* service_;
    QPointer<QWidget> previous_;
};

} // namespace zar4::ui
