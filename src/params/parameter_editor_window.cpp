#include "params/parameter_editor_window.h"

#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace zar4 {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

struct Place {
    int x, y, w, h;
};

struct CommonRow {
    CommonField field;
    int id;
    Place place;
};

struct BankRow {
    BankField field;
    int id;
    Place place;
    int autoId; // 0: no AUTO box
    Place autoPlace;
};

// Rows from top to bottom, as the operator sees them.
const CommonRow kCommonRows[] = {
    {CommonField::Bank, 1061, {80, 31, 42, 72}},
    {CommonField::Communic, 1128, {80, 48, 42, 73}},
    {CommonField::OffDelay, 1161, {80, 65, 30, 12}},
    {CommonField::OnDelay, 1162, {80, 82, 30, 12}},
    {CommonField::OneShot, 1135, {80, 99, 42, 73}},
    {CommonField::Synchro, 1136, {80, 117, 42, 73}},
    {CommonField::LcdView, 1131, {80, 135, 42, 73}},
};

const BankRow kBankRows[] = {
    {BankField::Zoom, 1144, {300, 31, 42, 55}, 0, {}},
    {BankField::ColorFil, 1139, {300, 49, 42, 73}, 0, {}},
    {BankField::Shutter, 1163, {337, 68, 30, 12}, 1245, {301, 68, 34, 12}},
    {BankField::Threshld, 1164, {337, 85, 30, 12}, 1246, {301, 85, 34, 12}},
    {BankField::Search, 1153, {300, 102, 42, 73}, 0, {}},
    {BankField::SearchMd, 1154, {300, 121, 42, 73}, 0, {}},
    {BankField::BkgdLvl, 1165, {338, 139, 30, 12}, 1241, {300, 139, 34, 12}},
    {BankField::JudgLvl, 1166, {338, 156, 30, 12}, 1242, {300, 156, 34, 12}},
    {BankField::Light, 1140, {300, 174, 42, 73}, 0, {}},
};

constexpr int kCommonLabelX = 12;
constexpr int kBankLabelX = 211;

// The position a list shows for a stored value; no item, no selection.
void selectValue(QComboBox* list, std::int64_t value) {
    list->setCurrentIndex(listPosition(value, list->count()));
}

// The characters after the last path separator: the part of the base name an operator
// usually changes to save a set under another name.
int lastComponentStart(const QString& base) {
    const int slash = std::max(base.lastIndexOf(QLatin1Char('/')), base.lastIndexOf('\\'));
    return slash + 1;
}

} // namespace

Ceditpara::Ceditpara(ParameterSet& set, const std::string& baseName, MessageService& messages,
                     QWidget* parent)
    : ui::KeyRuleDialog(parent), set_(set), messages_(messages), boxOwner_(messages, this) {
    setWindowTitle(QStringLiteral("Edit Parameters"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(ui::dialogFont(8));
    const ui::DialogUnits du(font());
    setFixedSize(du.x(381), du.y(222));

    buildControls();

    const QString base = qs(baseName);
    fileName_->setText(base);
    fileName_->setSelection(lastComponentStart(base), static_cast<int>(base.size()));

    fillLists();
    if (!commonPresent(set_)) {
        for (auto& [field, list] : commonLists_)
            list->setEnabled(false);
        for (auto& [field, number] : commonNumbers_)
            number->setEnabled(false);
    }
    if (!anyBankPresent(set_)) {
        for (QWidget* control :
             std::initializer_list<QWidget*>{editBankList_, destinationList_, copyButton_})
            control->setEnabled(false);
        for (auto& [field, list] : bankLists_)
            list->setEnabled(false);
        for (auto& [field, number] : bankNumbers_)
            number->setEnabled(false);
        for (auto& [field, box] : autoBoxes_)
            box->setEnabled(false);
    }
    const int lowest = lowestPresentBank(set_);
    if (lowest >= 0)
        currentBank_ = lowest;
    showBank(currentBank_);
}

Ceditpara::~Ceditpara() = default;

void Ceditpara::buildControls() {
    const ui::DialogUnits du(font());
    const int listItemHeight = QFontMetrics(font()).height() + 2;

    // Frames first, so that they lie under the controls they surround.
    auto frame = [&](const QString& title, int x, int y, int w, int h) {
        return ui::addGroupFrame(this, du, title, x, y, w, h);
    };
    frame(QStringLiteral("Common Parameters"), 6, 21, 122, 132)
        ->setObjectName(ui::controlName(1167));
    frame(QStringLiteral("Bank Parameters"), 133, 21, 241, 171);

    auto label = [&](const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setGeometry(du.rect(x, y, w, h));
        return l;
    };
    // A drop-down list: the closed box takes the height its font asks for; the dialog-unit
    // height is the box with its list dropped down, which sets how many items show at once.
    auto list = [&](int id, Place p) {
        auto* box = new QComboBox(this);
        box->setObjectName(ui::controlName(id));
        box->setEditable(false);
        const int closed = box->sizeHint().height();
        box->setGeometry(du.x(p.x), du.y(p.y), du.x(p.w), closed);
        box->setMaxVisibleItems(std::max(1, (du.y(p.h) - closed) / listItemHeight));
        return box;
    };
    auto number = [&](int id, Place p) {
        auto* field = new QLineEdit(this);
        field->setObjectName(ui::controlName(id));
        field->setGeometry(du.rect(p.x, p.y, p.w, p.h));
        return field;
    };
    // A parameter's name, with its caption one line lower.
    // A caption longer than the room before its control moves left into the margin of the
    // group frame, never out of it.
    auto nameAndCaption = [&](const FieldInfo& info, int x, int y, int width, int frameX) {
        for (auto [text, row] : {std::pair{info.name, y}, std::pair{info.caption, y + 8}})
            ui::fitLabelBefore(label(QString::fromUtf8(text), x, row, width, 8), du.x(x + width),
                               du.x(frameX) + 2);
    };

    label(QStringLiteral("File name"), 6, 5, 36, 12);
    fileName_ = new QLineEdit(this);
    fileName_->setObjectName(ui::controlName(1059));
    fileName_->setGeometry(du.rect(42, 5, 276, 12));
    fileName_->setFocusPolicy(Qt::ClickFocus);

    for (const CommonRow& row : kCommonRows) {
        const FieldInfo& info = fieldInfo(row.field);
        nameAndCaption(info, kCommonLabelX, row.place.y, row.place.x - kCommonLabelX, 6);
        if (info.isList)
            commonLists_[row.field] = list(row.id, row.place);
        else
            commonNumbers_[row.field] = number(row.id, row.place);
    }

    label(QStringLiteral("Edit bank No."), 141, 33, 60, 8);
    editBankList_ = list(1138, {142, 43, 42, 74});
    label(QStringLiteral("Destination bank No."), 141, 80, 69, 8);
    destinationList_ = list(1159, {142, 91, 42, 72});
    copyButton_ = new QPushButton(QStringLiteral("Copy"), this);
    copyButton_->setObjectName(ui::controlName(1160));
    copyButton_->setGeometry(du.rect(140, 109, 54, 18));

    for (const BankRow& row : kBankRows) {
        const FieldInfo& info = fieldInfo(row.field);
        const int left = row.autoId != 0 ? row.autoPlace.x : row.place.x;
        nameAndCaption(info, kBankLabelX, row.place.y, left - kBankLabelX, 133);
        if (row.autoId != 0) {
            auto* box = new QCheckBox(QStringLiteral("AUTO"), this);
            box->setObjectName(ui::controlName(row.autoId));
            const Place& p = row.autoPlace;
            box->setGeometry(du.rect(p.x, p.y, p.w, p.h));
            autoBoxes_[row.field] = box;
        }
        if (info.isList)
            bankLists_[row.field] = list(row.id, row.place);
        else
            bankNumbers_[row.field] = number(row.id, row.place);
    }

    saveButton_ = new QPushButton(QStringLiteral("Save && Exit"), this);
    saveButton_->setObjectName(ui::controlName(1157));
    saveButton_->setGeometry(du.rect(236, 197, 60, 18));
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(ui::controlName(1158));
    cancelButton_->setGeometry(du.rect(309, 197, 60, 18));

    // Tab order: the common column, the bank choice and Copy, the bank column, the two
    // buttons, and LCD VIEW last.
    QWidget* const order[] = {commonLists_[CommonField::Bank],
                              commonLists_[CommonField::Communic],
                              commonNumbers_[CommonField::OffDelay],
                              commonNumbers_[CommonField::OnDelay],
                              commonLists_[CommonField::OneShot],
                              commonLists_[CommonField::Synchro],
                              editBankList_,
                              destinationList_,
                              copyButton_,
                              bankLists_[BankField::Zoom],
                              bankLists_[BankField::ColorFil],
                              autoBoxes_[BankField::Shutter],
                              bankNumbers_[BankField::Shutter],
                              autoBoxes_[BankField::Threshld],
                              bankNumbers_[BankField::Threshld],
                              bankLists_[BankField::Search],
                              bankLists_[BankField::SearchMd],
                              autoBoxes_[BankField::BkgdLvl],
                              bankNumbers_[BankField::BkgdLvl],
                              autoBoxes_[BankField::JudgLvl],
                              bankNumbers_[BankField::JudgLvl],
                              bankLists_[BankField::Light],
                              saveButton_,
                              cancelButton_,
                              commonLists_[CommonField::LcdView]};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(editBankList_, qOverload<int>(&QComboBox::activated), this,
            [this](int bank) { editBankChosen(bank); });
    // What counts as an edit: the operator's own typing and choosing, not the editor filling
    // its controls.
    auto markEdited = [this] { edited_ = true; };
    connect(fileName_, &QLineEdit::textEdited, this, markEdited);
    for (auto& entry : commonLists_)
        connect(entry.second, qOverload<int>(&QComboBox::activated), this, markEdited);
    for (auto& entry : bankLists_)
        connect(entry.second, qOverload<int>(&QComboBox::activated), this, markEdited);
    for (auto& entry : commonNumbers_)
        connect(entry.second, &QLineEdit::textEdited, this, markEdited);
    for (auto& entry : bankNumbers_)
        connect(entry.second, &QLineEdit::textEdited, this, markEdited);
    bindCommand(copyButton_, [this] { copyCommand(); });
    for (auto& [field, box] : autoBoxes_) {
        const BankField f = field;
        bindCommand(box, [this, f] { autoCommand(f); });
    }
    bindCommand(saveButton_, [this] { saveAndExitCommand(); });
    bindCommand(cancelButton_, [this] { cancelCommand(); });
}

void Ceditpara::fillLists() {
    // Lists of a missing part stay empty.
    if (commonPresent(set_)) {
        for (auto& [field, list] : commonLists_) {
            for (const std::string& item : listItems(fieldInfo(field)))
                list->addItem(qs(item));
        }
    }
    if (anyBankPresent(set_)) {
        for (auto& [field, list] : bankLists_) {
            for (const std::string& item : listItems(fieldInfo(field)))
                list->addItem(qs(item));
        }
        for (int k = 0; k < kBankCount; ++k) {
            editBankList_->addItem(QString::number(k));
            destinationList_->addItem(QString::number(k));
        }
        destinationList_->setCurrentIndex(0);
    }
}

void Ceditpara::showBank(int bank) {
    if (commonPresent(set_)) {
        const std::int32_t* words = set_.common.words.data();
        for (auto& [field, list] : commonLists_)
            selectValue(list, fieldValue(words, fieldInfo(field)));
        for (auto& [field, number] : commonNumbers_)
            number->setText(qs(numberText(set_.common, field)));
    }
    if (!anyBankPresent(set_))
        return;

    const BankRecord& record = set_.bank[static_cast<std::size_t>(bank)];
    editBankList_->setCurrentIndex(bank);
    for (auto& [field, list] : bankLists_)
        selectValue(list, fieldValue(record.words.data(), fieldInfo(field)));
    for (auto& [field, number] : bankNumbers_) {
        // A field with its AUTO box ticked is disabled: SHUTTER and THRESHLD then stand
        // empty, the two levels show the automatic level.
        const bool automatic = isAuto(record, field);
        // Showing a bank is no operator's click: the box's command must not run.
        const QSignalBlocker quiet(autoBoxes_[field]);
        autoBoxes_[field]->setChecked(automatic);
        number->setEnabled(!automatic);
        number->setText(qs(numberText(record, field)));
    }
}

void Ceditpara::commitControls(int bank) {
    if (commonPresent(set_)) {
        for (auto& [field, list] : commonLists_)
            commitList(set_.common, field, list->currentIndex());
        for (auto& [field, number] : commonNumbers_)
            commitNumber(set_.common, field, number->text().toStdString());
    }
    if (!anyBankPresent(set_))
        return;

    BankRecord& record = set_.bank[static_cast<std::size_t>(bank)];
    for (auto& [field, list] : bankLists_)
        commitList(record, field, list->currentIndex());
    // A field whose AUTO box is ticked is not read: its word keeps what the box gave it.
    for (auto& [field, number] : bankNumbers_) {
        if (!autoBoxes_[field]->isChecked())
            commitNumber(record, field, number->text().toStdString());
    }
}

void Ceditpara::editBankChosen(int bank) {
    if (bank < 0 || bank >= kBankCount)
        return;
    commitControls(currentBank_);
    const int previous = currentBank_;
    const bool existed = bankPresent(set_, bank);
    currentBank_ = bank;
    if (!createBankOnRequest(set_, bank, messages_))
        currentBank_ = previous;
    else if (!existed)
        edited_ = true; // the new bank is written only by Save & Exit
    // Also puts the list back on the previous bank when the operator declined.
    showBank(currentBank_);
}

void Ceditpara::copyCommand() {
    commitControls(currentBank_);
    const int destination = destinationList_->currentIndex();
    if (destination < 0 || destination >= kBankCount)
        return;
    if (!copyBank(set_, currentBank_, destination, messages_))
        return;
    edited_ = true;
    // The controls already show the copied values, which now belong to the destination.
    currentBank_ = destination;
    editBankList_->setCurrentIndex(destination);
}

void Ceditpara::autoCommand(BankField field) {
    BankRecord& record = set_.bank[static_cast<std::size_t>(currentBank_)];
    QCheckBox* box = autoBoxes_[field];
    QLineEdit* number = bankNumbers_[field];
    edited_ = true;
    if (box->isChecked()) {
        number->setText(qs(tickAuto(record, field)));
        number->setEnabled(false);
    } else {
        number->setEnabled(true);
        number->setText(qs(clearAuto(record, field, number->text().toStdString())));
    }
}

void Ceditpara::saveAndExitCommand() {
    commitControls(currentBank_);
    const std::string base = fileName_->text().toStdString();
    if (base.empty()) {
        messages_.notice(kBaseNameEmptyText);
        return;
    }
    // saveSet refuses a name too long for the files and tells the operator why.
    if (saveSet(set_, base, messages_))
        accept();
}

void Ceditpara::cancelCommand() {
    if (messages_.ask(kDiscardQuestion))
        reject();
}

void Ceditpara::closeEvent(QCloseEvent* event) {
    // Without edits there is nothing to lose: the window closes quietly. With edits, No keeps
    // the window open with every edit.
    if (edited_ && !messages_.ask(kDiscardQuestion)) {
        event->ignore();
        return;
    }
    ui::KeyRuleDialog::closeEvent(event);
}

void editParameters(QWidget* parent, const std::string& baseName, MessageService& messages) {
    if (!openForEditing(parameterSet(), baseName, messages))
        return;
    Ceditpara editor(parameterSet(), baseName, messages, parent);
    editor.exec();
}

} // namespace zar4
