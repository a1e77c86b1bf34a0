#pragma once
// The pattern editor: the modal window in which the operator paints masks over the reference
// pattern of one bank at a time, offline. It loads a bank's pattern file, feeds the mask tools
// the operator's mouse events and timer ticks, shows the result, keeps one level of Undo and
// writes the pattern back on request.

#include "common/message_service.h"
#include "patterns/mask_tools.h"
#include "patterns/pattern_file.h"
#include "ui/key_rule_dialog.h"
#include "ui/qt_message_service.h"

#include <QBasicTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zar4 {

class PatternView;
class PenPreview;

// The main window's "Edit Patterns" command: finds which banks have a pattern file for
// `baseName`, refuses with "Patterns file is not found." when none has, and otherwise runs
// the editor modally. The editor reads and changes `penSize` (the main window saves it at
// EXIT).
void editPatterns(QWidget* parent, const std::string& baseName, int& penSize,
                  MessageService& messages);

class CRefpatDialog : public ui::KeyRuleDialog {
    Q_OBJECT
public:
    // Control ids of the window's layout; every control's objectName is "id<number>".
    enum ControlId {
        IdExit = 1,
        IdSave = 2,
        IdUndo = 3,
        IdImage = 1209,
        IdBankList = 1210,
        IdXReadout = 1223,
        IdPen = 1224,
        IdEraser = 1225,
        IdMaskRectangle = 1226,
        IdUnmaskRectangle = 1227,
        IdMaskCircle = 1228,
        IdUnmaskCircle = 1229,
        IdMaskTriangle = 1230,
        IdUnmaskTriangle = 1231,
        IdMaskQuadrangle = 1232,
        IdUnmaskQuadrangle = 1233,
        IdMaskAll = 1234,
        IdDeleteAllMask = 1235,
        IdYReadout = 1236,
        IdPenSizeList = 1237,
        IdPenPreview = 1238,
        IdHint = 1239,
    };

    static constexpr int kRedrawTickMs = 100;
    static constexpr int kStrokeTickMs = 10;

    // Builds the window and runs its opening steps: the pen chosen, the pen-size list on
    // `penSize`, the lowest bank whose bit in `patternMissingMask` is clear loaded. When that
    // bank's file cannot be opened the operator is told "Patterns file is invalid." and the
    // window is not to be shown (opened() is false).
    CRefpatDialog(std::string baseName, std::uint16_t patternMissingMask, int& penSize,
                  MessageService& messages, QWidget* parent = nullptr);
    ~CRefpatDialog() override;

    bool opened() const { return opened_; }
    int currentBank() const { return currentBank_; }
    const std::string& baseName() const { return baseName_; }
    const PatternImage& image() const { return image_; }
    const MaskEditor& tools() const { return tools_; }
    // The image control's rectangle in the window's coordinates (the frame the tools use).
    QRect imageRect() const;

    // The question asked before a bank's edits would be left behind (bank switch and Exit).
    static std::string saveQuestion(int bank);

    // The two timer handlers, also callable by tests that drive the ticks themselves.
    void redrawTick();
    void strokeTick();
    bool strokeTimerActive() const { return strokeTimer_.isActive(); }
    bool redrawTimerActive() const { return redrawTimer_.isActive(); }
    // How many times the view picture was rebuilt (an idle editor must not rebuild it).
    long viewRebuilds() const { return viewRebuilds_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void runOpeningSteps(std::uint16_t patternMissingMask);

    // Commands.
    void selectTool(MaskTool tool);
    void wholeImage(WholeImageCommand command);
    void bankChosen(int index);
    void penSizeChosen(int index);
    void undoCommand();
    bool saveCommand();
    void exitCommand();

    // Reads `bank`'s file into the picture, telling the operator first when the file is
    // damaged; false, with "<path>: <why>" in `failure`, when it cannot be opened.
    bool readBank(int bank, std::string& failure);
    bool loadBank(int bank, std::string& failure);
    bool askAndSave(int bank, bool onSwitch);
    void finish();

    // Brings the Undo button, the hint, the pen-size list and the preview in line with the
    // tools, and redraws the view when the tools asked for it.
    void syncWithTools();
    void redrawView();
    // Corner markers and the dragged outline, from the tools' state and the mouse.
    void updateOverlay();
    void updateReadout(const QPoint& pos);
    ImageFrame frame() const;

    std::string baseName_;
    int& penSize_;
    MessageService& messages_;
    // Once the editor has opened, its questions and errors come up over it, not over the main
    // window it hides; the main window gets them back when the editor goes.
    std::optional<ui::BoxOwnerScope> boxOwner_;

    PatternHeader header_{};
    PatternImage image_{};
    MaskEditor tools_;

    // The bank whose picture came from a damaged file (-1: none) and what is wrong with it:
    // Save asks before it replaces that file.
    int damagedBank_ = -1;
    std::string damage_;

    int currentBank_ = 0;
    int previousBank_ = 0;
    bool settingUp_ = false;
    bool saveOnSwitch_ = false;
    bool opened_ = false;
    bool closing_ = false;
    bool viewDirty_ = false;
    long viewRebuilds_ = 0;
    QPoint mouse_; // the last mouse position over the window

    QBasicTimer redrawTimer_;
    QBasicTimer strokeTimer_;

    QComboBox* bankList_ = nullptr;
    PatternView* view_ = nullptr;
    QLineEdit* xReadout_ = nullptr;
    QLineEdit* yReadout_ = nullptr;
    std::array<QRadioButton*, 12> toolButtons_{};
    QComboBox* penSizeList_ = nullptr;
    PenPreview* preview_ = nullptr;
    QPushButton* undoButton_ = nullptr;
    QLabel* hint_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};

} // namespace zar4
