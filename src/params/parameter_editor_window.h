#pragma once
// The parameter editor: the operator changes the parameters of any bank and the common
// parameters offline, copies one bank onto another and saves the set back to its files.
// Every change goes straight into the ParameterSet; only Save & Exit writes files.

#include "common/message_service.h"
#include "params/parameter_fields.h"
#include "params/parameter_set.h"
#include "ui/key_rule_dialog.h"
#include "ui/qt_message_service.h"

#include <map>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace zar4 {

class Ceditpara : public ui::KeyRuleDialog {
    Q_OBJECT
public:
    // `set` has been loaded by openForEditing; `baseName` names its files.
    Ceditpara(ParameterSet& set, const std::string& baseName, MessageService& messages,
              QWidget* parent = nullptr);
    ~Ceditpara() override;

    // The bank whose record the bank controls show and edit.
    int currentBank() const { return currentBank_; }

    // Puts the common record (if present) and bank record k (if any bank is present) into
    // the controls.
    void showBank(int bank);
    // Stores the controls' values into the common record (if present) and bank record k
    // (if any bank is present).
    void commitControls(int bank);

    // True once the operator has changed anything that Save & Exit would write: a typed
    // number or name, a list choice, an AUTO box, a copy, a bank created.
    bool edited() const { return edited_; }

protected:
    // The close box and Alt+F4 are a Cancel: with edits they ask the Cancel question first.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void fillLists();
    void editBankChosen(int bank);
    void copyCommand();
    void autoCommand(BankField field);
    void saveAndExitCommand();
    void cancelCommand();

    ParameterSet& set_;
    MessageService& messages_;
    // The editor's questions and notices belong to the editor while it is open.
    ui::BoxOwnerScope boxOwner_;
    int currentBank_ = 0;
    bool edited_ = false;

    QLineEdit* fileName_ = nullptr;
    std::map<CommonField, QComboBox*> commonLists_;
    std::map<CommonField, QLineEdit*> commonNumbers_;
    std::map<BankField, QComboBox*> bankLists_;
    std::map<BankField, QLineEdit*> bankNumbers_;
    std::map<BankField, QCheckBox*> autoBoxes_;
    QComboBox* editBankList_ = nullptr;
    QComboBox* destinationList_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

// The main window's "Edit Parameters" command: loads the program's parameter set from the
// files named by `baseName` and, when that says so, runs the editor modally over `parent`.
void editParameters(QWidget* parent, const std::string& baseName, MessageService& messages);

} // namespace zar4
