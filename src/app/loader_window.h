#pragma once
// The main window CLoaderDlg and the application object CLoaderApp that runs it.

#include "app/base_name.h"
#include "app/settings.h"
#include "common/message_service.h"
#include "link/port_map.h"
#include "link/serial_link.h"
#include "ui/key_rule_dialog.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace zar4 {

// Stands in for the system's file-open dialog: gets the filters (the first one selected) and
// the folder to open in (empty: the dialog's own choice), and returns the chosen path, or
// nothing when the operator cancelled.
using FileOpenDialog = std::function<std::optional<std::string>(const std::vector<FileFilter>&,
                                                                const std::string& startFolder)>;
// The real one: Qt's file-open dialog without an owner window.
std::optional<std::string> systemFileOpenDialog(const std::vector<FileFilter>& filters,
                                                const std::string& startFolder = {});

class CLoaderDlg : public ui::KeyRuleDialog {
    Q_OBJECT
public:
    enum class LinkState { NotConnected, Connected };

    using EditParametersHook =
        std::function<void(QWidget* parent, const std::string& base, MessageService& messages)>;
    using EditPatternsHook = std::function<void(QWidget* parent, const std::string& base,
                                                MessageService& messages, int& penSize)>;

    // Loads the settings from `settingsFile` (the one in use for the program unless a test
    // names another) and puts them into the controls; EXIT saves them there. The COM names
    // of the port list lead to the devices `ports` gives them.
    CLoaderDlg(MessageService& messages, FileOpenDialog fileDialog = systemFileOpenDialog,
               std::string settingsFile = settingsPath(), PortMap ports = {},
               QWidget* parent = nullptr);
    ~CLoaderDlg() override;

    LinkState linkState() const { return state_; }
    // The link CONNECT opened (which port, whether it is open, how it last failed).
    const SerialLink& link() const { return link_; }
    // Which device stands behind each COM name.
    const PortMap& portMap() const { return ports_; }
    // The pen and eraser size of the pattern editor: loaded with the settings, saved at EXIT.
    int& penSize() { return penSize_; }
    // What EXIT would save at this moment.
    LoaderSettings currentSettings() const;
    // The program is being stopped from outside: while connected, Run is sent as "ZAR4 to RUN"
    // sends it and the port closed; a failure is written to `errors`, as no box may wait.
    void returnToRunBeforeStopping(std::ostream& errors);

    // "Edit Parameters" and "Edit Patterns" open the editors; a test may stand in for them.
    void setEditParametersHook(EditParametersHook hook) { editParametersHook_ = std::move(hook); }
    void setEditPatternsHook(EditPatternsHook hook) { editPatternsHook_ = std::move(hook); }

    // The window's icon, drawn here (a sensor's lens over its colour channels).
    static QIcon programIcon();

    // Asked when the program ends (EXIT answered Yes, or the close box) while the sensor is
    // stopped in PC communication mode: Yes sends it back to run first.
    static constexpr const char* kRunBeforeExitQuestion =
        "ZAR4 is stopped in PC communication mode. Return ZAR4 to RUN before exiting?";

public slots:
    void connectCommand();
    void runCommand();
    void readCommand();
    void writeCommand();
    void pickBaseNameCommand();
    void editParametersCommand();
    void editPatternsCommand();
    void exitCommand();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void offerRunBeforeLeaving();
    void showPortDevice();
    void applySettings(const LoaderSettings& settings);
    void setLinkState(LinkState state);
    bool baseNameRefused(const std::string& base);
    void startTransfer(bool write);
    void setBaseNameField(const QString& text);

    MessageService& messages_;
    // The connection to the sensor between CONNECT and "ZAR4 to RUN".
    SerialLink link_;
    PortMap ports_;
    FileOpenDialog fileDialog_;
    std::string settingsFile_;
    LinkState state_ = LinkState::NotConnected;
    int penSize_ = 1;
    EditParametersHook editParametersHook_;
    EditPatternsHook editPatternsHook_;

    QComboBox* portList_ = nullptr;
    QComboBox* baudList_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QLineEdit* fileNameField_ = nullptr;
    QPushButton* refButton_ = nullptr;
    QCheckBox* parametersBox_ = nullptr;
    QCheckBox* patternsBox_ = nullptr;
    QComboBox* startBankList_ = nullptr;
    QComboBox* endBankList_ = nullptr;
    QPushButton* readButton_ = nullptr;
    QPushButton* writeButton_ = nullptr;
    QPushButton* editParametersButton_ = nullptr;
    QPushButton* editPatternsButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
};

// The application object: loads the port map in force for the program, runs the main window
// modally and ends the program when it closes.
class CLoaderApp {
public:
    // `programFile` places the port map and the settings file (beside it, or in the operator's
    // own folder when an installed program's folder takes no new files).
    explicit CLoaderApp(std::string programFile = programPath());
    int run(const std::function<void(CLoaderDlg&)>& wire = {});

private:
    std::string programFile_;
};

} // namespace zar4
