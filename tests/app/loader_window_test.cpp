// The main window as an operator uses it: its start state from the settings file, the link
// commands against a simulated sensor, READ and WRITE through the progress window, "Ref.",
// the key rule, and the two ways out.

#include "app/loader_window.h"
#include "common/sha256.h"
#include "common/version.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "link/protocol.h"
#include "link/serial_port.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"
#include "transfer/manifest_check.h"
#include "transfer/manifest_recorder.h"
#include "transfer/progress_window.h"
#include "transfer/transfer_texts.h"
#include "ui/dialog_units.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int lineCount(const std::string& text) {
    int lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++lines;
            if (i > 0 && text[i - 1] == '\r')
                return -1; // a line end with a carriage return
        }
    }
    return lines;
}

// While the window under test runs a modal progress window, `step` is called every 10 ms
// with it until `step` returns true.
void duringProgress(std::function<bool(CComuDlg&)> step) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
        auto* progress = qobject_cast<CComuDlg*>(QApplication::activeModalWidget());
        if (progress && progress->isVisible() && step(*progress)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

QString statusOf(CComuDlg& progress) {
    return progress.findChild<QLabel*>(QStringLiteral("id1051"))->text();
}
QPushButton* okOf(CComuDlg& progress) {
    return progress.findChild<QPushButton*>(QStringLiteral("id1"));
}
QPushButton* cancelOf(CComuDlg& progress) {
    return progress.findChild<QPushButton*>(QStringLiteral("id1052"));
}

// Presses OK once the transfer has ended, noting what the window showed then.
void pressOkAtTheEnd(QString* status) {
    duringProgress([status](CComuDlg& progress) {
        if (!progress.transferEnded())
            return false;
        *status = statusOf(progress);
        EXPECT_TRUE(okOf(progress)->isEnabled());
        EXPECT_FALSE(cancelOf(progress)->isEnabled());
        EXPECT_TRUE(okOf(progress)->hasFocus());
        QTest::mouseClick(okOf(progress), Qt::LeftButton);
        return true;
    });
}

class LoaderWindowTest : public ::testing::Test {
protected:
    TempFolder temp{"zar4-loader"};
    const fs::path folder{temp.path()};
    ScriptedMessages messages;
    std::vector<std::optional<std::string>> dialogAnswers; // what the file dialog returns
    std::vector<std::vector<FileFilter>> dialogFilters;    // what it was shown
    std::vector<std::string> dialogFolders;                // where it was to open
    bool windowEnabledDuringDialog = true;
    std::unique_ptr<CLoaderDlg> window;
    PortMap ports; // the window's, from when it opens

    void TearDown() override {
        window.reset();
        messages.verify();
    }

    std::string settingsFile() const { return folder / "zar4loader.ini"; }
    std::string base() const { return folder / "line1"; }

    void open() {
        window = std::make_unique<CLoaderDlg>(
            messages,
            [this](const std::vector<FileFilter>& filters, const std::string& startFolder) {
                dialogFilters.push_back(filters);
                dialogFolders.push_back(startFolder);
                windowEnabledDuringDialog = window->isEnabled();
                EXPECT_FALSE(dialogAnswers.empty()) << "file dialog not scripted";
                if (dialogAnswers.empty())
                    return std::optional<std::string>();
                auto answer = dialogAnswers.front();
                dialogAnswers.erase(dialogAnswers.begin());
                return answer;
            },
            settingsFile(), ports);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <class T> T* control(int id) {
        T* c = window->findChild<T*>(QStringLiteral("id%1").arg(id));
        EXPECT_NE(c, nullptr) << "control " << id;
        return c;
    }
    QComboBox* portList() { return control<QComboBox>(1000); }
    QComboBox* baudList() { return control<QComboBox>(1002); }
    QPushButton* connectButton() { return control<QPushButton>(1037); }
    QPushButton* runButton() { return control<QPushButton>(5); }
    QLineEdit* field() { return control<QLineEdit>(1004); }
    QPushButton* refButton() { return control<QPushButton>(1043); }
    QCheckBox* parametersBox() { return control<QCheckBox>(1006); }
    QCheckBox* patternsBox() { return control<QCheckBox>(1007); }
    QComboBox* startBank() { return control<QComboBox>(1041); }
    QComboBox* endBank() { return control<QComboBox>(1042); }
    QPushButton* readButton() { return control<QPushButton>(3); }
    QPushButton* writeButton() { return control<QPushButton>(4); }
    QPushButton* exitButton() { return control<QPushButton>(1); }

    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void key(QWidget* target, Qt::Key k) {
        target->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(target->hasFocus());
        QTest::keyClick(target, k);
        QApplication::processEvents();
    }
    // Chooses a list item as the operator does from the keyboard.
    void choose(QComboBox* list, int position) {
        list->setFocus();
        while (list->currentIndex() < position)
            QTest::keyClick(list, Qt::Key_Down);
        while (list->currentIndex() > position)
            QTest::keyClick(list, Qt::Key_Up);
    }
    void type(QLineEdit* line, const QString& text) {
        line->setFocus();
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        QTest::keyClicks(line, text);
    }

    void expectLinkState(bool connected) {
        EXPECT_EQ(window->linkState(), connected ? CLoaderDlg::LinkState::Connected
                                                 : CLoaderDlg::LinkState::NotConnected);
        EXPECT_EQ(portList()->isEnabled(), !connected);
        EXPECT_EQ(baudList()->isEnabled(), !connected);
        EXPECT_EQ(connectButton()->isEnabled(), !connected);
        EXPECT_EQ(runButton()->isEnabled(), connected);
        EXPECT_EQ(readButton()->isEnabled(), connected);
        EXPECT_EQ(writeButton()->isEnabled(), connected);
        for (QWidget* always :
             {static_cast<QWidget*>(field()), static_cast<QWidget*>(refButton()),
              static_cast<QWidget*>(parametersBox()), static_cast<QWidget*>(patternsBox()),
              static_cast<QWidget*>(startBank()), static_cast<QWidget*>(endBank()),
              static_cast<QWidget*>(exitButton())})
            EXPECT_TRUE(always->isEnabled());
    }
};

TEST_F(LoaderWindowTest, OpensWithoutSettingsFileInTheDefaultStateAndLayout) {
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ZAR4 Data Loader ver.1.0"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->font().family(), QStringLiteral("Arial"));
    const ui::DialogUnits du(window->font());
    EXPECT_EQ(window->size(), QSize(du.x(251), du.y(253)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

    EXPECT_EQ(portList()->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(baudList()->currentText(), QStringLiteral("57600 (5)"));
    EXPECT_EQ(startBank()->currentText(), QStringLiteral("0"));
    EXPECT_EQ(endBank()->currentText(), QStringLiteral("14"));
    EXPECT_TRUE(parametersBox()->isChecked());
    EXPECT_TRUE(patternsBox()->isChecked());
    EXPECT_EQ(field()->text(), QStringLiteral("Untitled"));
    EXPECT_EQ(field()->selectedText(), QStringLiteral("Untitled"));
    EXPECT_EQ(window->penSize(), 1);
    expectLinkState(false);
    EXPECT_EQ(QApplication::focusWidget(), portList());

    // Laid out in dialog units (the rendered picture shows the rest).
    EXPECT_EQ(connectButton()->geometry(), du.rect(31, 71, 96, 18));
    EXPECT_EQ(exitButton()->geometry(), du.rect(181, 229, 54, 18));

    // No default button, and the tab order of the layout.
    for (auto* button : window->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
    }
    std::vector<QString> order;
    QWidget* w = portList();
    do {
        if (w->objectName().startsWith(QStringLiteral("id")) && w->focusPolicy() != Qt::NoFocus)
            order.push_back(w->objectName());
        w = w->nextInFocusChain();
    } while (w != portList());
    EXPECT_EQ(order, (std::vector<QString>{"id1000", "id1002", "id1037", "id5", "id1004", "id1043",
                                           "id1006", "id1007", "id1041", "id1042", "id3", "id4",
                                           "id1058", "id1206", "id1"}));
}

TEST_F(LoaderWindowTest, SettingsFilePutsItsValuesIntoTheControls) {
    writeAll(settingsFile(), "9\r\nabc\r\n7\r\n3\r\n0\r\n1\r\n10\r\n/data/op/line1");
    open();
    EXPECT_EQ(portList()->currentIndex(), -1); // position 9 names no item
    EXPECT_EQ(baudList()->currentText(), QStringLiteral("4800 (1)"));
    EXPECT_EQ(startBank()->currentText(), QStringLiteral("7"));
    EXPECT_EQ(endBank()->currentText(), QStringLiteral("3"));
    EXPECT_FALSE(parametersBox()->isChecked());
    EXPECT_TRUE(patternsBox()->isChecked());
    EXPECT_EQ(window->penSize(), 10);
    EXPECT_EQ(field()->text(), QStringLiteral("/data/op/line1"));
    EXPECT_EQ(field()->selectedText(), QStringLiteral("line1"));
    EXPECT_EQ(field()->cursorPosition(), field()->text().size());

    // CONNECT without a port finds none.
    messages.expectError("Failed to open COM port.");
    click(connectButton());
    expectLinkState(false);
}

TEST_F(LoaderWindowTest, ExitYesSavesWhatTheControlsShowByteForByte) {
    writeAll(settingsFile(), "-1\n4\n0\n14\n1\n1\n1\nUntitled");
    open();
    EXPECT_EQ(portList()->currentText(), QStringLiteral("COM1"));
    choose(portList(), 2);
    choose(baudList(), 1);
    choose(startBank(), 3);
    choose(endBank(), 12);
    click(patternsBox());
    type(field(), QStringLiteral("/data/op/run 7"));
    window->penSize() = 4; // as the pattern editor leaves it

    messages.expect("Question", "Agree to Exit?", BoxAnswer::Yes);
    click(exitButton());
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].icon, BoxIcon::Question);
    EXPECT_EQ(messages.shown()[0].buttons, BoxButtons::YesNo);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(readAll(settingsFile()), "2\n1\n3\n12\n1\n0\n4\n/data/op/run 7");

    // The next start shows them again; an empty field is saved as seven lines.
    open();
    EXPECT_EQ(portList()->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(window->penSize(), 4);
    type(field(), QString());
    messages.expect("Question", "Agree to Exit?", BoxAnswer::Yes);
    key(exitButton(), Qt::Key_Return); // Enter on EXIT is EXIT
    EXPECT_EQ(readAll(settingsFile()), "2\n1\n3\n12\n1\n0\n4\n");
    open();
    EXPECT_EQ(field()->text(), QString());
}

TEST_F(LoaderWindowTest, ExitNoEscapeAndTheCloseBoxSaveNothing) {
    open();
    choose(portList(), 4);
    messages.expect("Question", "Agree to Exit?", BoxAnswer::No);
    click(exitButton());
    EXPECT_TRUE(window->isVisible());

    key(field(), Qt::Key_Escape);
    key(portList(), Qt::Key_Escape);
    key(exitButton(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());

    // The close box: no question, nothing saved, the Cancel result.
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_FALSE(fs::exists(settingsFile()));
    open();
    EXPECT_EQ(portList()->currentText(), QStringLiteral("COM1"));
}

TEST_F(LoaderWindowTest, ExitEndsTheProgramEvenWhenTheSettingsCannotBeWritten) {
    fs::create_directory(settingsFile()); // a folder stands where the file should be
    open();
    messages.expect("Question", "Agree to Exit?", BoxAnswer::Yes);
    messages.expectError("Failed to write a setup file.\n" + settingsFile() + ": is a folder");
    click(exitButton());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(fs::is_directory(settingsFile()));
}

TEST_F(LoaderWindowTest, EnterActsOnlyOnFocusedButtons) {
    open();
    const QString before = field()->text();
    key(field(), Qt::Key_Return);
    key(portList(), Qt::Key_Return);
    key(startBank(), Qt::Key_Enter);
    EXPECT_EQ(portList()->currentIndex(), 0);
    EXPECT_EQ(startBank()->currentIndex(), 0);
    key(parametersBox(), Qt::Key_Return);
    EXPECT_TRUE(parametersBox()->isChecked()); // Enter does not tick
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(field()->text(), before);

    // Enter on "Ref." runs it.
    dialogAnswers.push_back(std::nullopt);
    key(refButton(), Qt::Key_Return);
    EXPECT_EQ(dialogFilters.size(), 1u);
}

TEST_F(LoaderWindowTest, RefTakesTheBaseNameOfTheChosenDataFile) {
    open();
    const std::string dir = "/data/op/";
    struct Case {
        std::string chosen;
        std::string field;
        std::string selected;
    } cases[] = {
        {dir + "line1.pr3.zar4", dir + "line1", "line1"},
        {dir + "line1.cmp.bmp", dir + "line1", "line1"},
        {dir + "line1.ptE.bmp", dir + "line1", "line1"},
        {dir + "a.xyz.bmp", dir + "a", "a"},
        {dir + "LINE1.PR3.ZAR4", dir + "LINE1.PR3.ZAR4", "LINE1.PR3.ZAR4"},
        {dir + "notes.txt", dir + "notes.txt", "notes.txt"},
        {"C:\\zar4\\line2.prM.zar4", "C:\\zar4\\line2", "line2"},
    };
    for (const Case& c : cases) {
        dialogAnswers.push_back(c.chosen);
        click(refButton());
        EXPECT_EQ(field()->text().toStdString(), c.field);
        EXPECT_EQ(field()->selectedText().toStdString(), c.selected);
        EXPECT_EQ(field()->cursorPosition(), field()->text().size());
        EXPECT_TRUE(window->isEnabled());
        EXPECT_EQ(QApplication::focusWidget(), refButton());
    }
    EXPECT_FALSE(windowEnabledDuringDialog);
    ASSERT_FALSE(dialogFilters.empty());
    EXPECT_EQ(dialogFilters[0].size(), 4u);
    EXPECT_EQ(dialogFilters[0][0].text, "ZAR4 Files ( *.zar4 *.bmp )");

    // Cancelled: the field keeps its text.
    dialogAnswers.push_back(std::nullopt);
    click(refButton());
    EXPECT_EQ(field()->text().toStdString(), "C:\\zar4\\line2");
}

// After a restart too: the base name comes back from the settings file.
TEST_F(LoaderWindowTest, RefOpensItsDialogInTheFolderOfTheBaseNameWhenThatFolderExists) {
    const std::string backups = folder / "backups";
    fs::create_directory(backups);
    writeAll(settingsFile(), "0\n4\n0\n14\n1\n1\n1\n" + backups + "/line1");
    open();
    const std::string missing = backups + "/gone/line1";
    for (const std::string& text : {missing, std::string("line1")}) {
        dialogAnswers.push_back(std::nullopt);
        click(refButton());
        type(field(), QString::fromStdString(text));
    }
    dialogAnswers.push_back(std::nullopt);
    click(refButton());
    EXPECT_EQ(dialogFolders, (std::vector<std::string>{backups, "", ""}));
}

TEST_F(LoaderWindowTest, TheFileDialogOffersTheFourFiltersAndReturnsTheChosenFile) {
    const std::string chosen = folder / "line1.pr3.zar4";
    writeAll(chosen, "0\n");
    QStringList offered;
    QString selectedFilter;
    QString openedIn;
    auto answer = [&](bool accept) {
        QTimer::singleShot(0, [&, accept] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            offered = dialog->nameFilters();
            selectedFilter = dialog->selectedNameFilter();
            openedIn = dialog->directory().absolutePath();
            dialog->setDirectory(QString::fromStdString(folder.string()));
            dialog->selectFile(QString::fromStdString(chosen));
            QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
        });
    };
    answer(true);
    EXPECT_EQ(systemFileOpenDialog(dataFileFilters(), folder.string()), chosen);
    EXPECT_EQ(openedIn.toStdString(), folder.string());
    ASSERT_EQ(offered.size(), 4);
    // The operator sees the filter's own text; the patterns behind it stay hidden.
    EXPECT_EQ(selectedFilter.toStdString(), "ZAR4 Files ( *.zar4 *.bmp )");
    EXPECT_EQ(offered[0], QStringLiteral("ZAR4 Files ( *.zar4 *.bmp ) (*.zar4 *.bmp)"));
    // Every file, also one without a dot in its name.
    EXPECT_EQ(offered[3], QStringLiteral("All files(*.*) (*)"));

    answer(false);
    EXPECT_EQ(systemFileOpenDialog(dataFileFilters()), std::nullopt);

    // A new backup: the operator types the name of a file that is not there yet and presses
    // Enter; the dialog takes it, since only its base name matters.
    const std::string typed = folder / "line2.pr0.zar4";
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(QString::fromStdString(folder.string()));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("line2.pr0.zar4"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    // Should the dialog refuse the name (and say so in a box of its own), everything still
    // open is closed here, so the test fails instead of waiting for an operator. The guard
    // ends the timer with this test, so it never closes a window of a later one.
    QObject guard;
    QTimer::singleShot(3000, &guard, [] {
        while (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            open->reject();
    });
    EXPECT_EQ(systemFileOpenDialog(dataFileFilters()), typed);
}

TEST_F(LoaderWindowTest, EditorButtonsHandTheFieldAndThePenSizeToTheEditors) {
    open();
    type(field(), QStringLiteral("/data/op/line9"));
    std::string parametersBase;
    QWidget* parametersParent = nullptr;
    window->setEditParametersHook(
        [&](QWidget* parent, const std::string& name, MessageService& service) {
            parametersParent = parent;
            parametersBase = name;
            EXPECT_EQ(&service, &messages);
        });
    window->setEditPatternsHook(
        [&](QWidget*, const std::string& name, MessageService&, int& penSize) {
            EXPECT_EQ(name, "/data/op/line9");
            EXPECT_EQ(penSize, 1);
            penSize = 6; // the operator picked another pen in the editor
        });
    click(control<QPushButton>(1058));
    EXPECT_EQ(parametersBase, "/data/op/line9");
    EXPECT_EQ(parametersParent, window.get());
    key(control<QPushButton>(1206), Qt::Key_Return);
    EXPECT_EQ(window->penSize(), 6);
    EXPECT_EQ(window->currentSettings().penSize, 6);
}

// Without stand-ins the two buttons open the real editors over the main window, with the base
// name of the field.
TEST_F(LoaderWindowTest, EditorButtonsOpenTheEditorsOfTheFieldsBaseName) {
    open();
    type(field(), QString::fromStdString(base()));

    messages.expectError("Patterns file is not found.\n" + base() + ".pt0.bmp to " + base() +
                         ".ptE.bmp: none of them can be read");
    click(control<QPushButton>(1206));
    messages.verify();

    messages.expectQuestion("Bank parameters file and Common parameters file are not found. "
                            "Create an initial data. Do you agree?",
                            false);
    messages.expectNotice("Bank parameters file and Common parameters file are not found.");
    click(control<QPushButton>(1058));
    messages.verify();

    // With initial data agreed to, the parameter editor opens modally over the main window.
    QString parameterTitle;
    QTimer::singleShot(50, [&] {
        QWidget* editor = QApplication::activeModalWidget();
        ASSERT_NE(editor, nullptr);
        parameterTitle = editor->windowTitle();
        EXPECT_EQ(editor->parentWidget(), window.get());
        editor->close(); // the close box: nothing saved
    });
    messages.expectQuestion("Bank parameters file and Common parameters file are not found. "
                            "Create an initial data. Do you agree?",
                            true);
    click(control<QPushButton>(1058));
    EXPECT_EQ(parameterTitle, QStringLiteral("Edit Parameters"));
    EXPECT_FALSE(fs::exists(base() + ".prM.zar4"));

    // One pattern file is enough for the pattern editor to open on it.
    PatternImage image;
    ASSERT_TRUE(savePattern(base() + ".pt4.bmp", image));
    QString patternTitle;
    QTimer::singleShot(50, [&] {
        QWidget* editor = QApplication::activeModalWidget();
        ASSERT_NE(editor, nullptr);
        patternTitle = editor->windowTitle();
        auto* exit = editor->findChild<QPushButton*>(QStringLiteral("id1"));
        ASSERT_NE(exit, nullptr);
        QTest::mouseClick(exit, Qt::LeftButton);
    });
    click(control<QPushButton>(1206));
    EXPECT_EQ(patternTitle, QStringLiteral("Edit Patterns"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The COM names stay COM1 to COM9; the port list's tooltip names the device behind the one
// chosen, from the port map.
TEST_F(LoaderWindowTest, ThePortListTooltipNamesTheDeviceOfTheChosenPort) {
    ports.set(3, "/dev/serial/by-id/usb-line3");
    open();
    EXPECT_EQ(portList()->toolTip().toStdString(), defaultDeviceForPort(1));
    choose(portList(), 2);
    EXPECT_EQ(portList()->toolTip(), QStringLiteral("/dev/serial/by-id/usb-line3"));
}

TEST_F(LoaderWindowTest, RenderMainWindow) {
    writeAll(settingsFile(), "0\n4\n3\n3\n1\n0\n1\n/data/op/line1");
    open();
    QDir().mkpath(QStringLiteral("render"));
    const QString file = QStringLiteral("render/main_window.png");
    QFile::remove(file);
    ASSERT_TRUE(window->grab().save(file));
    QImage image(file);
    EXPECT_EQ(image.size(), window->size());
}

TEST_F(LoaderWindowTest, StartUpLoadsThePortMapAndTheSettingsBesideTheProgram) {
    const std::string program = folder / "zar4loader";
    writeAll(program + ".ports", "# the line's adapter\nCOM4=/dev/ttyUSB7\n");
    writeAll(program + ".ini", "3\n4\n0\n14\n1\n1\n1\nline9");
    bool ran = false;
    int result = CLoaderApp(program).run([&](CLoaderDlg& opened) {
        ran = true;
        EXPECT_EQ(opened.portMap().deviceFor(4), "/dev/ttyUSB7"); // known before it opens
        EXPECT_EQ(opened.currentSettings().portIndex, 3);
        EXPECT_EQ(opened.currentSettings().baseName, "line9");
        EXPECT_TRUE(opened.parentWidget() == nullptr);
        QTimer::singleShot(0, &opened, [&opened] { opened.close(); });
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(result, 0);

    // A port map that cannot be read is reported before the window opens.
    fs::remove(program + ".ports");
    fs::create_directory(program + ".ports");
    QString reported;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            reported = box->windowTitle() + ": " + box->text();
            box->accept();
        }
    });
    poll.start(10);
    CLoaderApp(program).run(
        [](CLoaderDlg& opened) { QTimer::singleShot(0, &opened, [&opened] { opened.close(); }); });
    EXPECT_EQ(reported.toStdString(),
              "Error: Failed to read the COM port map " + program + ".ports.");
}

// With a simulated sensor behind COM1.
class LoaderLinkTest : public LoaderWindowTest {
protected:
    std::unique_ptr<sim::SimServer> sensor;

    void startSensor(sim::SimOptions options = {}) {
        sensor = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sensor->start());
        ports.set(1, sensor->devicePath());
    }
    void TearDown() override {
        LoaderWindowTest::TearDown();
        sensor.reset();
    }
    void connectYes() {
        messages.expectQuestion("Agree to stop operation of ZAR4?", true);
        click(connectButton());
        ASSERT_EQ(window->linkState(), CLoaderDlg::LinkState::Connected);
    }
    void readNow(QString* status) {
        pressOkAtTheEnd(status);
        click(readButton());
    }
};

TEST_F(LoaderLinkTest, ConnectAndReturnToRun) {
    startSensor();
    open();
    messages.expectQuestion("Agree to stop operation of ZAR4?", true);
    key(connectButton(), Qt::Key_Return);
    expectLinkState(true);
    EXPECT_EQ(QApplication::focusWidget(), runButton());
    EXPECT_TRUE(window->link().isOpen());
    EXPECT_EQ(window->link().currentPort(), "COM1");
    auto sent = sensor->receivedBytes();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], 0x88); // Stop
    EXPECT_EQ(sent.back(), 0x77);
    bool pcMode = false;
    sensor->withModel([&](sim::SensorModel& m) { pcMode = m.pcMode; });
    EXPECT_TRUE(pcMode);

    sensor->clearLog();
    click(runButton());
    expectLinkState(false);
    EXPECT_EQ(QApplication::focusWidget(), connectButton());
    EXPECT_FALSE(window->link().isOpen());
    EXPECT_EQ(sensor->receivedBytes(), (std::vector<std::uint8_t>{0x87, 0x78}));
}

TEST_F(LoaderLinkTest, ConnectRefusedOrImpossibleLeavesThePortClosed) {
    startSensor();
    ports.set(2, sensor->devicePath());
    ports.set(3, (folder / "no-such-device").string());
    open();
    // No to the question: closed again, so that the next CONNECT can open it.
    messages.expectQuestion("Agree to stop operation of ZAR4?", false);
    click(connectButton());
    expectLinkState(false);
    EXPECT_FALSE(window->link().isOpen());
    EXPECT_TRUE(sensor->receivedBytes().empty());

    // Someone else holds the line.
    SerialLink holder; // another loader on the line
    ASSERT_TRUE(holder.open(comPort(2, ports)));
    messages.expectError("Failed to open COM port.\n" + sensor->devicePath() +
                         ": in use by another process");
    click(connectButton());
    expectLinkState(false);
    holder.close();

    // No baud rate chosen.
    baudList()->setCurrentIndex(-1);
    messages.expectQuestion("Agree to stop operation of ZAR4?", true);
    messages.expectError("Baud rate setting is invalid.");
    click(connectButton());
    expectLinkState(false);
    EXPECT_FALSE(window->link().isOpen());

    // The sensor at 57600 bit/s, the line at 19200: a garbled answer, and the rate is named
    // as the likely cause in the rate list's words.
    choose(baudList(), 2);
    messages.expectQuestion("Agree to stop operation of ZAR4?", true);
    messages.expectError("Recieved an invalid communication response.\nCOM1 (" +
                         sensor->devicePath() +
                         ") at 19200 bit/s: a garbled answer to the mode request. Most likely the "
                         "rate differs from the sensor's COMMUNIC setting (19200 bit/s needs "
                         "COMMUNIC 3, \"19200 (3)\" in the rate list); or another program holds "
                         "the line.");
    click(connectButton());
    expectLinkState(false);

    // A port whose device does not exist.
    choose(baudList(), 4);
    choose(portList(), 2);
    messages.expectError("Failed to open COM port.\n" + (folder / "no-such-device").string() +
                         ": no such device");
    click(connectButton());
    expectLinkState(false);

    choose(portList(), 0);
    connectYes();
    expectLinkState(true);
}

// The two cases that wait for the sensor's one-second time-out.
TEST_F(LoaderLinkTest, SensorSilentAtConnectOrGoneAtRun) {
    sim::SimOptions options;
    options.faults.push_back({sim::Fault::Kind::NoReply, 0x43, 1, -1, 1});
    startSensor(options);
    open();
    messages.expectQuestion("Agree to stop operation of ZAR4?", true);
    const std::string where = "COM1 (" + sensor->devicePath() + ") at 57600 bit/s: ";
    messages.expectError("No communication response.\n" + where +
                         "no answer to the mode request. Is the sensor on and its cable plugged "
                         "in? Does the rate match the sensor's COMMUNIC setting (57600 bit/s "
                         "needs COMMUNIC 5, \"57600 (5)\" in the rate list)? Does another "
                         "program hold the line?");
    QElapsedTimer clock;
    clock.start();
    click(connectButton());
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 3000);
    expectLinkState(false);
    EXPECT_FALSE(window->link().isOpen());

    connectYes(); // the fault was for the first mode request only
    expectLinkState(true);

    // The sensor is unplugged: the failure is shown and the window is not connected anyway.
    sensor->stop();
    messages.expectError("No communication response.\n" + where +
                         "no reply to Run. The sensor hears Run only in PC communication mode: "
                         "it may be in run mode already, or be off or unplugged.");
    click(runButton());
    expectLinkState(false);
    EXPECT_EQ(QApplication::focusWidget(), connectButton());
    EXPECT_FALSE(window->link().isOpen());
}

TEST_F(LoaderLinkTest, ReadParametersTwiceAndRefuseTheThirdOverwrite) {
    startSensor();
    writeAll(settingsFile(), "0\n4\n3\n3\n1\n0\n1\n" + base());
    open();
    connectYes();

    QString status;
    readButton()->setFocus();
    pressOkAtTheEnd(&status);
    key(readButton(), Qt::Key_Return); // Enter on READ starts a read
    EXPECT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));
    const std::string bankFile = readAll(base() + ".pr3.zar4");
    EXPECT_EQ(lineCount(bankFile), 32);
    EXPECT_EQ(lineCount(readAll(base() + ".prM.zar4")), 5);
    EXPECT_FALSE(fs::exists(base() + ".pr2.zar4"));
    EXPECT_FALSE(fs::exists(base() + ".pt3.bmp"));
    expectLinkState(true);

    // A second READ needs no new CONNECT; the first existing file is asked about once.
    messages.expectQuestion("Found same filename. Do you overwrite?", true);
    readNow(&status);
    EXPECT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));
    EXPECT_EQ(readAll(base() + ".pr3.zar4"), bankFile);

    // No: the window closes at once, without a message.
    messages.expectQuestion("Found same filename. Do you overwrite?", false);
    bool sawProgress = false;
    duringProgress([&](CComuDlg&) { return sawProgress = true; });
    click(readButton());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(sawProgress);
    expectLinkState(true);
}

TEST_F(LoaderLinkTest, CancelDuringAPatternEndsTheReadWithAborted) {
    sim::SimOptions options;
    options.slowByteDelayUs = 20; // long enough a pattern to click into
    startSensor(options);
    writeAll(settingsFile(), "0\n4\n2\n2\n0\n1\n1\n" + base());
    open();
    connectYes();
    int positionAtCancel = -1;
    QString status;
    duringProgress([&](CComuDlg& progress) {
        auto* bar = progress.findChild<QProgressBar*>(QStringLiteral("id1050"));
        if (positionAtCancel < 0) {
            if (statusOf(progress) != QStringLiteral("Reading Patterns") || bar->value() < 20)
                return false;
            EXPECT_EQ(progress.findChild<QLabel*>(QStringLiteral("id1053"))->text(),
                      QStringLiteral("Bank No. = 2"));
            positionAtCancel = bar->value();
            QTest::mouseClick(cancelOf(progress), Qt::LeftButton);
            return false;
        }
        if (!progress.transferEnded())
            return false;
        status = statusOf(progress);
        EXPECT_TRUE(okOf(progress)->isEnabled());
        EXPECT_FALSE(cancelOf(progress)->isEnabled());
        QTest::keyClick(&progress, Qt::Key_Escape); // closes it now that the read has ended
        return true;
    });
    click(readButton());
    EXPECT_EQ(status, QStringLiteral("Aborted."));
    EXPECT_GT(positionAtCancel, 0);
    // The pattern that was cut short is not left behind as a file.
    EXPECT_FALSE(fs::exists(base() + ".pt2.bmp"));
    expectLinkState(true);
}

// READ leaves the same manifest as zar4ctl, naming this program and its port; one that cannot
// be written is a "Warning" notice after the outcome, which stays a completed read.
TEST_F(LoaderLinkTest, ReadLeavesItsManifestAndTellsWhenItCannot) {
    startSensor();
    writeAll(settingsFile(), "0\n4\n3\n3\n1\n1\n1\n" + base());
    open();
    connectYes();
    QString status;
    readNow(&status);
    EXPECT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));
    const ManifestRead read = readManifest(manifestFileName(base()));
    ASSERT_EQ(read.status, ManifestRead::Status::Ok) << read.reason;
    const Manifest& m = read.manifest;
    EXPECT_EQ(m.programName, "zar4loader");
    EXPECT_EQ(m.programVersion, kProjectVersion);
    EXPECT_EQ(m.portName, "COM1");
    EXPECT_EQ(m.device, sensor->devicePath());
    EXPECT_EQ(m.rate, 57600);
    EXPECT_EQ(std::make_pair(m.firstBank, m.lastBank), std::make_pair(3, 3));
    EXPECT_TRUE(m.parameters && m.patterns);
    EXPECT_EQ(m.outcome, ManifestOutcome::Complete);
    std::vector<std::string> files;
    for (const auto& item : m.items) {
        const std::string bytes = readAll((folder / item.file).string());
        files.push_back(item.file);
        EXPECT_EQ(item.size, static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(item.sha256, sha256Hex(bytes)) << item.file;
    }
    EXPECT_EQ(files,
              (std::vector<std::string>{"line1.pr3.zar4", "line1.prM.zar4", "line1.pt3.bmp"}));
    EXPECT_EQ(checkBackup(base()).status, BackupCheck::Status::AsRead);

    fs::remove(manifestFileName(base()));
    fs::create_directory(manifestFileName(base()));
    messages.expectQuestion("Found same filename. Do you overwrite?", true);
    messages.expectNotice(std::string(kManifestNotWritten) + "\n" + manifestFileName(base()) +
                          ": is a folder");
    readNow(&status);
    EXPECT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));
    expectLinkState(true);
}

TEST_F(LoaderLinkTest, WriteAsksFirstAndSendsTheFiles) {
    startSensor();
    writeAll(settingsFile(), "0\n4\n5\n5\n1\n0\n1\n" + base());
    open();
    connectYes();
    QString status;
    readNow(&status);
    ASSERT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));

    // No: nothing starts.
    sensor->clearLog();
    messages.expect("Warning!", "Agree to overwrite ZAR4 settings?", BoxAnswer::No);
    click(writeButton());
    EXPECT_TRUE(sensor->receivedBytes().empty());
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[1].icon, BoxIcon::Exclamation);
    EXPECT_EQ(messages.shown()[1].buttons, BoxButtons::YesNo);

    // Yes: bank 5's file, changed on disk, reaches the sensor.
    std::string bankFile = readAll(base() + ".pr5.zar4");
    std::size_t firstLineEnd = bankFile.find('\n');
    writeAll(base() + ".pr5.zar4", "4321" + bankFile.substr(firstLineEnd));
    messages.expect("Warning!", "Agree to overwrite ZAR4 settings?", BoxAnswer::Yes);
    pressOkAtTheEnd(&status);
    click(writeButton());
    EXPECT_EQ(status, QStringLiteral("Writing to ZAR4 is completed."));
    std::uint16_t word0 = 0;
    sensor->withModel([&](sim::SensorModel& m) { word0 = m.bank[5][0]; });
    EXPECT_EQ(word0, 4321);
    expectLinkState(true);

    // EXIT while connected, and No to sending the sensor back to run: the sensor stays
    // stopped in PC mode and the port as it is.
    sensor->clearLog();
    messages.expect("Question", "Agree to Exit?", BoxAnswer::Yes);
    messages.expect("Question", CLoaderDlg::kRunBeforeExitQuestion, BoxAnswer::No);
    click(exitButton());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(sensor->receivedBytes().empty());
    bool pcMode = false;
    sensor->withModel([&](sim::SensorModel& m) { pcMode = m.pcMode; });
    EXPECT_TRUE(pcMode);
}

// A base name that leaves the files no name of their own (hidden ".pr0.zar4" files) is
// refused by READ and WRITE before anything is asked or sent.
TEST_F(LoaderLinkTest, ANameWithoutAFileNameIsRefusedBeforeAnythingIsSent) {
    startSensor();
    open();
    connectYes();
    sensor->clearLog();
    for (const std::string& name : {std::string(), std::string("   "), folder.string() + "/",
                                    folder.string() + "\\", folder.string() + "/.."}) {
        SCOPED_TRACE(name);
        type(field(), QString::fromStdString(name));
        for (QPushButton* command : {readButton(), writeButton()}) {
            messages.expectError("Failed to create the file.\n" + baseNameProblem(name));
            click(command);
        }
    }
    EXPECT_EQ(messages.shown().back().text,
              "Failed to create the file.\n" + folder.string() +
                  "/..: the name is a folder; give a base name such as " + folder.string() +
                  "/line1");
    EXPECT_TRUE(sensor->receivedBytes().empty());
    EXPECT_TRUE(fs::is_empty(folder));
    expectLinkState(true);
}

// The common file is rewritten with the sensor's other words as a side effect only: from a
// backup that can be read but not written the merged common block is still sent, the file
// stays as it was, and a notice says why. Root writes into read-only files and folders, so a
// file size limit makes the rewrite fail for anyone; as another user the modes do too.
TEST_F(LoaderLinkTest, AReadOnlyBackupStillRestoresItsCommonParameters) {
    startSensor();
    writeAll(settingsFile(), "0\n4\n5\n5\n1\n0\n1\n" + base());
    open();
    connectYes();
    QString status;
    readNow(&status); // a backup of bank 5 and the common parameters
    ASSERT_EQ(status, QStringLiteral("Reading from ZAR4 is completed."));
    const std::string commonFile = base() + ".prM.zar4";
    const std::string saved = readAll(commonFile);
    std::uint16_t savedWord0 = 0;
    sensor->withModel([&](sim::SensorModel& m) { savedWord0 = m.common[0]; });

    struct Unwritable {
        const char* what;
        std::function<void()> apply, undo;
        std::string reason;
    };
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    std::vector<Unwritable> ways = {
        {"file size limit",
         [&] {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = old;
             small.rlim_cur = saved.size(); // the five lines fit, the 32 of the rewrite not
             ::setrlimit(RLIMIT_FSIZE, &small);
         },
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &old);
             std::signal(SIGXFSZ, SIG_DFL);
         },
         "file too large"}};
    if (::geteuid() != 0)
        ways.push_back({"read-only backup",
                        [&] {
                            fs::permissions(commonFile, fs::perms::owner_read);
                            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
                        },
                        [&] {
                            fs::permissions(folder, fs::perms::owner_all);
                            fs::permissions(commonFile,
                                            fs::perms::owner_read | fs::perms::owner_write);
                        },
                        "permission denied"});
    for (const Unwritable& way : ways) {
        SCOPED_TRACE(way.what);
        sensor->withModel([](sim::SensorModel& m) { m.common[0] = 4711; }); // changed since
        messages.expect("Warning!", "Agree to overwrite ZAR4 settings?", BoxAnswer::Yes);
        messages.expectNotice(std::string(texts::kCommonFileNotRewritten) + "\n" + commonFile +
                              ": " + way.reason);
        pressOkAtTheEnd(&status);
        way.apply();
        click(writeButton());
        way.undo();
        EXPECT_EQ(status, QStringLiteral("Writing to ZAR4 is completed."));
        std::uint16_t word0 = 0;
        sensor->withModel([&](sim::SensorModel& m) { word0 = m.common[0]; });
        EXPECT_EQ(word0, savedWord0) << "the common block was sent";
        EXPECT_EQ(readAll(commonFile), saved);
    }
}

// Leaving while connected offers to send the sensor back to run, so that the line does not
// stay halted unnoticed; Yes does what "ZAR4 to RUN" does before the program ends.
TEST_F(LoaderLinkTest, LeavingWhileConnectedOffersToSendTheSensorBackToRun) {
    startSensor();
    auto sensorInPcMode = [this] {
        bool pcMode = false;
        sensor->withModel([&](sim::SensorModel& m) { pcMode = m.pcMode; });
        return pcMode;
    };
    open();
    connectYes();
    sensor->clearLog();
    messages.expect("Question", CLoaderDlg::kRunBeforeExitQuestion, BoxAnswer::Yes);
    window->close(); // the close box
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(sensor->receivedBytes(), (std::vector<std::uint8_t>{0x87, 0x78})); // Run
    EXPECT_FALSE(sensorInPcMode());
    EXPECT_FALSE(window->link().isOpen());
    EXPECT_EQ(messages.shown().back().icon, BoxIcon::Question);
    EXPECT_EQ(messages.shown().back().buttons, BoxButtons::YesNo);
    EXPECT_FALSE(fs::exists(settingsFile())); // the close box saves nothing

    open();
    connectYes();
    messages.expect("Question", "Agree to Exit?", BoxAnswer::Yes);
    messages.expect("Question", CLoaderDlg::kRunBeforeExitQuestion, BoxAnswer::Yes);
    click(exitButton());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(sensorInPcMode());
    EXPECT_TRUE(fs::exists(settingsFile()));

    // Not connected: nothing more is asked.
    open();
    window->close();
    EXPECT_FALSE(window->isVisible());
}

} // namespace
} // namespace zar4::test
