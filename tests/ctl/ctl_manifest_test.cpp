// The manifest a read leaves, `check`, `show`'s summary, `read --resume` and the warning before
// a write of a backup that is not as read: zar4ctl against the simulated sensor.

#include "common/sha256.h"
#include "common/version.h"
#include "ctl/ctl_sensor_fixture.h"
#include "ctl/json_reader.h"
#include "transfer/manifest.h"

#include <algorithm>
#include <thread>

namespace zar4::test {
namespace {

using namespace zar4::texts;

class CtlManifest : public CtlSensorTest {
protected:
    std::vector<std::string> read(const std::string& target, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"read", "--port", device(), "--banks", "2-3"};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(target);
        return args;
    }
    Json manifest(const std::string& target) {
        Json j;
        EXPECT_TRUE(JsonParser(readFile(manifestFileName(target))).parse(j));
        return j;
    }
    // Which items a manifest records as read: "parameters 2", "parameters common", ...
    static std::vector<std::string> readItems(const Json& m) {
        std::vector<std::string> items;
        for (const auto& item : m["items"].items)
            if (item.has("sha256"))
                items.push_back(item.str("kind") + " " +
                                (item["bank"].kind == Json::Kind::String
                                     ? item.str("bank")
                                     : std::to_string(item.num("bank"))));
        return items;
    }
    // Starts a read of banks 2-3 on a slowed sensor and stops it with Ctrl-C once bank 2's
    // pattern is under way: the parameters and the common parameters are then read.
    void cancelDuringPattern2() {
        sim::SimOptions slow;
        slow.slowByteDelayUs = 100;
        start(slow);
        CtlProcess process(ZAR4CTL_PATH, read(base()));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            Bytes log = sim_->receivedBytes();
            if (std::count(log.begin(), log.end(), std::uint8_t{0x83}) >= 8)
                break;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no pattern block asked for";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        process.interrupt();
        CtlResult r = process.wait();
        ASSERT_EQ(r.status, 3) << r.err;
        sim_->stop();
    }
};

TEST_F(CtlManifest, ACompleteReadIsRecordedAndCheckedUntilAFileChanges) {
    start();
    auto r = ctl(read(base()));
    ASSERT_EQ(r.status, 0) << r.err;
    Json m = manifest(base());
    EXPECT_EQ(m.str("format"), "ZAR4 backup manifest");
    EXPECT_EQ(m.num("version"), 1);
    EXPECT_EQ(m["program"].str("name"), "zar4ctl");
    EXPECT_EQ(m["program"].str("version"), kProjectVersion);
    std::int64_t started = 0, ended = 0;
    EXPECT_TRUE(parseIsoUtcTime(m.str("started"), started));
    EXPECT_TRUE(parseIsoUtcTime(m.str("ended"), ended));
    EXPECT_LE(started, ended);
    EXPECT_LE(ended - started, 60);
    EXPECT_EQ(m["port"].str("name"), device());
    EXPECT_EQ(m["port"].str("device"), device());
    EXPECT_EQ(m["port"].num("rate"), 57600);
    EXPECT_EQ(m["banks"].num("first"), 2);
    EXPECT_EQ(m["banks"].num("last"), 3);
    EXPECT_EQ(m["kinds"].items.size(), 2u);
    EXPECT_EQ(m.str("outcome"), "complete");
    EXPECT_EQ(m["failure"].kind, Json::Kind::Null);
    const std::vector<std::string> files{"line1.pr2.zar4", "line1.pr3.zar4", "line1.prM.zar4",
                                         "line1.pt2.bmp", "line1.pt3.bmp"};
    ASSERT_EQ(m["items"].items.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Json& item = m["items"].items[i];
        const std::string bytes = readFile(dir.path() + "/" + files[i]);
        EXPECT_EQ(item.str("file"), files[i]);
        EXPECT_EQ(item.num("size"), static_cast<long long>(bytes.size()));
        EXPECT_EQ(item.str("sha256"), sha256Hex(bytes)) << files[i];
    }
    EXPECT_EQ(readItems(m),
              (std::vector<std::string>{"parameters 2", "parameters 3", "parameters common",
                                        "pattern 2", "pattern 3"}));

    r = ctl({"check", base()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(" at 57600 bit/s by zar4ctl " + std::string(kProjectVersion) +
                         ": banks 2-3, parameters and patterns; complete; 5 files as read\n"),
              std::string::npos)
        << r.out;
    // show begins with the same summary.
    r = ctl({"show", base()});
    EXPECT_EQ(r.out.rfind("read ", 0), 0u) << r.out;

    // An edited parameter file and a deleted pattern: each named, status 4.
    writeFile(parameterFileName(base(), 3), "1\n");
    std::remove(patternFileName(base(), 2).c_str());
    r = ctl({"check", "--json", base()});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("bank 3 parameters (line1.pr3.zar4): edited since it was read; a write "
                         "would refuse it: " +
                         parameterFileName(base(), 3) + ": line 2 is missing\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("bank 2 pattern (line1.pt2.bmp): missing: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("bank 3 parameters edited since; bank 2 pattern deleted since\n"),
              std::string::npos)
        << r.err;
    Json result = ofType(jsonLines(r.out), "result").at(0);
    EXPECT_EQ(result.str("outcome"), "changed");
    std::vector<std::string> states;
    for (const auto& item : result["items"].items)
        states.push_back(item.str("state"));
    EXPECT_EQ(states,
              (std::vector<std::string>{"as read", "edited", "as read", "missing", "as read"}));
    EXPECT_EQ(result["manifest"].str("outcome"), "complete");

    // Without a manifest: status 1, and show says so and goes on.
    std::remove(manifestFileName(base()).c_str());
    r = ctl({"check", base()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Error: The backup has no manifest.\n" + manifestFileName(base())),
              std::string::npos)
        << r.out;
    r = ctl({"show", base()});
    EXPECT_EQ(r.out.rfind("no manifest: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nbank 2\n"), std::string::npos) << r.out;
}

TEST_F(CtlManifest, ACancelledOrFailedReadRecordsWhatWasRead) {
    cancelDuringPattern2();
    Json m = manifest(base());
    EXPECT_EQ(m.str("outcome"), "cancelled");
    EXPECT_EQ(readItems(m),
              (std::vector<std::string>{"parameters 2", "parameters 3", "parameters common"}));
    auto r = ctl({"check", base()});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.out.find("; cancelled after the common parameters: 3 of 5 files\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("bank 2 pattern (line1.pt2.bmp): never read\n"), std::string::npos);

    // The sensor falls silent at a block of bank 3's pattern.
    sim::SimOptions fault;
    sim::Fault silent;
    silent.command = 0x83;
    silent.patternBlock = 100;
    silent.nth = 3; // bank 2's two halves hold a block 100 each, then comes bank 3's
    fault.faults.push_back(silent);
    start(fault);
    const std::string other = dir.path() + "/line2";
    r = ctl(read(other));
    EXPECT_EQ(r.status, 1) << r.err;
    m = manifest(other);
    EXPECT_EQ(m.str("outcome"), "failed");
    EXPECT_EQ(m.str("failure").rfind("No communication response.\n", 0), 0u) << m.str("failure");
    EXPECT_EQ(readItems(m), (std::vector<std::string>{"parameters 2", "parameters 3",
                                                      "parameters common", "pattern 2"}));
}

TEST_F(CtlManifest, AResumeReadsOnlyWhatIsMissingAndEndsAsAFreshRead) {
    cancelDuringPattern2();
    writeFile(parameterFileName(base(), 3), "edited\n");
    start(); // the same content, unslowed

    // Options that contradict the manifest are refused before anything is sent.
    for (const auto& extra : std::vector<std::vector<std::string>>{
             {"--banks", "0-14"}, {"--patterns"}, {"--baud", "9600"}, {"--no-overwrite"}}) {
        std::vector<std::string> args{"read", "--port", device(), "--resume"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(base());
        auto r = ctl(args);
        EXPECT_EQ(r.status, 2) << extra[0] << r.err;
        EXPECT_NE(r.err.find("zar4ctl: "), std::string::npos) << r.err;
    }
    EXPECT_TRUE(sim_->receivedBytes().empty());

    auto r = ctl({"read", "--port", device(), "--resume", base()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Resuming " + base() + ": reading 3 items of 5"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("bank 3 parameters (line1.pr3.zar4): edited since it was read; "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("; its file is replaced by what the sensor holds\n"), std::string::npos)
        << r.out;
    // Connect, the missing items' exchanges and Run: nothing of what is as read.
    Bytes expected = kModeRequest;
    append(expected, kStopFrame);
    append(expected, getParameterBlock(3));
    append(expected, patternReadBytes(2));
    append(expected, patternReadBytes(3));
    append(expected, kRunFrame);
    EXPECT_EQ(sim_->receivedBytes(), expected);

    // Byte for byte the files of an uninterrupted read, and a manifest that says so.
    const std::string fresh = dir.path() + "/fresh";
    ASSERT_EQ(ctl(read(fresh)).status, 0);
    for (int item : {2, 3, kCommonItem})
        EXPECT_EQ(readFile(parameterFileName(base(), item)),
                  readFile(parameterFileName(fresh, item)));
    for (int bank : {2, 3})
        EXPECT_EQ(readFile(patternFileName(base(), bank)), readFile(patternFileName(fresh, bank)));
    Json m = manifest(base());
    EXPECT_EQ(m.str("outcome"), "complete");
    EXPECT_EQ(m["resumed"].items.size(), 1u);
    EXPECT_EQ(ctl({"check", base()}).status, 0);

    // A whole backup has nothing to resume; one without a manifest cannot be resumed.
    sim_->clearLog();
    r = ctl({"read", "--port", device(), "--resume", base()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("nothing to read"), std::string::npos) << r.out;
    r = ctl({"read", "--port", device(), "--resume", dir.path() + "/none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: The backup cannot be resumed.\n"), std::string::npos) << r.err;
    EXPECT_TRUE(sim_->receivedBytes().empty());
}

TEST_F(CtlManifest, AManifestThatCannotBeWrittenIsAWarningAfterACompletedRead) {
    start();
    ASSERT_EQ(::mkdir(manifestFileName(base()).c_str(), 0700), 0); // a folder in its place
    auto r = ctl(read(base(), {"--parameters", "--json"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Reading from ZAR4 is completed.\nWarning: The backup's manifest could "
                         "not be written.\n" +
                         manifestFileName(base()) + ": "),
              std::string::npos)
        << r.err;
    auto events = jsonLines(r.out);
    ASSERT_EQ(ofType(events, "warning").size(), 1u);
    EXPECT_EQ(ofType(events, "result").at(0).str("outcome"), "completed");
    EXPECT_FALSE(readFile(parameterFileName(base(), 2)).empty());
}

TEST_F(CtlManifest, AWriteOfABackupNotAsReadWarnsAndNeedsYes) {
    start();
    ASSERT_EQ(ctl(read(base())).status, 0);
    writeFile(parameterFileName(base(), 2), readFile(parameterFileName(base(), 3)));
    sim_->clearLog();

    auto r = ctl({"write", "--port", device(), "--banks", "2-3", "--json", base()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("Warning: the backup " + base() + " is not as it was read"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  bank 2 parameters (line1.pr2.zar4): edited since it was read\n"),
              std::string::npos)
        << r.err;
    auto warnings = ofType(jsonLines(r.out), "warning");
    ASSERT_EQ(warnings.size(), 1u);
    ASSERT_EQ(warnings[0]["items"].items.size(), 1u);
    EXPECT_EQ(warnings[0]["items"].items[0].str("state"), "edited");
    EXPECT_TRUE(sim_->receivedBytes().empty()); // nothing was sent

    // verify warns the same way and goes on; a write of banks left alone does not warn.
    r = ctl({"verify", "--port", device(), "--banks", "2-3", base()});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("Warning: the backup "), std::string::npos) << r.err;
    r = ctl({"write", "--port", device(), "--banks", "3", "--parameters", "--yes", base()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    r = ctl({"write", "--port", device(), "--banks", "2", "--parameters", "--yes", base()});
    EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace
} // namespace zar4::test
