#include "patterns/pattern_editor_window.h"

#include "common/file_access.h"
#include "patterns/pattern_view_window.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/qt_message_service.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimerEvent>

#include <algorithm>

namespace zar4 {

namespace {

constexpr const char* kCaption = "Edit Patterns";
constexpr const char* kFileNotFound = "Patterns file is not found.";
constexpr const char* kFileInvalid = "Patterns file is invalid.";
constexpr const char* kReplaceDamagedQuestion =
    "Patterns file is invalid. Do you replace it with the pattern shown?";

constexpr int kBanks = 15;

// The "Edit Menu" buttons, top to bottom.
struct ToolButtonEntry {
    int id;
    const char* label;
    bool wholeImage;
    MaskTool tool;
    WholeImageCommand command;
};

constexpr ToolButtonEntry kToolButtons[12] = {
    {CRefpatDialog::IdPen, "Pen", false, MaskTool::Pen, {}},
    {CRefpatDialog::IdEraser, "Eraser", false, MaskTool::Eraser, {}},
    {CRefpatDialog::IdMaskRectangle,
     "Masks the inside of rectangle.",
     false,
     MaskTool::MaskRectangle,
     {}},
    {CRefpatDialog::IdUnmaskRectangle,
     "Deletes mask the inside of rectangle.",
     false,
     MaskTool::UnmaskRectangle,
     {}},
    {CRefpatDialog::IdMaskCircle, "Masks the inside of circle.", false, MaskTool::MaskCircle, {}},
    {CRefpatDialog::IdUnmaskCircle,
     "Deletes mask the inside of circle.",
     false,
     MaskTool::UnmaskCircle,
     {}},
    {CRefpatDialog::IdMaskTriangle,
     "Masks the inside of triangular.",
     false,
     MaskTool::MaskTriangle,
     {}},
    {CRefpatDialog::IdUnmaskTriangle,
     "Deletes mask the inside of triangular.",
     false,
     MaskTool::UnmaskTriangle,
     {}},
    {CRefpatDialog::IdMaskQuadrangle,
     "Masks the inside of quadrangle.",
     false,
     MaskTool::MaskQuadrangle,
     {}},
    {CRefpatDialog::IdUnmaskQuadrangle,
     "Deletes mask the inside of quadrangle.",
     false,
     MaskTool::UnmaskQuadrangle,
     {}},
    {CRefpatDialog::IdDeleteAllMask, "Deletes all mask.", true, MaskTool::None,
     WholeImageCommand::DeleteAllMask},
    {CRefpatDialog::IdMaskAll, "masks all.", true, MaskTool::None, WholeImageCommand::MaskAll},
};

// Gap kept between the bottom of the pattern and the X/Y read-outs below it.
constexpr int kReadoutGap = 4;

} // namespace

void editPatterns(QWidget* parent, const std::string& baseName, int& penSize,
                  MessageService& messages) {
    const std::uint16_t missing = findMissingPatterns(baseName);
    if (missing == kNoPatternFiles) {
        messages.error(messageWithReason(kFileNotFound, patternFileName(baseName, 0) + " to " +
                                                            patternFileName(baseName, 14) +
                                                            ": none of them can be read"));
        return;
    }
    // Two rasters of 147 KB live in the window: keep it off the stack.
    auto editor = std::make_unique<CRefpatDialog>(baseName, missing, penSize, messages, parent);
    if (editor->opened())
        editor->exec();
}

CRefpatDialog::CRefpatDialog(std::string baseName, std::uint16_t patternMissingMask, int& penSize,
                             MessageService& messages, QWidget* parent)
    : ui::KeyRuleDialog(parent), baseName_(std::move(baseName)), penSize_(penSize),
      messages_(messages), tools_(image_, messages) {
    buildLayout();
    runOpeningSteps(patternMissingMask);
}

CRefpatDialog::~CRefpatDialog() = default;

void CRefpatDialog::buildLayout() {
    const QFont font = ui::dialogFont(8);
    setFont(font);
    const ui::DialogUnits du(font);
    // A caption, but no system menu and no close box: the editor is left through Exit.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(du.x(370), du.y(246));
    setMouseTracking(true);

    auto* bankLabel = new QLabel(QStringLiteral("Edit bank No."), this);
    bankLabel->setGeometry(du.rect(7, 2, 54, 12));

    bankList_ = new QComboBox(this);
    bankList_->setObjectName(ui::controlName(IdBankList));
    bankList_->setGeometry(du.x(7), du.y(15), du.x(42), bankList_->sizeHint().height());
    bankList_->setMaxVisibleItems(kBanks);

    // The image control holds exactly the view: the pattern is drawn one screen pixel per
    // pattern pixel from its top-left corner, and the tools measure their frame from it, so
    // the frame the operator aims at is the picture itself.
    view_ = new PatternView(this);
    view_->setObjectName(ui::controlName(IdImage));
    view_->setGeometry(du.x(12), du.y(32), PatternView::kWidth, PatternView::kHeight);

    // The read-outs sit under the picture; where the dialog font is shorter than the one the
    // layout was made for, they move down just far enough not to hide the pattern's bottom.
    const int readoutShift = std::max(0, view_->geometry().bottom() + 1 + kReadoutGap - du.y(184));
    auto placeReadout = [&](const char* letter, int yDlu, int id) {
        auto* label = new QLabel(QString::fromLatin1(letter), this);
        label->setGeometry(du.x(110), du.y(yDlu) + readoutShift, du.x(8), du.y(12));
        auto* field = new QLineEdit(this);
        field->setObjectName(ui::controlName(id));
        field->setReadOnly(true);
        field->setAlignment(Qt::AlignCenter);
        field->setGeometry(du.x(120), du.y(yDlu) + readoutShift, du.x(34), du.y(13));
        return field;
    };
    xReadout_ = placeReadout("X", 184, IdXReadout);
    yReadout_ = placeReadout("Y", 200, IdYReadout);

    ui::addGroupFrame(this, du, QStringLiteral("Edit Menu"), 171, 4, 192, 212);

    // Twelve buttons from y 16 to y 139, evenly spaced. Pen and Eraser stop short of the
    // pen-size label beside them; the next two stop short of the pen preview.
    for (int i = 0; i < 12; ++i) {
        const ToolButtonEntry& entry = kToolButtons[i];
        auto* button = new QRadioButton(QString::fromLatin1(entry.label), this);
        button->setObjectName(ui::controlName(entry.id));
        const int yDlu = 16 + (i * 123 + 5) / 11;
        const int widthDlu = i < 2 ? 70 : (i < 4 ? 136 : 184);
        // A radio button takes clicks on its circle and its label only: keep it no wider
        // than that, so that a click anywhere on it selects the tool.
        const QRect cell = du.rect(175, yDlu, widthDlu, 10);
        button->setGeometry(cell.x(), cell.y(), std::min(cell.width(), button->sizeHint().width()),
                            cell.height());
        toolButtons_[i] = button;
        if (entry.wholeImage) {
            const WholeImageCommand command = entry.command;
            bindCommand(button, [this, command] { wholeImage(command); });
        } else {
            const MaskTool tool = entry.tool;
            bindCommand(button, [this, tool] { selectTool(tool); });
        }
    }

    auto* sizeLabel = new QLabel(QString::fromUtf8("Pen\u30FBEraser Size"), this);
    sizeLabel->setGeometry(du.rect(248, 17, 56, 8));
    // Up to the pen-size list, past the end of the Pen and Eraser buttons if it must.
    ui::fitLabelBefore(sizeLabel, du.x(309), du.x(175 + 70));

    penSizeList_ = new QComboBox(this);
    penSizeList_->setObjectName(ui::controlName(IdPenSizeList));
    penSizeList_->setGeometry(du.x(309), du.y(14), du.x(39), penSizeList_->sizeHint().height());
    penSizeList_->setMaxVisibleItems(kMaxPenSize);

    preview_ = new PenPreview(this);
    preview_->setObjectName(ui::controlName(IdPenPreview));
    preview_->setGeometry(du.rect(313, 31, 32, 28));

    undoButton_ = new QPushButton(QStringLiteral("Undo"), this);
    undoButton_->setObjectName(ui::controlName(IdUndo));
    undoButton_->setGeometry(du.rect(183, 152, 66, 21));
    bindCommand(undoButton_, [this] { undoCommand(); });

    hint_ = new QLabel(this);
    hint_->setObjectName(ui::controlName(IdHint));
    hint_->setGeometry(du.rect(176, 177, 180, 33));
    hint_->setWordWrap(true);
    hint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    saveButton_ = new QPushButton(QStringLiteral("Save"), this);
    saveButton_->setObjectName(ui::controlName(IdSave));
    saveButton_->setGeometry(du.rect(218, 221, 65, 21));
    bindCommand(saveButton_, [this] { saveCommand(); });

    exitButton_ = new QPushButton(QStringLiteral("Exit"), this);
    exitButton_->setObjectName(ui::controlName(IdExit));
    exitButton_->setGeometry(du.rect(293, 221, 65, 21));
    bindCommand(exitButton_, [this] { exitCommand(); });

    // The lists are filled in the opening steps; only an operator's choice runs a command.
    connect(bankList_, &QComboBox::activated, this, [this](int index) { bankChosen(index); });
    connect(penSizeList_, &QComboBox::activated, this, [this](int index) { penSizeChosen(index); });

    ui::removeDefaultButtons(this);
}

void CRefpatDialog::runOpeningSteps(std::uint16_t patternMissingMask) {
    settingUp_ = true;

    toolButtons_[0]->setChecked(true);
    selectTool(MaskTool::Pen);

    for (int size = kMinPenSize; size <= kMaxPenSize; ++size)
        penSizeList_->addItem(QString::number(size));
    // The settings keep penSize in 1-10; a value from elsewhere is brought into range.
    penSize_ = std::clamp(penSize_, kMinPenSize, kMaxPenSize);
    penSizeList_->setCurrentIndex(penSize_ - 1);
    tools_.setPenSize(penSize_);

    setWindowTitle(QString::fromLatin1(kCaption));
    undoButton_->setEnabled(false);

    for (int bank = 0; bank < kBanks; ++bank)
        bankList_->addItem(QString::number(bank));

    int first = 0;
    while (first < kBanks && (patternMissingMask & (1u << first)) != 0)
        ++first;
    if (first == kBanks) {
        // Nobody opens the editor without a pattern file; if it happens, say so and close.
        messages_.error(kFileInvalid);
        settingUp_ = false;
        return;
    }
    currentBank_ = previousBank_ = first;
    bankList_->setCurrentIndex(first);
    std::string failure;
    if (!readBank(first, failure)) {
        messages_.error(messageWithReason(kFileInvalid, failure));
        settingUp_ = false;
        return;
    }
    tools_.bankLoaded();
    syncWithTools();
    viewDirty_ = true;
    redrawView();
    redrawTimer_.start(kRedrawTickMs, this);
    opened_ = true;
    settingUp_ = false;
    boxOwner_.emplace(messages_, this);
}

QRect CRefpatDialog::imageRect() const {
    return view_->geometry();
}

ImageFrame CRefpatDialog::frame() const {
    const QRect r = imageRect();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// Built as the program builds every bank question: "Bank number", the number with one blank
// after it and no blank before it, then the sentence.
std::string CRefpatDialog::saveQuestion(int bank) {
    return "Bank number" + std::to_string(bank) +
           " The pattern has been edited. Do you want to save it before leaving this bank?";
}

// ---------------------------------------------------------------------------------------------
// Tools and commands

void CRefpatDialog::selectTool(MaskTool tool) {
    tools_.selectTool(tool);
    syncWithTools();
}

void CRefpatDialog::wholeImage(WholeImageCommand command) {
    tools_.wholeImage(command);
    syncWithTools();
}

void CRefpatDialog::undoCommand() {
    tools_.undo();
    syncWithTools();
}

void CRefpatDialog::penSizeChosen(int index) {
    if (index < 0)
        return;
    penSize_ = index + 1;
    tools_.setPenSize(penSize_);
    syncWithTools();
}

void CRefpatDialog::syncWithTools() {
    undoButton_->setEnabled(tools_.undoEnabled());
    hint_->setText(QString::fromStdString(tools_.hint()));
    penSizeList_->setEnabled(tools_.penSizeListEnabled());
    PenPreview::Mode mode = PenPreview::Mode::Other;
    if (tools_.tool() == MaskTool::Pen)
        mode = PenPreview::Mode::Pen;
    else if (tools_.tool() == MaskTool::Eraser)
        mode = PenPreview::Mode::Eraser;
    preview_->setState(mode, penSize_);
    if (tools_.takeRedrawRequest() && !settingUp_) {
        viewDirty_ = true;
        redrawView();
    }
    updateOverlay();
}

void CRefpatDialog::updateOverlay() {
    const QPoint origin = imageRect().topLeft();
    PatternView::Overlay overlay;
    for (int i = 0; i < tools_.cornerCount(); ++i)
        overlay.corners.emplace_back(tools_.corner(i).x, tools_.corner(i).y);
    if (tools_.buttonDown()) {
        switch (tools_.tool()) {
        case MaskTool::MaskRectangle:
        case MaskTool::UnmaskRectangle:
            overlay.outline = PatternView::Overlay::Outline::Rectangle;
            break;
        case MaskTool::MaskCircle:
        case MaskTool::UnmaskCircle:
            overlay.outline = PatternView::Overlay::Outline::Circle;
            break;
        default:
            break;
        }
        overlay.from = QPoint(tools_.pressX(), tools_.pressY()) - origin;
        overlay.to = mouse_ - origin;
    }
    view_->setOverlay(overlay);
}

void CRefpatDialog::redrawView() {
    if (!viewDirty_)
        return;
    viewDirty_ = false;
    ++viewRebuilds_;
    view_->render(image_);
}

// ---------------------------------------------------------------------------------------------
// Banks, saving and leaving

bool CRefpatDialog::readBank(int bank, std::string& failure) {
    // Loaded aside first: the operator hears of a damaged file before its picture is shown.
    // A short file fills what it holds; the rest keeps the picture shown before, as always.
    auto header = std::make_unique<PatternHeader>(header_);
    auto image = std::make_unique<PatternImage>(image_);
    std::string damage;
    if (!loadPatternForEditing(patternFileName(baseName_, bank), *header, *image, &failure,
                               &damage))
        return false;
    if (!damage.empty())
        messages_.notice(messageWithReason(kFileInvalid, damage));
    header_ = *header;
    image_ = *image;
    damage_ = damage;
    damagedBank_ = damage.empty() ? -1 : bank;
    return true;
}

bool CRefpatDialog::loadBank(int bank, std::string& failure) {
    if (!readBank(bank, failure))
        return false;
    tools_.bankLoaded();
    syncWithTools();
    // The new picture appears at the next tick.
    viewDirty_ = true;
    if (!redrawTimer_.isActive())
        redrawTimer_.start(kRedrawTickMs, this);
    return true;
}

void CRefpatDialog::bankChosen(int index) {
    if (index < 0 || index >= kBanks)
        return;
    // Choosing the bank already shown changes nothing: reloading it would throw the edits away.
    if (index == currentBank_)
        return;
    if (tools_.modified() && !askAndSave(currentBank_, true)) {
        // The edits of the bank being left could not be written: stay on it, edits kept.
        bankList_->setCurrentIndex(currentBank_);
        return;
    }
    previousBank_ = currentBank_;
    currentBank_ = index;
    std::string failure;
    if (!loadBank(index, failure)) {
        messages_.error(messageWithReason(kFileNotFound, failure));
        currentBank_ = previousBank_;
        bankList_->setCurrentIndex(previousBank_);
    }
}

// Asks whether to save `bank`'s edits first; Yes saves. False only when the operator said Yes
// and the save failed (its message has been shown).
bool CRefpatDialog::askAndSave(int bank, bool onSwitch) {
    if (!messages_.ask(saveQuestion(bank)))
        return true;
    saveOnSwitch_ = onSwitch;
    const bool saved = saveCommand();
    saveOnSwitch_ = false;
    return saved;
}

bool CRefpatDialog::saveCommand() {
    int bank = currentBank_;
    if (!saveOnSwitch_) {
        bank = bankList_->currentIndex();
        currentBank_ = bank;
    }
    // A picture loaded from a damaged file may hold black or noise where data was missing;
    // saving it makes a file that every check passes, so the damage is not replaced unasked.
    if (bank == damagedBank_ && !messages_.ask(messageWithReason(kReplaceDamagedQuestion, damage_)))
        return false;
    std::string failure;
    if (!savePattern(patternFileName(baseName_, bank), image_, &failure)) {
        messages_.error(messageWithReason(kFileNotFound, failure));
        return false;
    }
    if (bank == damagedBank_)
        damagedBank_ = -1;
    tools_.markSaved();
    return true;
}

void CRefpatDialog::exitCommand() {
    if (tools_.modified() && !askAndSave(currentBank_, false))
        return; // the edits could not be written: the operator stays in the editor
    finish();
}

void CRefpatDialog::finish() {
    closing_ = true;
    redrawTimer_.stop();
    strokeTimer_.stop();
    accept();
}

void CRefpatDialog::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    // The window has no close box; a close from the desktop (Alt+F4) goes the way of Exit, so
    // unsaved edits are never dropped without the question.
    event->ignore();
    exitCommand();
}

// ---------------------------------------------------------------------------------------------
// Mouse and timers

void CRefpatDialog::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    mouse_ = pos;
    if (event->button() == Qt::LeftButton) {
        tools_.leftPress(pos.x(), pos.y(), frame());
        syncWithTools();
    } else if (event->button() == Qt::RightButton) {
        tools_.rightPress();
        syncWithTools();
    }
    event->accept();
}

void CRefpatDialog::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    mouse_ = pos;
    updateReadout(pos);
    const bool leftOnly = event->buttons() == Qt::LeftButton &&
                          (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
    if (tools_.mouseMove(pos.x(), pos.y(), leftOnly) && !strokeTimer_.isActive())
        strokeTimer_.start(kStrokeTickMs, this);
    if (tools_.buttonDown())
        updateOverlay();
    event->accept();
}

void CRefpatDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        mouse_ = pos;
        // A last movement that came less than a tick before the release is drawn now, as its
        // tick would draw it, so that the release sees the stroke whole and offers Undo for it.
        if (tools_.segmentPending() && tools_.strokeTick())
            viewDirty_ = true;
        tools_.leftRelease(pos.x(), pos.y());
        syncWithTools();
    }
    event->accept();
}

void CRefpatDialog::updateReadout(const QPoint& pos) {
    const QRect r = imageRect();
    const int dx = pos.x() - r.left();
    const int dy = pos.y() - r.top();
    if (dx >= 0 && dx <= kViewWidth - 1 && dy >= 0 && dy <= kViewHeight - 1) {
        xReadout_->setText(QString::number(dx));
        yReadout_->setText(QString::number(kViewHeight - 1 - dy));
    } else {
        xReadout_->clear();
        yReadout_->clear();
    }
}

void CRefpatDialog::strokeTick() {
    if (tools_.strokeTick())
        viewDirty_ = true;
    redrawView();
    // Once the stroke has caught up there is nothing for the fast timer to do until the next
    // movement starts it again.
    if (!tools_.segmentPending())
        strokeTimer_.stop();
}

void CRefpatDialog::redrawTick() {
    if (tools_.strokeTick())
        viewDirty_ = true;
    // Only a picture that changed is rebuilt: an open editor left alone costs next to nothing.
    redrawView();
}

void CRefpatDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() == strokeTimer_.timerId())
        strokeTick();
    else if (event->timerId() == redrawTimer_.timerId())
        redrawTick();
    else
        ui::KeyRuleDialog::timerEvent(event);
}

} // namespace zar4
