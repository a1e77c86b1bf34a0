// The desktop program as a whole: what it answers to --version, and how it ends when asked
// from outside to stop.

#include "app/loader_window.h"
#include "common/version.h"
#include "link/serial_link.h"
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
#include <set>
#include <stdlib.h>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

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
        // No pattern file and no temporary one; the settings are not saved, as at the close box.
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"zar4loader.ini", "zar4loader.ports"}));
        EXPECT_EQ(readAll(program + ".ini"), settings);

        sensor.stop();
    }
}

} // namespace
} // namespace zar4::test
