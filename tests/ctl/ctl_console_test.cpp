// The command line's own rules, in-process: the options as the operator types them, the
// answers to questions, the progress line.

#include "ctl/console.h"
#include "ctl/ctl.h"
#include "ctl/ctl_options.h"
#include "transfer/transfer_texts.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <thread>

namespace zar4::ctl {
namespace {

TEST(CtlOptions, DefaultsAndTheShapesOfBanks) {
    auto r = parseCommandLine({"read", "--port", "COM2", "line1"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, CtlCommand::Read);
    EXPECT_EQ(r.options.baudIndex, 4);
    EXPECT_EQ(r.options.firstBank, 0);
    EXPECT_EQ(r.options.lastBank, 14);
    EXPECT_TRUE(r.options.parameters && r.options.patterns); // neither given: both
    EXPECT_EQ(r.options.overwrite, Answer::Ask);
    EXPECT_EQ(r.options.base, "line1");

    r = parseCommandLine({"write", "--banks=7", "--patterns", "--port=/dev/ttyUSB0", "--baud",
                          "9600", "--skip-missing", "--", "-odd-name"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.firstBank, 7);
    EXPECT_EQ(r.options.lastBank, 7);
    EXPECT_FALSE(r.options.parameters);
    EXPECT_TRUE(r.options.patterns);
    EXPECT_EQ(r.options.baudIndex, 1);
    EXPECT_EQ(r.options.abortOnMissing, Answer::No);
    EXPECT_EQ(r.options.base, "-odd-name");

    r = parseCommandLine({"read", "--port", "COM1", "--banks", "9-3", "b"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.firstBank, 9); // a start after the end chooses no bank
    EXPECT_EQ(r.options.lastBank, 3);

    EXPECT_FALSE(parseCommandLine({"read", "--port", "COM1", "--banks", "-3", "b"}).ok);
    EXPECT_FALSE(parseCommandLine({"read", "--port", "COM1", "--banks", "1-2-3", "b"}).ok);
    EXPECT_FALSE(parseCommandLine({"read", "--port", "COM1", "--parameters=1", "b"}).ok);
    EXPECT_TRUE(parseCommandLine({"connect", "--help"}).options.help);

    r = parseCommandLine({"show", "--banks", "all", "b"});
    EXPECT_EQ(r.options.firstBank, 0);
    EXPECT_EQ(r.options.lastBank, 14);
    EXPECT_EQ(
        parseCommandLine({"read", "--progress=plain", "--port", "COM1", "b"}).options.progress,
        ProgressMode::Plain);
    EXPECT_FALSE(parseCommandLine({"read", "--progress", "bar", "--port", "COM1", "b"}).ok);
    EXPECT_FALSE(parseCommandLine({"show", "--progress", "none", "b"}).ok); // nothing to show
}

// ZAR4_PORT and ZAR4_BAUD stand in for the options; an option always wins.
TEST(CtlOptions, TheEnvironmentGivesThePortAndRateThatNoOptionGives) {
    const CtlDefaults env{"COM4", "9600"};
    auto r = parseCommandLine({"connect"}, env);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.port, "COM4");
    EXPECT_EQ(r.options.baudIndex, 1);
    r = parseCommandLine({"read", "--port", "/dev/ttyUSB1", "--baud=38400", "b"}, env);
    EXPECT_EQ(r.options.port, "/dev/ttyUSB1");
    EXPECT_EQ(r.options.baudIndex, 3);
    r = parseCommandLine({"connect"}, {"", ""});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("ZAR4_PORT"), std::string::npos) << r.error;
    r = parseCommandLine({"connect"}, {"COM4", "1200"}); // not a sensor rate
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("ZAR4_BAUD"), std::string::npos) << r.error;
    EXPECT_TRUE(parseCommandLine({"connect", "--baud", "4800"}, {"COM4", "1200"}).ok);
    EXPECT_TRUE(parseCommandLine({"show", "b"}, {"", "1200"}).ok); // no port, no rate
    std::string help = usageText(CtlCommand::None, env) + usageText(CtlCommand::Read, env);
    EXPECT_NE(help.find("ZAR4_PORT=COM4"), std::string::npos) << help;
    EXPECT_NE(help.find("(now 9600)"), std::string::npos) << help;
}

// The top-level help is one screen; every help fits 80 columns and shows examples of its
// command's own.
TEST(CtlOptions, HelpFitsTheTerminalAndEachCommandHasExamples) {
    auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    };
    EXPECT_LE(lines(usageText(CtlCommand::None)).size(), 24u) << usageText(CtlCommand::None);
    for (CtlCommand c : {CtlCommand::None, CtlCommand::Connect, CtlCommand::Run, CtlCommand::Read,
                         CtlCommand::Write, CtlCommand::Verify, CtlCommand::Diff, CtlCommand::Show,
                         CtlCommand::Ports}) {
        const std::string text = usageText(c, {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART", ""});
        int examples = 0;
        for (const auto& line : lines(text)) {
            EXPECT_LT(line.size(), 80u) << line;
            examples +=
                line.rfind("  ", 0) == 0 &&
                line.find(std::string("zar4ctl ") + commandName(c) + " ") != std::string::npos;
        }
        if (c != CtlCommand::None) {
            EXPECT_GE(examples, 2) << commandName(c);
        }
        EXPECT_EQ(text.find("A-B"), std::string::npos) << commandName(c);
    }
}

// Asked for help: a command's (as COMMAND --help gives it), the JSON events', or a usage error.
// Commands and options that this program does not carry out yet are refused before they run.
TEST(Ctl, HelpTopicsAndCommandsNotYetBuilt) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"help", "read"}, kExitCompleted, usageText(CtlCommand::Read)},
        {{"read", "-h"}, kExitCompleted, usageText(CtlCommand::Read)},
        {{"help", "json"}, kExitCompleted, jsonContractText()},
        {{"help"}, kExitCompleted, usageText(CtlCommand::None)},
        {{"help", "erase"}, kExitUsage, ""},
        {{"help", "read", "write"}, kExitUsage, ""},
        {{"check", "line1"}, kExitUsage, ""},
        {{"read", "--resume", "--port", "/nonexistent/tty", "line1"}, kExitUsage, ""},
    };
    for (const Case& c : cases) {
        std::istringstream in;
        std::ostringstream out, err;
        CtlEnvironment env{in, out, err, false, false, "/nonexistent"};
        EXPECT_EQ(runCtl(c.args, env), c.status) << c.args[0] << err.str();
        EXPECT_EQ(out.str(), c.out) << c.args[0];
        EXPECT_EQ(err.str().find(texts::kFailedToOpenPort), std::string::npos) << err.str();
    }
}

TEST(ConsoleMessages, QuestionsFollowTheOptionThenTheTerminalThenTheSafeDefault) {
    std::ostringstream err;
    ConsoleLine line(err);
    std::istringstream none;
    std::string missing = std::string("Bank number3 ") + texts::kParametersFileMissing;

    ConsoleMessages fixed(line, none, true, Answer::Yes, Answer::No);
    EXPECT_TRUE(fixed.ask(texts::kOverwriteFile));
    EXPECT_FALSE(fixed.ask(missing));
    EXPECT_EQ(err.str(), std::string("Warning: ") + texts::kOverwriteFile +
                             " Yes (--overwrite)\nWarning: " + missing + " No (--skip-missing)\n");

    // Nobody at a terminal: keep the files, abandon on a missing file.
    ConsoleMessages unattended(line, none, false, Answer::Ask, Answer::Ask);
    EXPECT_FALSE(unattended.ask(texts::kOverwriteFile));
    EXPECT_TRUE(unattended.ask(texts::kCommonFileMissing));

    // At a terminal: the typed word, and the same safe default for an empty line, a word
    // that is neither yes nor no, and the end of input.
    std::istringstream typed("y\n  YES \nno\n\nmaybe\n\n");
    ConsoleMessages operatorAnswers(line, typed, true, Answer::Ask, Answer::Ask);
    EXPECT_TRUE(operatorAnswers.ask(texts::kOverwriteFile));
    EXPECT_TRUE(operatorAnswers.ask(missing));
    EXPECT_FALSE(operatorAnswers.ask(missing));
    EXPECT_FALSE(operatorAnswers.ask(texts::kOverwriteFile));
    EXPECT_TRUE(operatorAnswers.ask(missing));
    EXPECT_TRUE(operatorAnswers.ask(missing));
    EXPECT_TRUE(operatorAnswers.ask(missing));                // end of input
    EXPECT_FALSE(operatorAnswers.ask(texts::kOverwriteFile)); // end of input
    EXPECT_NE(err.str().find(missing + " [Y/n] "), std::string::npos);
    EXPECT_NE(err.str().find(std::string(texts::kOverwriteFile) + " [y/N] "), std::string::npos);

    // Ctrl-C at a question is CANCEL at once, so the transfer starts no further item.
    std::istringstream interrupted;
    interrupted.setstate(std::ios::failbit);
    ConsoleMessages cancelling(line, interrupted, true, Answer::Ask, Answer::Ask);
    ConsoleView transfer(line, cancelling, false, 1000);
    cancelling.cancelThrough(&transfer);
    stopSignalled = 1;
    EXPECT_FALSE(cancelling.ask(missing));
    EXPECT_EQ(transfer.stopRequest(), StopRequest::Cancelled);
    EXPECT_EQ(stopSignalled, 0);
}

TEST(ConsoleMessages, ARefusedRateIsAPortSettingErrorAndAnythingElseAFailure) {
    for (LinkFailureKind kind : {LinkFailureKind::OpenFailed, LinkFailureKind::NoResponse,
                                 LinkFailureKind::BaudRateInvalid}) {
        LinkFailure failure;
        failure.kind = kind;
        EXPECT_EQ(linkFailureStatus(failure),
                  kind == LinkFailureKind::BaudRateInvalid ? kExitUsage : kExitFailed);
    }
}

TEST(ConsoleView, TheBarShowsBytesRateAndTimeLeftAndCtrlCBecomesCancel) {
    EXPECT_EQ(progressLine(54000, 108000, 2.0, "Reading Patterns", "Bank No. = 3"),
              "[##########          ]   54.0/108.0 kB  27.0 kB/s 0:02 left  Reading Patterns, "
              "Bank No. = 3");
    EXPECT_EQ(progressLine(0, 1000, 0.0, "", ""), "[                    ]    0.0/1.0 kB");

    std::ostringstream err;
    ConsoleLine line(err);
    std::istringstream none;
    ConsoleMessages boxes(line, none, false, Answer::Ask, Answer::Ask);
    ConsoleView view(line, boxes, true, 1000);
    view.wireBytes(500);
    view.setStatusText("Reading Patterns");
    boxes.error("No communication response.");
    view.finish();
    // The bar, then the error on a line of its own.
    EXPECT_EQ(err.str().rfind("\r[##########", 0), 0u) << err.str();
    EXPECT_NE(err.str().find("Reading Patterns\nError: No communication response.\n"),
              std::string::npos)
        << err.str();

    ASSERT_EQ(view.stopRequest(), StopRequest::None);
    stopSignalled = 1;
    view.pump();
    EXPECT_EQ(view.stopRequest(), StopRequest::Cancelled);
    EXPECT_EQ(stopSignalled, 0);
}

TEST(ConsoleView, TheBarGivesUpItsStatusTextFirstToFitTheTerminal) {
    const auto line = [](std::size_t width) {
        return progressLine(54000, 108000, 2.0, "Reading Patterns", "Bank No. = 3", width);
    };
    const std::string figures = "[##########          ]   54.0/108.0 kB  27.0 kB/s 0:02 left";
    EXPECT_EQ(line(91), figures + "  Reading Patterns, Bank No. = 3");
    EXPECT_EQ(line(84), figures + "  Reading, Bank No. = 3");
    EXPECT_EQ(line(79), figures + "  Bank No. = 3");
    EXPECT_EQ(line(60), figures);
    EXPECT_EQ(line(50), "[#####     ]   54.0/108.0 kB  27.0 kB/s 0:02 left");
    EXPECT_EQ(line(39), "[#####     ]   54.0/108.0 kB 0:02 left");
    EXPECT_EQ(line(20), "54.0/108.0 kB 0:02 l");
}

// The width is asked at each picture: after the terminal was made narrower, neither the new
// picture nor the blanks over the old one reach its last column.
TEST(ConsoleView, ARedrawAfterAResizeFitsTheNewWidth) {
    std::ostringstream err;
    int columns = 100;
    ConsoleLine line(err, [&] { return columns; });
    std::istringstream none;
    ConsoleMessages boxes(line, none, false, Answer::Ask, Answer::Ask);
    ConsoleView view(line, boxes, true, 200000);
    view.setStatusText("Reading Bank Parameters");
    view.setItemText("Bank No. = 14");
    EXPECT_GT(err.str().size(), 60u);
    columns = 40;
    err.str("");
    view.finish();
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1);
    EXPECT_LE(err.str().size(), 1u + 39u + 1u) << err.str(); // \r, 39 columns, \n
}

// --progress=plain: one line per item done, nothing redrawn; an item read into memory (no
// file) is done when the next begins, or at the end unless something went wrong.
TEST(ConsoleView, PlainProgressTellsEachItemDoneOnce) {
    std::ostringstream err;
    ConsoleLine line(err);
    line.setProgressMode(ProgressMode::Plain);
    std::istringstream none;
    ConsoleMessages boxes(line, none, false, Answer::Ask, Answer::Ask);
    ConsoleView view(line, boxes, true, 1000);
    view.itemStarted(ItemKind::Parameters, 3);
    view.wireBytes(250);
    view.itemDone(ItemKind::Parameters, 3, "/data/line1.pr3.zar4");
    view.itemStarted(ItemKind::Parameters, 15);
    view.itemSkipped(ItemKind::Parameters, 15, "not found");
    view.itemStarted(ItemKind::Pattern, 3);
    view.wireBytes(250);
    view.itemStarted(ItemKind::Pattern, 4); // no file: the pattern of bank 3 was read
    view.wireBytes(500);
    view.finish();
    EXPECT_EQ(err.str(), "[ 25% 0:00] bank 3 parameters: /data/line1.pr3.zar4\n"
                         "[ 25% 0:00] common parameters: not found, skipped\n"
                         "[ 50% 0:00] bank 3 pattern: read\n"
                         "[100% 0:00] bank 4 pattern: read\n");

    std::ostringstream failedErr;
    ConsoleLine failedLine(failedErr);
    failedLine.setProgressMode(ProgressMode::Plain);
    ConsoleMessages failedBoxes(failedLine, none, false, Answer::Ask, Answer::Ask);
    ConsoleView failed(failedLine, failedBoxes, true, 1000);
    failed.itemStarted(ItemKind::Pattern, 2);
    failedBoxes.error("No communication response.");
    failed.finish();
    EXPECT_EQ(failedErr.str(), "Error: No communication response.\n");
}

// After Ctrl-C the last picture holds the figures alone (the command prints the outcome once)
// and blanks out the "^C" the terminal echoed after the line.
TEST(ConsoleView, TheLastPictureBlanksTheEchoAndLeavesTheOutcomeToTheCommand) {
    std::ostringstream err;
    ConsoleLine line(err);
    std::istringstream none;
    ConsoleMessages boxes(line, none, false, Answer::Ask, Answer::Ask);
    ConsoleView view(line, boxes, true, 1000);
    view.setStatusText("Reading Patterns");
    stopSignalled = 1;
    view.pump();
    EXPECT_EQ(view.stopRequest(), StopRequest::Cancelled);
    view.setStatusText(texts::kAborted);
    view.finish();
    const std::string first = progressLine(0, 1000, 0, "Reading Patterns", "");
    const std::string last = progressLine(0, 1000, 0, "", "");
    EXPECT_EQ(err.str(),
              "\r" + first + "\r" + last + std::string(first.size() + 2 - last.size(), ' ') + "\n");
    EXPECT_EQ(view.statusText(), texts::kAborted);
}

// An operator who takes a while to answer does not slow the shown rate down.
TEST(ConsoleView, TheRateLeavesOutTheWaitForAnAnswer) {
    struct SlowAnswer : std::streambuf {
        char yes[2] = {'y', '\n'};
        int_type underflow() override {
            if (gptr() == yes + 2)
                return traits_type::eof();
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            setg(yes, yes, yes + 2);
            return 'y';
        }
    } slow;
    std::istream in(&slow);
    std::ostringstream err;
    ConsoleLine line(err);
    ConsoleMessages boxes(line, in, true, Answer::Ask, Answer::Ask);
    ConsoleView view(line, boxes, true, 200000);
    EXPECT_TRUE(boxes.ask(texts::kOverwriteFile));
    view.wireBytes(100000);
    view.finish();
    // Counting the wait, the rate would be at most 100 kB / 0.6 s.
    const std::string text = err.str();
    const auto unit = text.rfind(" kB/s");
    if (unit != std::string::npos) {
        const double rate = std::stod(text.substr(text.rfind(' ', unit - 1) + 1));
        EXPECT_GT(rate, 170.0) << text;
    }
}

// The write is agreed to by --yes or by a Yes typed at the terminal; a typed No is refused
// like a missing --yes (status 2, with the reason), Ctrl-C at the question stops (status 3).
// Either way the port is never opened.
TEST(Ctl, WriteAtATerminalGoesOnOnlyAfterATypedYes) {
    struct Case {
        const char* typed;
        bool interrupted;
        int status;
    };
    for (const Case& c : {Case{"n\n", false, kExitUsage}, Case{"", false, kExitUsage},
                          Case{"", true, kExitStopped}, Case{"yes\n", false, kExitFailed}}) {
        std::istringstream in(c.typed);
        std::ostringstream out, err;
        CtlEnvironment env{in, out, err, true, false, "/nonexistent"};
        stopSignalled = c.interrupted ? 1 : 0;
        int status = runCtl({"write", "--port", "/nonexistent/ttyZAR4", "line1"}, env);
        EXPECT_EQ(status, c.status) << c.typed << err.str();
        EXPECT_NE(err.str().find(texts::kAgreeToOverwriteSensor), std::string::npos);
        // Ctrl-C at the question is told as a CANCEL is.
        EXPECT_EQ(out.str(), c.interrupted ? std::string(texts::kAborted) + "\n" : "");
        if (c.status == kExitUsage) {
            EXPECT_NE(err.str().find("--yes"), std::string::npos) << err.str();
        }
        // Agreed: only then is the port tried.
        bool portTried = err.str().find(texts::kFailedToOpenPort) != std::string::npos;
        EXPECT_EQ(portTried, c.status == kExitFailed) << err.str();
    }
    stopSignalled = 0;
}

} // namespace
} // namespace zar4::ctl
