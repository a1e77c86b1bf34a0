#pragma once
// The base of every window with the product's key rule: Enter on a focused push button, tick
// box or radio button that has a command runs that command without changing the control
// (a tick box is not ticked); Enter anywhere else and Escape do nothing, so neither ever
// closes a window. The close box still closes it through reject().

#include <QDialog>
#include <QHash>
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
    void bindCommand(QAbstractButton* control, std::function<void()> command);

    // Runs the command bound to `control`, as Enter would (for tests and for code that
    // forwards a key).
    bool runCommandOf(QAbstractButton* control);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QHash<QAbstractButton*, std::function<void()>> commands_;
};

// Turns autoDefault and default off on every push button inside `root`.
void removeDefaultButtons(QWidget* root);

} // namespace zar4::ui
