// The backup manifest: its file, the strict reading of it, the recorder a read fills, and the
// offline check with its summary. The reads against the simulated sensor are elsewhere.

#include "common/sha256.h"
#include "common/version.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "support/temp_folder.h"
#include "transfer/manifest_check.h"
#include "transfer/manifest_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zar4 {
namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// 2026-12-07T14:03:12Z, one second later at every look.
ManifestRecorder::Clock ticking() {
    auto now = std::make_shared<std::int64_t>(1796652192);
    return [now] { return (*now)++; };
}

class ManifestTest : public ::testing::Test {
protected:
    TransferRequest request(int first, int last, bool parameters, bool patterns) const {
        TransferRequest r;
        r.baseName = base;
        r.firstBank = first;
        r.lastBank = last;
        r.includeParameters = parameters;
        r.includePatterns = patterns;
        return r;
    }
    // What a read of bank 3's parameters and the common parameters leaves: two files and
    // their manifest.
    ManifestRecorder readBank3(TransferOutcome outcome = TransferOutcome::Completed) {
        ManifestRecorder recorder(request(3, 3, true, false), origin, ticking());
        writeText(parameterFileName(base, 3), "1\n2\n");
        recorder.itemDone(ItemKind::Parameters, 3, parameterFileName(base, 3));
        if (outcome != TransferOutcome::Cancelled) {
            writeText(parameterFileName(base, 15), "5\n");
            recorder.itemDone(ItemKind::Parameters, 15, parameterFileName(base, 15));
        }
        std::string reason;
        EXPECT_TRUE(recorder.finish(outcome, "", reason)) << reason;
        return recorder;
    }

    test::TempFolder folder{"zar4manifest"};
    std::string base = folder.base("line1");
    ReadOrigin origin{"zar4ctl", "COM3", "/dev/ttyUSB0", 57600};
};

TEST_F(ManifestTest, ACompleteReadWritesEveryFieldAndReadsBackTheSame) {
    readBank3();
    const std::string text = readText(manifestFileName(base));
    EXPECT_EQ(text,
              std::string("{\n"
                          "  \"format\":\"ZAR4 backup manifest\",\n"
                          "  \"version\":1,\n"
                          "  \"program\":{\"name\":\"zar4ctl\",\"version\":\"") +
                  kProjectVersion +
                  "\"},\n"
                  "  \"started\":\"2026-12-07T14:03:12Z\",\n"
                  "  \"ended\":\"2026-12-07T14:03:14Z\",\n"
                  "  \"resumed\":[],\n"
                  "  \"port\":{\"name\":\"COM3\",\"device\":\"/dev/ttyUSB0\",\"rate\":57600},\n"
                  "  \"banks\":{\"first\":3,\"last\":3},\n"
                  "  \"kinds\":[\"parameters\"],\n"
                  "  \"outcome\":\"complete\",\n"
                  "  \"failure\":null,\n"
                  "  \"items\":[\n"
                  "    {\"bank\":3,\"kind\":\"parameters\",\"file\":\"line1.pr3.zar4\","
                  "\"size\":4,\"sha256\":\"" +
                  sha256Hex("1\n2\n") +
                  "\"},\n"
                  "    {\"bank\":\"common\",\"kind\":\"parameters\",\"file\":\"line1.prM."
                  "zar4\",\"size\":2,\"sha256\":\"" +
                  sha256Hex("5\n") +
                  "\"}\n"
                  "  ]\n"
                  "}\n");
    ManifestRead read = readManifest(manifestFileName(base));
    ASSERT_EQ(read.status, ManifestRead::Status::Ok) << read.reason;
    EXPECT_EQ(manifestText(read.manifest), text);
    EXPECT_EQ(read.manifest.request(base).firstBank, 3);
}

TEST_F(ManifestTest, AManifestThatIsNotExactlyRightIsRefusedWithItsReason) {
    readBank3();
    const std::string good = readText(manifestFileName(base));
    const struct {
        const char* from;
        const char* to;
        const char* why;
    } cases[] = {
        {"\"version\":1", "\"version\":2", "is of format 2, written by a later program"},
        {"ZAR4 backup manifest", "something", "is no backup manifest"},
        {"\"started\":\"2026-12-07T14:03:12Z\"", "\"started\":\"2026-12-07 14:03\"",
         "\"started\" is not a UTC time"},
        {"\"ended\":\"2026-12-07T14:03:14Z\"", "\"ended\":\"2026-12-06T14:03:14Z\"",
         "ends before it starts"},
        {"\"rate\":57600", "\"rate\":1200", "has the rate 1200"},
        {"\"last\":3", "\"last\":15", "\"last\" is 15, not 0 to 14"},
        {"[\"parameters\"]", "[\"parameters\",\"parameters\"]", "once each"},
        {"\"outcome\":\"complete\"", "\"outcome\":\"done\"", "has the outcome \"done\""},
        {"\"failure\":null", "\"failure\":\"x\"", "\"failure\" is not null"},
        {"\"bank\":3,", "\"bank\":4,", "the items are not those the read asked for"},
        {"\"file\":\"line1.pr3.zar4\"", "\"file\":\"../etc/passwd.pr3.zar4\"",
         "not one ending in \".pr3.zar4\" beside the manifest"},
        {"\"file\":\"line1.prM.zar4\"", "\"file\":\"line2.prM.zar4\"", "of another backup"},
        {"\"size\":4,", "", "the item of bank 3 parameters has no \"size\""},
        {"\"size\":4,", "\"size\":65537,", "\"size\" is 65537"},
        {"\"sha256\":\"", "\"sha256\":\"x", "not 64 hexadecimal digits"},
        {"\"size\":4,", "\"size\":4,\"note\":1,", "has an unknown field \"note\""},
        {"\"resumed\":[]", "\"resumed\":[],\"extra\":0", "has an unknown field \"extra\""},
        {"\"items\":[", "\"items\":[{},", "lists 3 items where the read asked for 2"},
    };
    for (const auto& c : cases) {
        std::string text = good;
        auto at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, std::string(c.from).size(), c.to);
        Manifest m;
        std::string why;
        EXPECT_FALSE(parseManifest(text, m, why)) << c.to;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.to << " -> " << why;
    }
    // A complete read's item without its size and digest: the manifest would vouch for nothing.
    std::string text = good;
    const std::string digest = ",\"size\":2,\"sha256\":\"" + sha256Hex("5\n") + "\"";
    text.erase(text.find(digest), digest.size());
    Manifest m;
    std::string why;
    EXPECT_FALSE(parseManifest(text, m, why));
    EXPECT_NE(why.find("says complete, but not every item was read"), std::string::npos) << why;
}

TEST_F(ManifestTest, CheckFindsEditedMissingAndNeverReadFilesAndSummarises) {
    readBank3();
    BackupCheck check = checkBackup(base);
    ASSERT_EQ(check.status, BackupCheck::Status::AsRead) << check.reason;
    EXPECT_EQ(backupSummary(check),
              std::vector<std::string>{
                  "read 2026-12-07 14:03 UTC from COM3 (/dev/ttyUSB0) at 57600 bit/s by "
                  "zar4ctl " +
                  std::string(kProjectVersion) +
                  ": bank 3, parameters; complete; 2 files as read"});

    writeText(parameterFileName(base, 3), "1\n3\n"); // same size, other digest
    std::filesystem::remove(parameterFileName(base, 15));
    check = checkBackup(base);
    EXPECT_EQ(check.status, BackupCheck::Status::NotAsRead);
    ASSERT_EQ(check.items.size(), 2u);
    EXPECT_EQ(itemCheckText(check.items[0]),
              "bank 3 parameters (line1.pr3.zar4): edited since it was read");
    EXPECT_EQ(itemCheckText(check.items[1]), "common parameters (line1.prM.zar4): missing: " +
                                                 parameterFileName(base, 15) + " is not there");
    auto summary = backupSummary(check);
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_NE(summary[0].find("complete; 0 of 2 files as read"), std::string::npos);
    EXPECT_EQ(summary[1], "bank 3 parameters edited since; common parameters deleted since");

    // A cancelled read: the items it never reached are listed as such.
    readBank3(TransferOutcome::Cancelled);
    check = checkBackup(base);
    EXPECT_EQ(check.status, BackupCheck::Status::NotAsRead);
    EXPECT_EQ(check.items[1].state, ItemCheck::State::NeverRead);
    EXPECT_NE(backupSummary(check)[0].find("; cancelled after bank 3's parameters: 1 of 2 files"),
              std::string::npos);
}

TEST_F(ManifestTest, WithoutOrWithABadManifestTheCheckSaysWhy) {
    BackupCheck check = checkBackup(base);
    EXPECT_EQ(check.status, BackupCheck::Status::NoManifest);
    EXPECT_EQ(backupSummary(check)[0].rfind("no manifest: " + manifestFileName(base), 0), 0u);

    writeText(manifestFileName(base), "{\"format\":");
    check = checkBackup(base);
    EXPECT_EQ(check.status, BackupCheck::Status::BadManifest);
    EXPECT_EQ(backupSummary(check),
              std::vector<std::string>{"the manifest cannot be read: " + manifestFileName(base) +
                                       ": is no JSON: line 1, column 11: the text ends where a "
                                       "value should be"});
}

TEST_F(ManifestTest, TheRecorderTellsUnfinishedFailedAndKeepsAManifestNoFileChanged) {
    ManifestRecorder recorder(request(0, 1, false, true), origin, ticking());
    writeText(patternFileName(base, 0), "bitmap");
    recorder.itemDone(ItemKind::Pattern, 0, patternFileName(base, 0));
    // From the first file on, until the end, the manifest says the read has not ended.
    Manifest during;
    std::string why;
    ASSERT_TRUE(parseManifest(readText(manifestFileName(base)), during, why)) << why;
    EXPECT_EQ(during.outcome, ManifestOutcome::Unfinished);
    EXPECT_TRUE(during.items[0].read);

    std::string reason;
    ASSERT_TRUE(recorder.finish(TransferOutcome::Failed, "No communication response.", reason));
    BackupCheck check = checkBackup(base);
    EXPECT_EQ(check.manifest.outcome, ManifestOutcome::Failed);
    EXPECT_EQ(check.manifest.failure, "No communication response.");
    EXPECT_NE(backupSummary(check)[0].find("; failed after bank 0's pattern (\"No communication "
                                           "response.\"): 1 of 2 files"),
              std::string::npos);

    // A later read that declines at its first file leaves that manifest alone.
    const std::string before = readText(manifestFileName(base));
    ManifestRecorder declined(request(0, 1, false, true), origin, ticking());
    ASSERT_TRUE(declined.finish(TransferOutcome::Declined, "", reason));
    EXPECT_TRUE(declined.keptExisting());
    EXPECT_EQ(readText(manifestFileName(base)), before);

    // A resumed read keeps what is as read and completes the rest.
    ManifestRecorder resumed(
        request(0, 1, false, true), origin, check.manifest,
        [](const ManifestItem&) { return true; }, ticking());
    writeText(patternFileName(base, 1), "bitmap 1");
    resumed.itemDone(ItemKind::Pattern, 1, patternFileName(base, 1));
    ASSERT_TRUE(resumed.finish(TransferOutcome::Completed, "", reason));
    check = checkBackup(base);
    EXPECT_EQ(check.status, BackupCheck::Status::AsRead);
    EXPECT_EQ(check.manifest.resumed, std::vector<std::string>{"2026-12-07T14:03:12Z"});
    EXPECT_EQ(check.manifest.started, "2026-12-07T14:03:12Z");
}

TEST_F(ManifestTest, AManifestThatCannotBeWrittenIsReportedAndTheFilesStay) {
    std::filesystem::create_directory(manifestFileName(base)); // a folder in its place
    ManifestRecorder recorder(request(3, 3, true, false), origin, ticking());
    writeText(parameterFileName(base, 3), "1\n");
    recorder.itemDone(ItemKind::Parameters, 3, parameterFileName(base, 3));
    std::string reason;
    EXPECT_FALSE(recorder.finish(TransferOutcome::Cancelled, "", reason));
    EXPECT_EQ(reason.rfind(manifestFileName(base) + ": ", 0), 0u) << reason;
    EXPECT_EQ(readText(parameterFileName(base, 3)), "1\n");
}

TEST_F(ManifestTest, AResumeReadsWhatWasNeverReadOrChangedAndOnlyForItsOwnFiles) {
    readBank3(TransferOutcome::Cancelled);
    ResumePlan plan = planResume(base);
    ASSERT_TRUE(plan.ok) << plan.refusal;
    EXPECT_FALSE(plan.reads(ItemKind::Parameters, 3));
    EXPECT_TRUE(plan.reads(ItemKind::Parameters, 15));
    EXPECT_TRUE(plan.replaced().empty());

    writeText(parameterFileName(base, 3), "edited\n");
    plan = planResume(base);
    EXPECT_TRUE(plan.reads(ItemKind::Parameters, 3));
    ASSERT_EQ(plan.replaced().size(), 1u);
    EXPECT_EQ(plan.replaced()[0].path, parameterFileName(base, 3));

    // A manifest beside another base name speaks of other files.
    std::filesystem::copy_file(manifestFileName(base), manifestFileName(folder.base("line2")));
    plan = planResume(folder.base("line2"));
    EXPECT_FALSE(plan.ok);
    EXPECT_NE(plan.refusal.find("lists line1.pr3.zar4, not line2.pr3.zar4"), std::string::npos);
    EXPECT_FALSE(planResume(folder.base("line3")).ok);
}

TEST(ManifestTime, UtcTimesBothWays) {
    for (std::int64_t t : {std::int64_t{0}, std::int64_t{951782400} /* 2000-02-29 */,
                           std::int64_t{1796652192}, std::int64_t{4102444799}}) {
        std::int64_t back = -1;
        EXPECT_TRUE(parseIsoUtcTime(isoUtcTime(t), back)) << isoUtcTime(t);
        EXPECT_EQ(back, t);
    }
    EXPECT_EQ(isoUtcTime(951782400), "2000-02-29T00:00:00Z");
    std::int64_t ignored = 0;
    for (const char* bad : {"2025-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-07T24:00:00Z",
                            "2026-12-07T14:03:12", "2026-12-07T14:03:12+01:00"})
        EXPECT_FALSE(parseIsoUtcTime(bad, ignored)) << bad;
}

} // namespace
} // namespace zar4
