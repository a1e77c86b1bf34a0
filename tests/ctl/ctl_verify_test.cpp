// zar4ctl verify, write --verify and the --json contract, against the simulated sensor.

#include "common/version.h"
#include "ctl/ctl_sensor_fixture.h"
#include "ctl/json_reader.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace zar4::test {
namespace {

using namespace zar4::texts;

class CtlVerify : public CtlSensorTest {
protected:
    sim::SensorModel model() {
        sim::SensorModel m;
        sim_->withModel([&](sim::SensorModel& s) { m = s; });
        return m;
    }
    // Flips pixel (row, column) of a pattern file: its colour, or only its mask flag.
    static void changePixel(std::string& file, int row, int column, bool maskOnly) {
        auto* p = reinterpret_cast<std::uint8_t*>(&file[static_cast<std::size_t>(
            kPatternHeaderSize + (row * kPatternColumns + column) * 3)]);
        if (!maskOnly)
            p[1] = static_cast<std::uint8_t>(isMasked(p) ? p[1] ^ 0x01 : p[1] ^ 0x04);
        else if (isMasked(p))
            unmaskPixel(p);
        else
            maskPixel(p);
    }
};

TEST_F(CtlVerify, ReportsEachDifferenceByBankAndItemAndMovesWhatAReadMoves) {
    start();
    auto r = ctl({"read", "--port", device(), "--banks", "2-3", base()});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes readLog = sim_->receivedBytes();
    std::map<std::string, std::string> backup;
    for (const auto& name : dir.entries())
        backup[name] = readFile(dir.path() + "/" + name);
    const int shutter = model().bank[2][15];

    const std::string bank2 = parameterFileName(base(), 2);
    const std::string pattern3 = patternFileName(base(), 3);
    const struct {
        const char* what;
        std::function<void()> change;
        int status;
        std::string line;
    } cases[] = {
        {"nothing changed", [] {}, 0, "The sensor holds what the files hold.\n"},
        {"one word",
         [&] {
             std::string text = backup["line1.pr2.zar4"];
             std::int32_t words[32];
             readValueLinesFromText(text, words, 32);
             words[15] = shutter + 1;
             writeFile(bank2, formatValueLines(words, 32, false));
         },
         4,
         "bank 2 parameters: word 15 (SHUTTER): file " + std::to_string(shutter + 1) + ", sensor " +
             std::to_string(shutter) + "\n"},
        {"one pixel and one mask flag",
         [&] {
             std::string file = backup["line1.pt3.bmp"];
             changePixel(file, 10, 20, false);
             changePixel(file, 12, 25, true);
             writeFile(pattern3, file);
         },
         4, "bank 3 pattern: 2 pixels differ (1 only in the mask), X 195-197, Y 210-215\n"},
        {"a missing file", [&] { std::remove(pattern3.c_str()); }, 4,
         "bank 3 pattern: " + pattern3 + " is missing\n"},
    };
    for (const auto& c : cases) {
        for (const auto& [name, bytes] : backup)
            writeFile(dir.path() + "/" + name, bytes);
        c.change();
        sim_->clearLog();
        r = ctl({"verify", "--port", device(), "--banks", "2-3", base()});
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.what << "\n" << r.out;
        if (c.status == 0) { // the same exchanges as the read, to the byte
            EXPECT_EQ(sim_->receivedBytes(), readLog);
        }
        EXPECT_EQ(dir.entries().size(),
                  backup.size() - (c.line.find("missing") != std::string::npos));
    }
}

// A file that a write refuses is refused by every command that approves or compares files,
// in the same words: an invalid file is never read as a value, nor taken for a missing one.
TEST_F(CtlVerify, EveryCommandRefusesAnInvalidFileForTheSameReason) {
    start();
    const std::string good = dir.path() + "/good";
    ASSERT_EQ(ctl({"read", "--port", device(), "--banks", "2", good}).status, 0);
    const std::string parameters = parameterFileName(base(), 2);
    const std::string pattern = patternFileName(base(), 2);
    auto withLine2 = [&](const char* line) {
        return [&, line] {
            std::string text = readFile(parameterFileName(good, 2));
            const auto first = text.find('\n') + 1;
            writeFile(parameters,
                      text.substr(0, first) + line + text.substr(text.find('\n', first)));
        };
    };
    const std::string notANumber = std::string(kParametersFileInvalid) + "\n" + parameters +
                                   ": line 2 is not a number from 0 to 65535";
    const std::string patternInvalid = std::string(kPatternsFileInvalid) + "\n" + pattern + ": ";
    const struct {
        const char* what;
        std::function<void()> change;
        std::string error;
    } cases[] = {
        {"no number", withLine2("garbage"), notANumber},
        {"beyond 32 bits", withLine2("4294967296"), notANumber},
        {"negative", withLine2("-5"), notANumber},
        {"digits and letters", withLine2("12abc"), notANumber},
        {"a FIFO",
         [&] {
             std::remove(parameters.c_str());
             ASSERT_EQ(::mkfifo(parameters.c_str(), 0600), 0);
         },
         std::string(kParametersFileInvalid) + "\n" + parameters + ": is a FIFO"},
        {"a link to nothing",
         [&] {
             std::remove(pattern.c_str());
             ASSERT_EQ(::symlink((dir.path() + "/nowhere").c_str(), pattern.c_str()), 0);
         },
         patternInvalid + "is a link to nothing"},
        {"a bitmap of 10 MB",
         [&] { writeFile(pattern, readFile(patternFileName(good, 2)) + std::string(10 << 20, 0)); },
         patternInvalid + "holds more than the 147318 bytes of a pattern file"},
    };
    const std::vector<std::vector<std::string>> commands = {
        {"write", "--yes", "--port", device(), "--banks", "2", base()},
        {"verify", "--port", device(), "--banks", "2", base()},
        {"diff", "--banks", "2", good, base()},
        {"show", "--banks", "2", base()},
    };
    for (const auto& c : cases) {
        for (const char* suffix : {".pr2.zar4", ".prM.zar4", ".pt2.bmp"}) {
            std::remove((base() + suffix).c_str());
            writeFile(base() + suffix, readFile(good + suffix));
        }
        c.change();
        for (const auto& command : commands) {
            sim_->clearLog();
            auto r = ctl(command);
            EXPECT_EQ(r.status, 1) << c.what << ": " << command[0] << "\n" << r.out << r.err;
            EXPECT_NE((r.out + r.err).find("Error: " + c.error + "\n"), std::string::npos)
                << c.what << ": " << command[0] << "\n"
                << r.out << r.err;
            // Nothing of the backup reaches the sensor: a write only stops it and lets it run.
            Bytes stopAndRun = kModeRequest;
            append(stopAndRun, kStopFrame);
            append(stopAndRun, kRunFrame);
            EXPECT_EQ(sim_->receivedBytes(), command[0] == "write" ? stopAndRun : Bytes{})
                << c.what << ": " << command[0];
        }
    }
}

TEST_F(CtlVerify, WriteVerifyFindsABlockTheSensorAcknowledgedButNeverStored) {
    sim::SimOptions options;
    sim::Fault lost;
    lost.kind = sim::Fault::Kind::AckNoStore;
    lost.command = 0x84;
    lost.nth = 416 + 7; // the seventh block of the second write
    options.faults.push_back(lost);
    start(options);
    ASSERT_EQ(ctl({"read", "--port", device(), "--banks", "4", "--patterns", base()}).status, 0);
    sim_->withModel(
        [](sim::SensorModel& m) { std::fill(m.pattern[4].begin(), m.pattern[4].end(), 0); });

    const std::vector<std::string> write = {"write",      "--port", device(),   "--banks", "4",
                                            "--patterns", "--yes",  "--verify", base()};
    auto r = ctl(write);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kWriteCompleted) + "\nThe sensor holds what the files hold.\n");

    sim_->withModel(
        [](sim::SensorModel& m) { std::fill(m.pattern[4].begin(), m.pattern[4].end(), 0); });
    sim_->clearLog();
    r = ctl(write);
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.out.find("bank 4 pattern: "), std::string::npos) << r.out;
    Bytes log = sim_->receivedBytes();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Bytes(log.end() - 2, log.end()), kRunFrame); // run only after the verify
    EXPECT_FALSE(model().pcMode);
}

TEST_F(CtlVerify, CtrlCDuringVerifyStopsWithStatusThree) {
    sim::SimOptions options;
    options.slowByteDelayUs = 100;
    start(options);
    writeFile(patternFileName(base(), 1), patternFileFromWords(model().pattern[1]));
    CtlProcess process(ZAR4CTL_PATH,
                       {"verify", "--port", device(), "--banks", "1", "--patterns", base()});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        Bytes log = sim_->receivedBytes();
        if (std::count(log.begin(), log.end(), std::uint8_t{0x83}) >= 5)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    process.interrupt();
    CtlResult r = process.wait();
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, std::string(kAborted) + "\n");
    Bytes log = sim_->receivedBytes();
    EXPECT_EQ(Bytes(log.end() - 2, log.end()), kRunFrame);
}

TEST_F(CtlVerify, AHangUpIsToldOnceAndTheFailedRunAsSuch) {
    sim::SimOptions options;
    sim::Fault hangUp;
    hangUp.kind = sim::Fault::Kind::HangUp;
    hangUp.command = 0x83;
    hangUp.nth = 3;
    options.faults.push_back(hangUp);
    start(options);
    auto r = ctl({"read", "--port", device(), "--banks", "0", "--patterns", base()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: No communication response.\n" + device() +
                         " at 57600 bit/s: no reply to GetPatternBlock. Is the sensor on, plugged "
                         "in and in PC communication mode (CONNECT first)?\n"
                         "Error: Run not acknowledged while returning to run.\n");
}

TEST_F(CtlVerify, VersionNamesEachProgram) {
    for (const char* program : {ZAR4CTL_PATH, ZAR4SIM_PATH}) {
        CtlResult r = CtlProcess(program, {"--version"}).wait();
        EXPECT_EQ(r.status, 0);
        std::string name = std::string(program).substr(std::string(program).rfind('/') + 1);
        EXPECT_EQ(r.out, name + " " + kProjectVersion + "\n");
    }
}

// The types and fields the help documents, read from the help itself.
std::map<std::string, std::vector<std::string>> documentedFields(const std::string& help) {
    std::map<std::string, std::vector<std::string>> fields;
    auto at = help.find("JSON Lines (--json)");
    std::istringstream lines(help.substr(at == std::string::npos ? help.size() : at));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
        std::istringstream words(line);
        std::string type, field;
        words >> type;
        while (words >> field)
            fields[type].push_back(field.back() == ',' ? field.substr(0, field.size() - 1) : field);
    }
    return fields;
}

TEST_F(CtlVerify, EveryDocumentedJsonFieldAppearsAndStandardOutputIsOnlyJson) {
    start();
    auto help = ctl({"help", "json"});
    auto documented = documentedFields(help.out);
    ASSERT_EQ(documented.size(), 7u) << help.out;
    EXPECT_NE(ctl({"--help"}).out.find("4 verify, write --verify or\ndiff found a difference"),
              std::string::npos);

    std::string other = dir.path() + "/other";
    writeFile(parameterFileName(base(), 15), "old\n");
    auto changeOtherPixel = [&] {
        std::string pattern = readFile(patternFileName(other, 5));
        pattern[kPatternHeaderSize + 100] ^= 0x08;
        writeFile(patternFileName(other, 5), pattern);
    };
    auto changeWord = [&] {
        std::int32_t words[32];
        readValueLinesFromText(readFile(parameterFileName(base(), 5)), words, 32);
        words[20] ^= 1; // ZOOM
        writeFile(parameterFileName(base(), 5), formatValueLines(words, 32, false));
    };
    const struct {
        std::vector<std::string> args;
        std::function<void()> after;
    } runs[] = {
        {{"connect", "--port", device()}, {}},
        {{"run", "--port", device()}, {}},
        {{"read", "--port", device(), "--banks", "5", "--no-overwrite", base()}, {}}, // asks
        {{"read", "--port", device(), "--banks", "5", "--overwrite", base()}, {}},
        {{"read", "--port", device(), "--banks", "5", "--overwrite", other}, changeOtherPixel},
        {{"write", "--port", device(), "--banks", "6", "--skip-missing", "--yes",
          dir.path() + "/empty"},
         changeWord}, // skips all, warns of the common file
        {{"verify", "--port", device(), "--banks", "5-6", base()}, {}},
        {{"show", base()}, {}},
        {{"diff", "--png", dir.path() + "/pictures", base(), other}, {}},
        {{"read", "--port", dir.path() + "/no-such-port", base()}, {}},
        {{"read", "--port", device(), "--banks", "99", base()}, {}},
        {{"ports", "--all", "--map"}, {}},
    };
    std::vector<Json> all;
    for (const auto& run : runs) {
        auto args = run.args;
        args.push_back("--json");
        auto r = ctl(args);
        auto events = jsonLines(r.out);
        auto results = ofType(events, "result");
        ASSERT_EQ(results.size(), 1u) << args[0] << r.out << r.err;
        EXPECT_EQ(results[0].num("status"), r.status) << args[0];
        all.insert(all.end(), events.begin(), events.end());
        if (run.after)
            run.after();
    }
    std::set<std::string> types;
    for (const auto& e : all)
        types.insert(e.str("type"));
    for (const auto& [type, fields] : documented) {
        EXPECT_TRUE(types.count(type)) << type;
        for (const auto& field : fields) {
            bool seen = false;
            for (const auto& e : ofType(all, type))
                seen = seen || e.has(field);
            EXPECT_TRUE(seen) << type << "." << field;
        }
    }
    for (const auto& type : types)
        EXPECT_TRUE(documented.count(type)) << "undocumented type " << type;
}

} // namespace
} // namespace zar4::test
