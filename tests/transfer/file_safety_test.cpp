// A restore never half-writes the sensor: every file of a write is checked before the first
// exchange, and a read replaces only plain files the operator may write. What the simulated
// sensor received proves what was sent.

#include "params/parameter_set.h"
#include "transfer/transfer_fixture.h"

#include <filesystem>
#include <sys/sysmacros.h>

namespace zar4::test {
namespace {

using namespace zar4::texts;

constexpr uid_t kNobody = 65534;

// While it lives, files are opened as an ordinary user would open them: root reads and
// writes files whatever their permission bits say.
class AsOrdinaryUser {
public:
    explicit AsOrdinaryUser(const std::string& folder) {
        if (::geteuid() != 0)
            return;
        ::chmod(folder.c_str(), 0777);
        switched_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~AsOrdinaryUser() {
        if (switched_) {
            (void)!::seteuid(0);
            (void)!::setegid(0);
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

private:
    bool switched_ = false;
};

std::string bankText(int seed, int lines = 32) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += std::to_string(i == 8 ? 236 : i == 9 ? 208 : seed * 100 + i) + "\n";
    return text;
}

std::string patternOf(int seed) {
    std::vector<std::uint16_t> words(sim::kPatternWords);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>((i * 13 + static_cast<std::size_t>(seed)) & 0xFFFF);
    return patternFileFromWords(words);
}

class FileSafety : public SensorTest {
protected:
    void SetUp() override { startSensor(); }
    // A whole valid backup of banks 4 to 6: parameters, common file and patterns.
    void writeValidBackup() {
        for (int bank = 4; bank <= 6; ++bank) {
            writeFile(paramFile(bank), bankText(bank));
            writeFile(patternFile(bank), patternOf(bank));
        }
        writeFile(paramFile(15), "7\n0\n250\n40\n1064\n");
    }
};

struct InvalidFile {
    const char* what;
    bool pattern; // the bank 5 pattern file, else the bank 5 parameter file
    std::function<void(const std::string& path)> make;
    const char* text;   // the first line of the "Error" box
    const char* reason; // what follows "<path>: "; empty: the line holds the path alone
    bool asOrdinaryUser = false;
};

TEST_F(FileSafety, AWriteWithOneInvalidFileAmongValidOnesSendsNothing) {
    auto replaceLine = [](int line, const std::string& value) {
        return [line, value](const std::string& path) {
            std::string text;
            for (int i = 0; i < 32; ++i)
                text += (i == line ? value
                                   : std::to_string(i == 8   ? 236
                                                    : i == 9 ? 208
                                                             : i)) +
                        "\n";
            writeFile(path, text);
        };
    };
    // A parameter file that cannot be read is told in the parameter editor's words.
    EXPECT_STREQ(kParametersFileUnreadable, kUnreadableFileText);
    const std::string good = patternOf(5);
    const std::vector<InvalidFile> cases = {
        {"31 lines", false, [](const std::string& p) { writeFile(p, bankText(5, 31)); },
         kParametersFileInvalid, "line 32 is missing"},
        {"over 64 KiB", false,
         [](const std::string& p) {
             writeFile(p, bankText(5));
             ASSERT_EQ(::truncate(p.c_str(), 1LL << 30), 0); // 1 GB, sparse
         },
         kParametersFileInvalid, "larger than 64 KiB"},
        {"words", false, replaceLine(6, "hello world"), kParametersFileInvalid,
         "line 7 is not a number from 0 to 65535"},
        {"negative", false, replaceLine(0, "-1"), kParametersFileInvalid,
         "line 1 is not a number from 0 to 65535"},
        {"above 65535", false, replaceLine(31, "65536"), kParametersFileInvalid,
         "line 32 is not a number from 0 to 65535"},
        {"wraps", false, replaceLine(3, "99999999999"), kParametersFileInvalid,
         "line 4 is not a number from 0 to 65535"},
        {"model mark", false, replaceLine(9, "256"), kFileModelNotZar4, ""},
        {"FIFO", false, [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
         kParametersFileInvalid, "is a FIFO"},
        {"dangling link", false,
         [](const std::string& p) { ASSERT_EQ(::symlink("gone", p.c_str()), 0); },
         kParametersFileInvalid, "is a link to nothing"},
        {"unreadable", false,
         [](const std::string& p) {
             writeFile(p, bankText(5));
             ASSERT_EQ(::chmod(p.c_str(), 0), 0);
         },
         kParametersFileUnreadable, "permission denied", true},
        {"cut pattern", true, [&](const std::string& p) { writeFile(p, good.substr(0, 100000)); },
         kPatternsFileInvalid, "holds 100000 bytes, not the 147318 of a pattern file"},
        {"32-bit header", true,
         [&](const std::string& p) {
             std::string deep = good;
             deep[28] = 32;
             writeFile(p, deep);
         },
         kPatternsFileInvalid, "has no header of a 24-bit pattern file"},
        {"folder", true, [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0755), 0); },
         kPatternsFileInvalid, "is a folder"},
        {"unreadable pattern", true,
         [&](const std::string& p) {
             writeFile(p, good);
             ASSERT_EQ(::chmod(p.c_str(), 0), 0);
         },
         kPatternsFileInvalid, "permission denied", true},
    };
    for (const InvalidFile& c : cases) {
        SCOPED_TRACE(c.what);
        writeValidBackup();
        const std::string path = c.pattern ? patternFile(5) : paramFile(5);
        ::unlink(path.c_str());
        c.make(path);
        sim_->clearLog();
        const auto before = model();
        std::string box = std::string(c.text) + "\n" + path;
        if (*c.reason)
            box += std::string(": ") + c.reason;
        view.boxes.expectError(box);
        if (c.text == kFileModelNotZar4)
            view.boxes.expectError(kTransferAborted);
        {
            std::unique_ptr<AsOrdinaryUser> user;
            if (c.asOrdinaryUser)
                user = std::make_unique<AsOrdinaryUser>(dir.path());
            EXPECT_EQ(run(Operation::Write, 4, 6, true, true), TransferOutcome::Failed);
        }
        EXPECT_EQ(wire(), Bytes{});
        EXPECT_EQ(model().bank, before.bank);
        EXPECT_EQ(readFile(paramFile(15)), "7\n0\n250\n40\n1064\n"); // not rewritten either
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

// What is sent is what was checked: a file changed after the check cannot slip through.
TEST_F(FileSafety, AWriteSendsTheBytesItCheckedNotTheFileAsItIsByItsTurn) {
    writeFile(patternFile(4), patternOf(4));
    writeFile(patternFile(5), patternOf(5));
    view.onPump = [&](int n) {
        if (n == 1)
            writeFile(patternFile(5), patternOf(99).substr(0, 1000));
    };
    EXPECT_EQ(run(Operation::Write, 4, 5, false, true), TransferOutcome::Completed);
    EXPECT_EQ(patternFileFromWords(model().pattern[5]), patternOf(5));
}

struct RefusedTarget {
    const char* what;
    std::function<void(const std::string& path)> make;
    const char* reason;
    bool asOrdinaryUser = false;
};

TEST_F(FileSafety, AReadRefusesTargetsThatAreNoPlainFileItMayWriteAndLeavesThemAlone) {
    const std::vector<RefusedTarget> cases = {
        {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
         "is a FIFO"},
        {"folder", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0755), 0); },
         "is a folder"},
        {"device node",
         [](const std::string& p) {
             // The null device's numbers; where nodes cannot be made, a link to one stands in.
             if (::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                 ASSERT_EQ(::symlink("/dev/null", p.c_str()), 0);
             }
         },
         nullptr},
        {"link to a device",
         [](const std::string& p) { ASSERT_EQ(::symlink("/dev/null", p.c_str()), 0); },
         "is a link to a device"},
        {"dangling link", [](const std::string& p) { ASSERT_EQ(::symlink("gone", p.c_str()), 0); },
         "is a link to nothing"},
        {"read-only",
         [](const std::string& p) {
             writeFile(p, "kept\n");
             ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
         },
         "permission denied", true},
    };
    for (const RefusedTarget& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = paramFile(5);
        c.make(path);
        struct stat before {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        sim_->clearLog();
        const std::string reason =
            c.reason ? c.reason
                     : (S_ISLNK(before.st_mode) ? "is a link to a device" : "is a device");
        view.boxes.expectError(std::string(kFailedToCreateFile) + "\n" + path + ": " + reason);
        {
            std::unique_ptr<AsOrdinaryUser> user;
            if (c.asOrdinaryUser)
                user = std::make_unique<AsOrdinaryUser>(dir.path());
            EXPECT_EQ(run(Operation::Read, 5, 5, true, false), TransferOutcome::Failed);
        }
        EXPECT_EQ(wire(), getParameterBlock(5));
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        if (S_ISREG(after.st_mode)) {
            EXPECT_EQ(readFile(path), "kept\n");
        }
        EXPECT_EQ(dir.entries().size(), 1u); // nothing temporary left beside it
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

// A killed run leaves its temporary file behind; the next read of that file clears it, and
// keeps the file's permission bits.
TEST_F(FileSafety, AReadClearsWhatAKilledRunLeftAndKeepsThePermissions) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string dead = temporaryFileName("line1.pt5.bmp", child, "Ab12Cd");
    const std::string live = temporaryFileName("line1.pt5.bmp", 1, "Ab12Cd");
    const std::string other = temporaryFileName("line1.pt6.bmp", child, "Ab12Cd");
    for (const std::string& name : {dead, live, other})
        writeFile(dir.path() + "/" + name, "half a pattern");
    writeFile(patternFile(5), "yesterday's pattern");
    ASSERT_EQ(::chmod(patternFile(5).c_str(), 0640), 0);

    view.boxes.expectQuestion(kOverwriteFile, true);
    EXPECT_EQ(run(Operation::Read, 5, 5, false, true), TransferOutcome::Completed);
    auto names = dir.entries();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{live, other, "line1.pt5.bmp"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    struct stat st {};
    ASSERT_EQ(::stat(patternFile(5).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(patternFile(5)).size(), 147318u);
}

} // namespace
} // namespace zar4::test
