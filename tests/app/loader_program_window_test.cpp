// The desktop program as a whole: what it answers to --version, and how it ends when asked
// from outside to stop.

#include "app/loader_window.h"
#include "common/version.h"
#include "link/serial_link.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "support/temp_folder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdlib.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kRunFrame{0x87, 0x78};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Answered before any window: with a display platform that does not exist, the program
// would fail at its first window.
TEST(LoaderProgramTest, VersionIsPrintedWithoutAWindow) {
    FILE* program =
        ::popen("QT_QPA_PLATFORM=no-such-platform " ZAR4LOADER_PATH " --version 2>&1", "r");
    ASSERT_NE(program, nullptr);
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, program))
        out += buffer;
    EXPECT_EQ(::pclose(program), 0);
    EXPECT_EQ(out, std::string("zar4loader ") + kProjectVersion + "\n");
}

// SIGTERM (a shutdown) or SIGHUP in the middle of a READ: the transfer stops as CANCEL stops
// it, leaving no file behind, and the program closes as its close box closes it.
TEST(LoaderProgramTest, TermOrHangUpDuringAReadStopsItAndClosesTheProgram) {
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempFolder temp("zar4-stop");
        const fs::path folder = temp.path();
        sim::SimOptions options;
        options.slowByteDelayUs = 100; // about 26 ms a pattern block
        sim::SimServer sensor(options);
        ASSERT_TRUE(sensor.start());

        const std::string program = folder / "zar4loader";
        std::ofstream(program + ".ports") << "COM1=" << sensor.devicePath() << "\n";
        // COM1, 57600, bank 4 alone, patterns only.
        const std::string settings = "0\n4\n4\n4\n0\n1\n1\n" + (folder / "line1").string();
        std::ofstream(program + ".ini", std::ios::binary) << settings;

        QTimer answer; // Yes to stopping the sensor; no other box is expected
        QObject::connect(&answer, &QTimer::timeout, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->text() == QStringLiteral("Agree to stop operation of ZAR4?"))
                box->button(QMessageBox::Yes)->click();
        });
        answer.start(10);
        bool signalled = false;
        QTimer watch; // the signal comes once pattern blocks flow
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto log = sensor.receivedBytes();
            if (!signalled && std::count(log.begin(), log.end(), std::uint8_t{0x83}) >= 5) {
                signalled = true;
                std::raise(signal);
            }
        });
        watch.start(5);

        CLoaderApp(program).run([](CLoaderDlg& opened) {
            QTimer::singleShot(0, &opened, [&opened] {
                QTest::mouseClick(opened.findChild<QPushButton*>("id1037"), Qt::LeftButton);
                QTest::mouseClick(opened.findChild<QPushButton*>("id3"), Qt::LeftButton);
            });
        });
        // Back here: the main window has closed.
        EXPECT_TRUE(signalled);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        auto log = sensor.receivedBytes();
        EXPECT_LT(std::count(log.begin(), log.end(), std::uint8_t{0x83}), 100);
        // The sensor is sent back to run before the program ends.
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(std::vector<std::uint8_t>(log.end() - 2, log.end()), kRunFrame);
        // No pattern file and no temporary one, only the read's manifest; the settings are not
        // saved, as at the close box.
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"line1.manifest.json", "zar4loader.ini",
                                                "zar4loader.ports"}));
        fs::remove(folder / "line1.manifest.json");
        EXPECT_EQ(readAll(program + ".ini"), settings);

        sensor.stop();
    }
}

// The desktop program with its real boxes against a simulated sensor: the program file in a
// folder of its own, with its port map on the sensor.
class StoppedProgram {
public:
    explicit StoppedProgram(sim::SimOptions options = {}) : sensor(options) {
        EXPECT_TRUE(sensor.start());
        std::ofstream(program() + ".ports") << "COM1=" << sensor.devicePath() << "\n";
    }
    ~StoppedProgram() { sensor.stop(); }
    std::string program() const { return folder / "zar4loader"; }
    std::string base() const { return folder / "line1"; }

    // Runs the program: CONNECT, then `command` (a button id, 0 for none) with every box in
    // `yes` answered Yes; the signal comes at the box whose text starts with `signalAt`, or
    // once connected when that is empty. Returns what the program wrote to standard error.
    std::string run(const std::string& settings, int command, const std::set<std::string>& yes,
                    const std::string& signalAt, int signal) {
        std::ofstream(program() + ".ini", std::ios::binary) << settings;
        std::ostringstream errors;
        std::streambuf* previous = std::cerr.rdbuf(errors.rdbuf());
        QTimer boxes;
        QObject::connect(&boxes, &QTimer::timeout, [&] {
            QWidget* top = QApplication::activeModalWidget();
            auto* box = qobject_cast<QMessageBox*>(top);
            if (box == nullptr) {
                if (signalAt.empty() && !signalled && top && top->findChild<QPushButton*>("id5") &&
                    top->findChild<QPushButton*>("id5")->isEnabled()) {
                    signalled = true;
                    logAtSignal = sensor.receivedBytes();
                    std::raise(signal);
                }
                return;
            }
            const std::string text = box->text().toStdString();
            if (!signalled && !signalAt.empty() && text.rfind(signalAt, 0) == 0) {
                signalled = true;
                logAtSignal = sensor.receivedBytes();
                std::raise(signal); // the box stays for the program to deal with
            } else if (yes.count(text) != 0) {
                box->button(QMessageBox::Yes)->click();
            } else if (!signalled) {
                ADD_FAILURE() << "unexpected box: " << text;
                box->button(box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok)
                    ->click();
            }
        });
        boxes.start(10);
        CLoaderApp(program()).run([command](CLoaderDlg& opened) {
            QTimer::singleShot(0, &opened, [&opened, command] {
                QTest::mouseClick(opened.findChild<QPushButton*>("id1037"), Qt::LeftButton);
                if (command != 0)
                    QTest::mouseClick(
                        opened.findChild<QPushButton*>(QStringLiteral("id%1").arg(command)),
                        Qt::LeftButton);
            });
        });
        std::cerr.rdbuf(previous);
        EXPECT_TRUE(signalled);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the program has ended";
        return errors.str();
    }

    TempFolder temp{"zar4-stop"};
    const fs::path folder{temp.path()};
    sim::SimServer sensor;
    bool signalled = false;
    std::vector<std::uint8_t> logAtSignal;
};

// A stop signal at a question of a WRITE ends it there as CANCEL does: after the signal the
// sensor gets nothing but Run, neither the next bank, nor the common block, nor a pattern.
TEST(LoaderProgramTest, AStopSignalAtAQuestionOfAWriteSendsNothingButRun) {
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        StoppedProgram p;
        // Banks 0 to 2 with their patterns, bank 1's parameter file missing.
        for (int item : {0, 2, kCommonItem}) {
            std::ofstream out(parameterFileName(p.base(), item), std::ios::binary);
            for (int i = 0; i < (item == kCommonItem ? kCommonWords : kBankWords); ++i)
                out << (i == 4 && item == kCommonItem ? 1280 : i) << "\n";
        }
        for (int bank = 0; bank <= 2; ++bank)
            ASSERT_TRUE(savePattern(patternFileName(p.base(), bank), PatternImage{}));
        const std::string question = "Bank number1 Parameters file is not found.";
        const std::string errors =
            p.run("0\n4\n0\n2\n1\n1\n1\n" + p.base(), 4,
                  {"Agree to stop operation of ZAR4?", "Agree to overwrite ZAR4 settings?"},
                  question, signal);
        std::vector<std::uint8_t> expected = p.logAtSignal;
        expected.insert(expected.end(), kRunFrame.begin(), kRunFrame.end());
        EXPECT_EQ(p.sensor.receivedBytes(), expected);
        EXPECT_EQ(errors, "");
    }
}

// Stopped while connected and idle, the program sends the sensor back to run before it ends;
// when the sensor does not answer, standard error says so (no box may wait for anyone).
TEST(LoaderProgramTest, AStopSignalWhileConnectedSendsRunOrSaysWhyNot) {
    for (bool answers : {true, false}) {
        SCOPED_TRACE(answers ? "Run answered" : "Run unanswered");
        sim::SimOptions options;
        if (!answers)
            options.faults.push_back({sim::Fault::Kind::NoReply, 0x87});
        StoppedProgram p(options);
        const std::string errors = p.run("0\n4\n0\n0\n1\n1\n1\n" + p.base(), 0,
                                         {"Agree to stop operation of ZAR4?"}, "", SIGTERM);
        std::vector<std::uint8_t> expected = p.logAtSignal;
        expected.insert(expected.end(), kRunFrame.begin(), kRunFrame.end());
        EXPECT_EQ(p.sensor.receivedBytes(), expected);
        if (answers)
            EXPECT_EQ(errors, "");
        else
            EXPECT_EQ(errors.rfind("zar4loader: ", 0), 0u) << errors;
    }
}

} // namespace
} // namespace zar4::test
