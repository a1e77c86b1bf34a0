#pragma once
// The base of every window with the product's key rule: Enter on a focused push button, tick
// box or radio button that has a command runs that command without changing the control
// (a tick box is not ticked); Enter anywhere else and Escape do nothing, so neither ever
// closes a window. The close box still closes it through reject().
// Every window built on it opens with its title bar on the screen (see keepOnScreen).

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <functional>

class QAbstractButton;

namespace zar4::ui {

class KeyRuleDialog : public QDialog {
    Q_OBJECT
public:
    explicit KeyRuleDialog(QWidget* parent = nullptr);
    ~KeyRuleDialog() override;

    // Binds a control's click to its command; Enter on the focused control runs the same
    // command. Push buttons bound here lose autoDefault, so none becomes a default button.
    // A tick box runs its command on every change of its state and a radio button whenever it
    // becomes the chosen one, however the change came: a click, Space, or an accessibility
    // tool's Toggle (which changes the state without any click). A click that leaves the state
    // as it was (a radio button already chosen) runs it too. The command runs once per click.
    // A window that sets such a control's state itself blocks its signals meanwhile.
    void bindCommand(QAbstractButton* control, std::function<void()> command);

    // Runs the command bound to `control`, as Enter would (for tests and for code that
    // forwards a key).
    bool runCommandOf(QAbstractButton* control);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QHash<QAbstractButton*, std::function<void()>> commands_;
    // The tick box or radio button being clicked, and its state when the press began: the
    // click's own change of state has run the command already.
    QPointer<QAbstractButton> pressed_;
    bool checkedAtPress_ = false;
};

// Turns autoDefault and default off on every push button inside `root`.
void removeDefaultButtons(QWidget* root);

} // namespace zar4::ui
