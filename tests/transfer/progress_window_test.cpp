// The progress window as the operator sees it, with the real transfer engine running inside
// it against a simulated sensor.

#include "link/port_map.h"
#include "link/protocol.h"
#include "link/serial_port.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"
#include "transfer/progress_window.h"
#include "transfer/transfer_texts.h"
#include "ui/dialog_units.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace zar4::test {
namespace {

namespace fs = std::filesystem;

class ProgressWindowTest : public ::testing::Test {
protected:
    TempFolder temp{"zar4-progress"};
    const fs::path folder{temp.path()};
    SerialLink link;
    ScriptedMessages messages;
    std::unique_ptr<sim::SimServer> sensor;
    TransferRequest request;

    void SetUp() override {
        request.baseName = folder / "line1";
        request.includeParameters = false;
        request.includePatterns = false;
        request.firstBank = 0;
        request.lastBank = 0;
    }
    void TearDown() override {
        messages.verify();
        link.close();
        sensor.reset();
    }
    void connectTo(sim::SimOptions options = {}) {
        sensor = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sensor->start());
        ASSERT_TRUE(connectSensor(link, {"COM1", sensor->devicePath()}, 4, messages, false));
        sensor->clearLog();
    }

    static QLabel* status(CComuDlg& w) { return w.findChild<QLabel*>(QStringLiteral("id1051")); }
    static QLabel* item(CComuDlg& w) { return w.findChild<QLabel*>(QStringLiteral("id1053")); }
    static QProgressBar* bar(CComuDlg& w) {
        return w.findChild<QProgressBar*>(QStringLiteral("id1050"));
    }
    static QPushButton* ok(CComuDlg& w) { return w.findChild<QPushButton*>(QStringLiteral("id1")); }
    static QPushButton* cancel(CComuDlg& w) {
        return w.findChild<QPushButton*>(QStringLiteral("id1052"));
    }

    // Calls `step` every 10 ms while the window is open (also from inside the transfer's
    // pump) until it returns true.
    static void whileOpen(CComuDlg& window, std::function<bool()> step) {
        auto* timer = new QTimer(&window);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
            if (step())
                timer->stop();
        });
        timer->start(10);
    }
    bool patternUnderWay(CComuDlg& w) {
        return status(w)->text() == QStringLiteral("Reading Patterns") && bar(w)->value() > 30;
    }
};

TEST_F(ProgressWindowTest, OpensAsLaidOutStartsAfterItsTimerAndWaitsForOk) {
    connectTo();
    CComuDlg window(request, link, messages);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Communication"));
    const ui::DialogUnits du(window.font());
    EXPECT_EQ(window.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(window.size(), QSize(du.x(187), du.y(75)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(status(window)->text(), QStringLiteral("Initializing......."));
    EXPECT_EQ(item(window)->text(), QString());
    EXPECT_EQ(bar(window)->minimum(), 0);
    EXPECT_EQ(bar(window)->maximum(), 512);
    EXPECT_EQ(bar(window)->value(), 0);
    EXPECT_FALSE(ok(window)->isEnabled());
    EXPECT_EQ(cancel(window)->geometry(), du.rect(104, 52, 52, 16));
    EXPECT_TRUE(cancel(window)->isEnabled());
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((window.geometry().center() - screenCentre).manhattanLength(), 4);

    // Nothing chosen: the transfer starts after 300 ms, exchanges nothing and waits for OK.
    QElapsedTimer clock;
    qint64 endedAfter = -1;
    QString endStatus;
    whileOpen(window, [&] {
        if (!window.transferEnded())
            return false;
        endedAfter = clock.elapsed();
        endStatus = status(window)->text();
        EXPECT_TRUE(ok(window)->isEnabled());
        EXPECT_FALSE(cancel(window)->isEnabled());
        EXPECT_TRUE(ok(window)->hasFocus());
        QTest::mouseClick(cancel(window), Qt::LeftButton); // a late CANCEL does nothing
        EXPECT_TRUE(window.isVisible());
        QTest::keyClick(ok(window), Qt::Key_Return);
        return true;
    });
    clock.start();
    window.exec();
    EXPECT_GE(endedAfter, 290);
    EXPECT_LT(endedAfter, 3000);
    EXPECT_EQ(endStatus, QStringLiteral("No target data for reading out."));
    EXPECT_EQ(window.outcome(), TransferOutcome::NothingDone);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_TRUE(sensor->receivedBytes().empty());
}

TEST_F(ProgressWindowTest, CancelBeforeTheStartAbortsAndAStaleRequestIsForgotten) {
    connectTo();
    request.includeParameters = true;

    {
        CComuDlg window(request, link, messages);
        whileOpen(window, [&] {
            if (!window.transferEnded())
                return false;
            EXPECT_EQ(status(window)->text(), QStringLiteral("Reading from ZAR4 is completed."));
            window.accept();
            return true;
        });
        window.exec();
        EXPECT_EQ(window.outcome(), TransferOutcome::Completed);
    }

    // CANCEL pressed while the window waits for its timer: nothing is read.
    fs::remove(request.baseName + ".pr0.zar4");
    fs::remove(request.baseName + ".prM.zar4");
    sensor->clearLog();
    CComuDlg window(request, link, messages);
    bool pressed = false;
    whileOpen(window, [&] {
        if (!pressed) {
            QTest::mouseClick(cancel(window), Qt::LeftButton);
            pressed = true;
            return false;
        }
        if (!window.transferEnded())
            return false;
        EXPECT_EQ(status(window)->text(), QStringLiteral("Aborted."));
        QTest::mouseClick(ok(window), Qt::LeftButton);
        return true;
    });
    window.exec();
    EXPECT_EQ(window.outcome(), TransferOutcome::Cancelled);
    EXPECT_TRUE(sensor->receivedBytes().empty());
    EXPECT_FALSE(fs::exists(request.baseName + ".pr0.zar4"));
}

// The close box and Escape do the same: while a pattern runs they do not stop it, and the
// window closes by itself once the transfer has ended.
TEST_F(ProgressWindowTest, TheCloseBoxOrEscapeDuringAPatternClosesOnlyAfterTheEnd) {
    sim::SimOptions options;
    options.slowByteDelayUs = 10;
    connectTo(options);
    request.includePatterns = true;
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        fs::remove(request.baseName + ".pt0.bmp");
        CComuDlg window(request, link, messages);
        bool closeAsked = false;
        whileOpen(window, [&] {
            if (closeAsked) {
                if (!window.transferEnded())
                    return false;
                ADD_FAILURE() << "the window waits for OK although it was closed";
                window.accept();
                return true;
            }
            if (!patternUnderWay(window))
                return false;
            EXPECT_EQ(item(window)->text(), QStringLiteral("Bank No. = 0"));
            if (escape)
                QTest::keyClick(&window, Qt::Key_Escape);
            else
                EXPECT_FALSE(window.close());
            EXPECT_TRUE(window.isVisible()); // the transfer goes on
            EXPECT_TRUE(window.transferRunning());
            closeAsked = true;
            return false;
        });
        window.exec(); // returns when the window closed by itself after the end
        EXPECT_TRUE(closeAsked);
        EXPECT_EQ(window.outcome(), TransferOutcome::Completed);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(bar(window)->value(), 512);
        EXPECT_EQ(fs::file_size(request.baseName + ".pt0.bmp"), 147318u);
    }
}

// Closed while it still waits for its timer: the window goes at once and nothing is read.
TEST_F(ProgressWindowTest, ClosedBeforeItsTimerTheWindowGoesAndNothingIsTransferred) {
    connectTo();
    request.includeParameters = true;
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        CComuDlg window(request, link, messages);
        QTimer::singleShot(50, &window, [&] {
            if (escape)
                QTest::keyClick(&window, Qt::Key_Escape);
            else
                EXPECT_TRUE(window.close());
        });
        whileOpen(window, [&] {
            if (!window.transferEnded())
                return false;
            ADD_FAILURE() << "the transfer ran although the window was closed before it";
            window.accept();
            return true;
        });
        window.exec();
        EXPECT_FALSE(window.isVisible());
        QTest::qWait(400); // past the time its timer would have fired
        EXPECT_FALSE(window.transferEnded());
        EXPECT_EQ(status(window)->text(), QStringLiteral("Initializing......."));
        EXPECT_TRUE(sensor->receivedBytes().empty());
        EXPECT_FALSE(fs::exists(request.baseName + ".pr0.zar4"));
    }
}

// The window as the transfer leaves it in the middle of a pattern (bank 3, block 200 of the
// first half). It is drawn before its timer could start anything.
TEST_F(ProgressWindowTest, RenderProgressWindow) {
    CComuDlg window(request, link, messages);
    TransferView& view = window;
    view.setStatusText("Reading Patterns");
    view.setItemText("Bank No. = 3");
    view.setProgress(200 * 256 / 208);
    EXPECT_EQ(bar(window)->value(), 246);
    EXPECT_TRUE(window.isVisible()); // moving the bar shows the window
    QDir().mkpath(QStringLiteral("render"));
    const QString file = QStringLiteral("render/progress_window.png");
    QFile::remove(file);
    ASSERT_TRUE(window.grab().save(file));
    EXPECT_EQ(QImage(file).size(), window.size());
    EXPECT_FALSE(window.transferEnded());
}

TEST_F(ProgressWindowTest, ARefusedOverwriteClosesAtOnceAndAFailureAfterItsErrorBox) {
    sim::SimOptions options;
    options.faults.push_back({sim::Fault::Kind::NoReply, 0x81, 2, -1, 1});
    connectTo(options);
    request.includeParameters = true;
    std::ofstream(request.baseName + ".pr0.zar4") << "old\n";
    messages.expectQuestion("Found same filename. Do you overwrite?", false);
    {
        CComuDlg window(request, link, messages);
        window.exec();
        EXPECT_EQ(window.outcome(), TransferOutcome::Declined);
        EXPECT_EQ(window.result(), QDialog::Accepted);
    }

    // The sensor stops answering (its second parameter request): the "Error" box, then the
    // window closes without waiting for OK. What to check follows the system's words.
    messages.expectError("No communication response.\nCOM1 (" + sensor->devicePath() +
                         ") at 57600 bit/s: no reply to GetParameterBlock. Is the sensor on, "
                         "plugged in and in PC communication mode (CONNECT first)?");
    CComuDlg window(request, link, messages);
    QElapsedTimer clock;
    clock.start();
    window.exec();
    EXPECT_GE(clock.elapsed(), 1200);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(window.outcome(), TransferOutcome::Failed);
    EXPECT_FALSE(window.isVisible());
}

// The texts a control showed each time it was painted.
class PaintLog : public QObject {
public:
    QStringList painted;
    int count(const QString& text) const { return static_cast<int>(painted.count(text)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted << static_cast<QLabel*>(watched)->text();
        return false;
    }
};

// The flash write keeps the sensor silent for up to 30 s per half: the operator sees why the
// window waits, and the window stays drawn meanwhile (a repaint asked for during the wait,
// as when the window is moved or uncovered, is done during the wait).
TEST_F(ProgressWindowTest, TheFlashTextIsDrawnAtOnceAndTheWindowStaysDrawnWhileTheSensorFlashes) {
    const QString flashing = QString::fromLatin1(texts::kWritingFlash);
    {
        CComuDlg window(request, link, messages);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        PaintLog log;
        item(window)->installEventFilter(&log);
        static_cast<TransferView&>(window).setItemText(texts::kWritingFlash);
        EXPECT_EQ(log.count(flashing), 1); // drawn before anything else happens
        window.reject();                   // before its timer: nothing is transferred
    }

    sim::SimOptions options;
    options.flashTimeMs = 400;
    connectTo(options);
    request.operation = Operation::Write;
    request.includePatterns = true;
    ASSERT_TRUE(savePattern(patternFileName(request.baseName, 0), PatternImage{}));
    CComuDlg window(request, link, messages);
    PaintLog log;
    item(window)->installEventFilter(&log);
    int paintsBeforeAsking = -1;
    whileOpen(window, [&] {
        if (paintsBeforeAsking < 0 && item(window)->text() == flashing) {
            paintsBeforeAsking = log.count(flashing);
            item(window)->update();
            return false;
        }
        if (!window.transferEnded())
            return false;
        QTest::mouseClick(ok(window), Qt::LeftButton);
        return true;
    });
    window.exec();
    EXPECT_EQ(window.outcome(), TransferOutcome::Completed);
    ASSERT_GE(paintsBeforeAsking, 1) << "the window was not drawn during the flash write";
    EXPECT_GT(log.count(flashing), paintsBeforeAsking);
}

} // namespace
} // namespace zar4::test
