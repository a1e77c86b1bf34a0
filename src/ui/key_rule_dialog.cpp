#include "ui/key_rule_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>

#include "ui/dialog_controls.h"

namespace zar4::ui {

KeyRuleDialog::KeyRuleDialog(QWidget* parent) : QDialog(parent) {}

KeyRuleDialog::~KeyRuleDialog() {
    // QWidget deletes the controls only after this object's members are gone: their end must
    // no longer reach the command table.
    for (auto it = commands_.cbegin(); it != commands_.cend(); ++it)
        disconnect(it.key(), &QObject::destroyed, this, nullptr);
}

void KeyRuleDialog::bindCommand(QAbstractButton* control, std::function<void()> command) {
    if (auto* push = qobject_cast<QPushButton*>(control)) {
        push->setAutoDefault(false);
        push->setDefault(false);
    }
    commands_.insert(control, command);
    if (!control->isCheckable()) {
        connect(control, &QAbstractButton::clicked, this, [command] { command(); });
    } else {
        // Every click (mouse, Space, a tool's Press) begins with `pressed` and changes the state
        // before `clicked`; a Toggle changes the state alone.
        const bool radio = qobject_cast<QRadioButton*>(control) != nullptr;
        connect(control, &QAbstractButton::pressed, this, [this, control] {
            pressed_ = control;
            checkedAtPress_ = control->isChecked();
        });
        connect(control, &QAbstractButton::toggled, this, [radio, command](bool checked) {
            // The radio button that loses the choice to another has nothing to do.
            if (checked || !radio)
                command();
        });
        connect(control, &QAbstractButton::clicked, this, [this, control, command] {
            const bool changed = pressed_ == control && control->isChecked() != checkedAtPress_;
            pressed_ = nullptr;
            if (!changed)
                command();
        });
    }
    connect(control, &QObject::destroyed, this,
            [this, control] { commands_.remove(static_cast<QAbstractButton*>(control)); });
}

bool KeyRuleDialog::runCommandOf(QAbstractButton* control) {
    auto it = commands_.find(control);
    if (it == commands_.end() || !control->isEnabled())
        return false;
    auto command = it.value(); // the command may rebind or destroy controls
    command();
    return true;
}

void KeyRuleDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        if (focused && isAncestorOf(focused))
            runCommandOf(focused);
        event->accept();
        return;
    }
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void KeyRuleDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (isWindow())
        keepOnScreen(this);
}

void removeDefaultButtons(QWidget* root) {
    for (auto* button : root->findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

} // namespace zar4::ui
