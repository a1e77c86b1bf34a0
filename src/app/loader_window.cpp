#include "app/loader_window.h"

#include "app/stop_signal_window.h"
#include "link/port_map.h"
#include "link/protocol.h"
#include "params/parameter_editor_window.h"
#include "params/parameter_file.h"
#include "patterns/pattern_editor_window.h"
#include "transfer/progress_window.h"
#include "transfer/transfer.h"
#include "transfer/transfer_texts.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/qt_message_service.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>

#include <ostream>

namespace zar4 {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

std::optional<std::string> systemFileOpenDialog(const std::vector<FileFilter>& filters,
                                                const std::string& startFolder) {
    // The operator sees each filter's own text; the patterns behind it follow in the form Qt
    // reads and are hidden from view.
    QStringList nameFilters;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns)
            patterns << qs(pattern);
        nameFilters << qs(filter.text) + QStringLiteral(" (") + patterns.join(' ') +
                           QStringLiteral(")");
    }
    QFileDialog dialog(nullptr);
    // A name typed for a file that is not there yet is taken too: the field only names the
    // base of the data files, and a new backup has none yet.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog.selectNameFilter(nameFilters.front());
    if (!startFolder.empty())
        dialog.setDirectory(qs(startFolder));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

CLoaderDlg::CLoaderDlg(MessageService& messages, FileOpenDialog fileDialog,
                       std::string settingsFile, PortMap ports, QWidget* parent)
    : ui::KeyRuleDialog(parent), messages_(messages), ports_(std::move(ports)),
      fileDialog_(std::move(fileDialog)), settingsFile_(std::move(settingsFile)) {
    setWindowTitle(QStringLiteral("ZAR4 Data Loader ver.1.0"));
    // A caption with the system menu and the close box; no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(ui::dialogFont(10));
    const ui::DialogUnits du(font());
    setFixedSize(du.x(251), du.y(253));
    setWindowIcon(programIcon());

    buildControls();
    applySettings(loadSettingsFrom(settingsFile_));
    showPortDevice();
    setLinkState(LinkState::NotConnected);
    portList_->setFocus();
}

CLoaderDlg::~CLoaderDlg() = default;

void CLoaderDlg::buildControls() {
    const ui::DialogUnits du(font());

    // The frames first, so that they lie under the controls they surround.
    auto frame = [&](const QString& title, int x, int y, int w, int h) {
        ui::addGroupFrame(this, du, title, x, y, w, h);
    };
    frame(QStringLiteral("Communication Setting"), 6, 3, 238, 92);
    frame(QStringLiteral("Data Edit"), 7, 98, 237, 126);

    auto label = [&](const QString& text, int id, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        if (id != 0)
            l->setObjectName(ui::controlName(id));
        l->setGeometry(du.rect(x, y, w, h));
        return l;
    };
    label(QStringLiteral("Target Data"), 0, 14, 133, 42, 8);
    label(QStringLiteral("COM Port"), 0, 14, 13, 41, 8);
    label(QStringLiteral("Baud rate(bps)"), 1044, 14, 37, 69, 8);
    label(QStringLiteral("Set to same value; Inside of ( ) and paramter value of COMMUNIC."), 1040,
          18, 45, 222, 8);
    label(QStringLiteral("File name"), 0, 14, 106, 37, 8);
    label(QStringLiteral("Start Bank No."), 0, 86, 146, 52, 10);
    label(QStringLiteral("End Bank No."), 0, 87, 162, 51, 10);

    // A drop-down list: the closed box takes the height the font asks for; the dialog-unit
    // height is the box with its list dropped down, which sets how many items show at once.
    auto list = [&](int id, const QStringList& items, int x, int y, int w, int h) {
        auto* box = new QComboBox(this);
        box->setObjectName(ui::controlName(id));
        box->setEditable(false);
        box->addItems(items);
        int closed = box->sizeHint().height();
        box->setGeometry(du.x(x), du.y(y), du.x(w), closed);
        int itemHeight = QFontMetrics(font()).height() + 2;
        box->setMaxVisibleItems(std::max(1, (du.y(h) - closed) / itemHeight));
        return box;
    };
    auto button = [&](int id, const QString& caption, int x, int y, int w, int h) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(ui::controlName(id));
        b->setGeometry(du.rect(x, y, w, h));
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    auto tickBox = [&](int id, const QString& caption, int x, int y, int w, int h) {
        auto* t = new QCheckBox(caption, this);
        t->setObjectName(ui::controlName(id));
        t->setGeometry(du.rect(x, y, w, h));
        return t;
    };

    QStringList ports;
    for (int i = 1; i <= 9; ++i)
        ports << QStringLiteral("COM%1").arg(i);
    QStringList banks;
    for (int i = 0; i <= 14; ++i)
        banks << QString::number(i);

    // In tab order.
    portList_ = list(1000, ports, 18, 23, 46, 61);
    baudList_ =
        list(1002,
             {QStringLiteral("4800 (1)"), QStringLiteral("9600 (2)"), QStringLiteral("19200 (3)"),
              QStringLiteral("38400 (4)"), QStringLiteral("57600 (5)")},
             18, 55, 52, 53);
    connectButton_ = button(1037, QStringLiteral("CONNECT(Stop ZAR4)"), 31, 71, 96, 18);
    runButton_ = button(5, QStringLiteral("ZAR4 to RUN"), 139, 71, 78, 18);
    fileNameField_ = new QLineEdit(this);
    fileNameField_->setObjectName(QStringLiteral("id1004"));
    fileNameField_->setGeometry(du.rect(17, 115, 150, 15));
    refButton_ = button(1043, QStringLiteral("Ref."), 171, 115, 23, 15);
    parametersBox_ = tickBox(1006, QStringLiteral("Parameters"), 20, 146, 56, 8);
    patternsBox_ = tickBox(1007, QStringLiteral("Patterns"), 20, 162, 43, 8);
    startBankList_ = list(1041, banks, 139, 144, 39, 125);
    endBankList_ = list(1042, banks, 139, 160, 39, 110);
    readButton_ = button(3, QStringLiteral("READ from ZAR4"), 41, 176, 78, 18);
    writeButton_ = button(4, QStringLiteral("WRITE to ZAR4"), 131, 176, 78, 18);
    editParametersButton_ = button(1058, QStringLiteral("Edit Parameters"), 41, 200, 78, 18);
    editPatternsButton_ = button(1206, QStringLiteral("Edit Patterns"), 131, 200, 78, 18);
    exitButton_ = button(1, QStringLiteral("EXIT"), 181, 229, 54, 18);

    QWidget* tabOrder[] = {
        portList_,   baudList_,      connectButton_,        runButton_,          fileNameField_,
        refButton_,  parametersBox_, patternsBox_,          startBankList_,      endBankList_,
        readButton_, writeButton_,   editParametersButton_, editPatternsButton_, exitButton_};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    bindCommand(connectButton_, [this] { connectCommand(); });
    bindCommand(runButton_, [this] { runCommand(); });
    bindCommand(readButton_, [this] { readCommand(); });
    bindCommand(writeButton_, [this] { writeCommand(); });
    bindCommand(refButton_, [this] { pickBaseNameCommand(); });
    bindCommand(editParametersButton_, [this] { editParametersCommand(); });
    bindCommand(editPatternsButton_, [this] { editPatternsCommand(); });
    bindCommand(exitButton_, [this] { exitCommand(); });

    connect(portList_, &QComboBox::currentIndexChanged, this, [this] { showPortDevice(); });
}

// The COM names stay COM1 to COM9; the tooltip says which device the chosen one opens.
void CLoaderDlg::showPortDevice() {
    const int index = portList_->currentIndex();
    portList_->setToolTip(index < 0 ? QString() : qs(ports_.deviceFor(index + 1)));
}

void CLoaderDlg::applySettings(const LoaderSettings& s) {
    // A position that names no item leaves its list without a selection.
    auto select = [](QComboBox* box, int position) {
        box->setCurrentIndex(position >= 0 && position < box->count() ? position : -1);
    };
    select(portList_, s.portIndex);
    select(baudList_, s.baudIndex);
    select(startBankList_, s.firstBank);
    select(endBankList_, s.lastBank);
    parametersBox_->setChecked(s.includeParameters == 1);
    patternsBox_->setChecked(s.includePatterns == 1);
    penSize_ = s.penSize;
    setBaseNameField(qs(s.baseName));
}

LoaderSettings CLoaderDlg::currentSettings() const {
    LoaderSettings s;
    s.portIndex = portList_->currentIndex();
    s.baudIndex = baudList_->currentIndex();
    s.firstBank = startBankList_->currentIndex();
    s.lastBank = endBankList_->currentIndex();
    s.includeParameters = parametersBox_->isChecked() ? 1 : 0;
    s.includePatterns = patternsBox_->isChecked() ? 1 : 0;
    s.penSize = penSize_;
    s.baseName = fileNameField_->text().toStdString();
    return s;
}

void CLoaderDlg::setLinkState(LinkState state) {
    state_ = state;
    const bool connected = state == LinkState::Connected;
    // Enable before disabling, so that the focus never falls out of the window.
    for (QWidget* w : {static_cast<QWidget*>(runButton_), static_cast<QWidget*>(readButton_),
                       static_cast<QWidget*>(writeButton_)})
        w->setEnabled(connected);
    for (QWidget* w : {static_cast<QWidget*>(portList_), static_cast<QWidget*>(baudList_),
                       static_cast<QWidget*>(connectButton_)})
        w->setEnabled(!connected);
}

void CLoaderDlg::setBaseNameField(const QString& text) {
    fileNameField_->setText(text);
    // Select the last path component, the caret at the end of the text and in view.
    const std::string utf8 = text.toStdString();
    const int start = qs(utf8.substr(0, lastComponentStart(utf8))).size();
    fileNameField_->setSelection(start, text.size() - start);
}

void CLoaderDlg::connectCommand() {
    if (connectSensor(link_, comPort(portList_->currentIndex() + 1, ports_),
                      baudList_->currentIndex(), messages_)) {
        setLinkState(LinkState::Connected);
        runButton_->setFocus();
    }
}

void CLoaderDlg::runCommand() {
    returnToRun(link_, messages_);
    // Whether or not the sensor answered, the port is closed now.
    setLinkState(LinkState::NotConnected);
    connectButton_->setFocus();
}

void CLoaderDlg::returnToRunBeforeStopping(std::ostream& errors) {
    if (state_ != LinkState::Connected)
        return;
    // Writes each would-be box to the stream: "zar4loader: <text>".
    class StreamMessages : public MessageService {
    public:
        explicit StreamMessages(std::ostream& out) : out_(out) {}
        BoxAnswer show(const std::string&, const std::string& text, BoxIcon,
                       BoxButtons buttons) override {
            out_ << "zar4loader: " << text << std::endl;
            return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
        }

    private:
        std::ostream& out_;
    } messages(errors);
    returnToRun(link_, messages);
    setLinkState(LinkState::NotConnected);
}

// A name without a file name of its own is refused before anything is asked or sent.
bool CLoaderDlg::baseNameRefused(const std::string& base) {
    const std::string problem = baseNameProblem(base);
    if (problem.empty())
        return false;
    messages_.error(std::string(texts::kFailedToCreateFile) + "\n" + problem);
    return true;
}

void CLoaderDlg::startTransfer(bool write) {
    TransferRequest request;
    request.operation = write ? Operation::Write : Operation::Read;
    request.baseName = fileNameField_->text().toStdString();
    request.includeParameters = parametersBox_->isChecked();
    request.includePatterns = patternsBox_->isChecked();
    request.firstBank = startBankList_->currentIndex();
    request.lastBank = endBankList_->currentIndex();
    CComuDlg progress(request, link_, messages_, this);
    progress.exec();
    // However it ended, the link stays connected.
}

void CLoaderDlg::readCommand() {
    if (baseNameRefused(fileNameField_->text().toStdString()))
        return;
    startTransfer(false);
}

void CLoaderDlg::writeCommand() {
    if (baseNameRefused(fileNameField_->text().toStdString()))
        return;
    if (messages_.show(texts::kAgreeToOverwriteSensorTitle, texts::kAgreeToOverwriteSensor,
                       BoxIcon::Exclamation, BoxButtons::YesNo) != BoxAnswer::Yes)
        return;
    startTransfer(true);
}

void CLoaderDlg::pickBaseNameCommand() {
    // Disabling the window takes the focus from its control: it goes back there afterwards.
    QPointer<QWidget> focused = focusWidget();
    setEnabled(false);
    // The dialog opens where the backup in the field lies, also after a restart.
    const std::string startFolder = existingBaseNameFolder(fileNameField_->text().toStdString());
    std::optional<std::string> chosen =
        fileDialog_ ? fileDialog_(dataFileFilters(), startFolder) : std::nullopt;
    setEnabled(true);
    activateWindow();
    if (focused)
        focused->setFocus();
    if (!chosen)
        return;
    // The operator reads and types paths with the system's separators (C:\data\line1).
    setBaseNameField(qs(withSystemSeparators(cutDataFileSuffix(*chosen))));
}

void CLoaderDlg::editParametersCommand() {
    const std::string base = fileNameField_->text().toStdString();
    if (editParametersHook_)
        editParametersHook_(this, base, messages_);
    else
        editParameters(this, base, messages_);
}

void CLoaderDlg::editPatternsCommand() {
    const std::string base = fileNameField_->text().toStdString();
    if (editPatternsHook_)
        editPatternsHook_(this, base, messages_, penSize_);
    else
        editPatterns(this, base, penSize_, messages_);
}

void CLoaderDlg::exitCommand() {
    if (messages_.show("Question", "Agree to Exit?", BoxIcon::Question, BoxButtons::YesNo) !=
        BoxAnswer::Yes)
        return;
    offerRunBeforeLeaving();
    // The program ends whether or not the settings could be written.
    saveSettingsTo(settingsFile_, currentSettings(), messages_);
    accept();
}

// Leaving the sensor stopped halts the production line: while connected, the operator is
// asked whether to send it back to run first, as "ZAR4 to RUN" does.
void CLoaderDlg::offerRunBeforeLeaving() {
    if (state_ != LinkState::Connected)
        return;
    if (messages_.show("Question", kRunBeforeExitQuestion, BoxIcon::Question, BoxButtons::YesNo) ==
        BoxAnswer::Yes)
        runCommand();
}

void CLoaderDlg::closeEvent(QCloseEvent* event) {
    // The close box ends the program without the exit question and without saving.
    offerRunBeforeLeaving();
    ui::KeyRuleDialog::closeEvent(event);
}

QIcon CLoaderDlg::programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        // The sensor's housing.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 56, 88));
        p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
        // Its lens, split into the three colour channels it sees.
        const QRectF lens(s * 0.2, s * 0.2, s * 0.6, s * 0.6);
        const QColor channels[] = {QColor(220, 50, 50), QColor(60, 180, 75), QColor(50, 100, 220)};
        for (int i = 0; i < 3; ++i) {
            p.setBrush(channels[i]);
            p.drawPie(lens, (90 + i * 120) * 16, 120 * 16);
        }
        p.setBrush(QColor(20, 20, 28));
        p.drawEllipse(lens.center(), s * 0.11, s * 0.11);
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(QPointF(s * 0.42, s * 0.40), s * 0.04, s * 0.04);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

CLoaderApp::CLoaderApp(std::string programFile) : programFile_(std::move(programFile)) {}

int CLoaderApp::run(const std::function<void(CLoaderDlg&)>& wire) {
    // SIGTERM, SIGHUP and the like stop a transfer as CANCEL does and close the windows.
    StopSignalCloser stopSignals;
    ui::QtMessageService messages;
    // Which device stands behind each COM name is known before the window opens.
    const ConfigPlaces places = configPlacesFor(programFile_);
    const std::string portMapPath = portMapPathIn(places);
    std::optional<PortMap> ports = PortMap::load(portMapPath);
    if (!ports)
        messages.error("Failed to read the COM port map " + portMapPath + ".");

    CLoaderDlg window(messages, systemFileOpenDialog, settingsPathIn(places),
                      ports.value_or(PortMap()));
    messages.setOwner(&window);
    if (wire)
        wire(window);
    window.exec(); // its result is not looked at
    return 0;
}

} // namespace zar4
