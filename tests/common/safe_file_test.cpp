#include "common/safe_file.h"

#include <algorithm>

#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zar4 {
namespace {

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zar4-safefile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Names in the folder, so a test sees any temporary file left behind.
    std::vector<std::string> entries() {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.c_str());
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        closedir(d);
        return names;
    }
    std::string dir_;
};

TEST_F(SafeFileTest, WritesExactBytesAndReplacesOldContent) {
    std::string path = dir_ + "/a.prM.zar4";
    std::string binary("1\r\n\0\xff"
                       "2",
                       6);
    ASSERT_TRUE(writeFileSafely(path, "old content that is longer"));
    ASSERT_TRUE(writeFileSafely(path, binary));
    EXPECT_EQ(read(path), binary);
    EXPECT_EQ(entries(), std::vector<std::string>{"a.prM.zar4"});
    ASSERT_TRUE(writeFileSafely(path, ""));
    EXPECT_EQ(read(path), "");
}

TEST_F(SafeFileTest, UnfinishedWriterLeavesPreviousFileAndNoTemporary) {
    std::string path = dir_ + "/line1.pt3.bmp";
    ASSERT_TRUE(writeFileSafely(path, "previous pattern"));
    {
        SafeFileWriter writer;
        ASSERT_TRUE(writer.open(path));
        ASSERT_TRUE(writer.write("half a pat", 10));
        // Destroyed without commit: the read was cancelled or failed.
    }
    EXPECT_EQ(read(path), "previous pattern");
    EXPECT_EQ(entries().size(), 1u);

    SafeFileWriter writer;
    ASSERT_TRUE(writer.open(path));
    ASSERT_TRUE(writer.write("new ", 4));
    ASSERT_TRUE(writer.write("pattern", 7));
    EXPECT_EQ(read(path), "previous pattern") << "the target changes only at commit";
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(read(path), "new pattern");
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.commit()) << "a second commit has nothing to commit";
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(SafeFileTest, FailuresAreReportedAndLeaveNothingBehind) {
    EXPECT_FALSE(writeFileSafely(dir_ + "/missing-folder/x.prM.zar4", "1\n"));
    EXPECT_FALSE(writeFileSafely("", "1\n"));

    // A folder the program may not write into (root ignores permissions, so only test when
    // the refusal really happens).
    std::string locked = dir_ + "/locked";
    ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
    if (access(locked.c_str(), W_OK) != 0) {
        EXPECT_FALSE(writeFileSafely(locked + "/x.ini", "0\n"));
    }
}

TEST_F(SafeFileTest, WriteAfterFailureRefusesCommit) {
    std::string path = dir_ + "/z.ptA.bmp";
    ASSERT_TRUE(writeFileSafely(path, "kept"));
    SafeFileWriter writer;
    ASSERT_TRUE(writer.open(path));
    // Close the descriptor under the writer to make the next write fail like a full disk.
    for (int fd = 3; fd < 256; ++fd) {
        std::string link = "/proc/self/fd/" + std::to_string(fd);
        char target[512];
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, n).find(".z.ptA.bmp.tmp") != std::string::npos) {
            close(fd);
            break;
        }
    }
    EXPECT_FALSE(writer.write("data", 4));
    EXPECT_FALSE(writer.good());
    EXPECT_FALSE(writer.commit());
    EXPECT_EQ(read(path), "kept");
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(SafeFileTest, KeepsThePermissionsOfTheFileItReplaces) {
    std::string path = dir_ + "/p.prM.zar4";
    ASSERT_TRUE(writeFileSafely(path, "1"));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(writeFileSafely(path, "2"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Several installations may share one settings file through links: the shared file gets the
// new bytes and every link stays a link.
TEST_F(SafeFileTest, ALinkedTargetIsWrittenWhereTheLinkPoints) {
    ASSERT_EQ(mkdir((dir_ + "/shared").c_str(), 0700), 0);
    const std::string real = dir_ + "/shared/zar4loader.ini";
    const std::string link = dir_ + "/zar4loader.ini";
    ASSERT_TRUE(writeFileSafely(real, "old"));
    ASSERT_EQ(symlink("shared/zar4loader.ini", link.c_str()), 0);

    ASSERT_TRUE(writeFileSafely(link, "new"));
    EXPECT_EQ(read(real), "new");
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(entries().size(), 2u) << "no temporary file beside the link";

    // A link to nothing is replaced by the file, as a plain save would create it.
    const std::string dangling = dir_ + "/gone.ini";
    ASSERT_EQ(symlink("shared/none.ini", dangling.c_str()), 0);
    ASSERT_TRUE(writeFileSafely(dangling, "made"));
    EXPECT_EQ(read(dangling), "made");
}

// The settings beside an installed program: the folder belongs to the administrator, the
// file to the operator. Run as an ordinary user (root may write anywhere).
TEST_F(SafeFileTest, AFileInAFolderThatRefusesNewFilesIsRewrittenInPlace) {
    const std::string path = dir_ + "/zar4loader.ini";
    ASSERT_TRUE(writeFileSafely(path, "old settings"));
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(10);
        if (writeFileSafely(path, "lost"))
            _exit(11); // the folder refuses the temporary file
        if (!writeFileSafelyOrInPlace(path, "new"))
            _exit(12);
        // A file the operator may not write is still refused, and left alone.
        if (writeFileSafelyOrInPlace(dir_ + "/missing.ini", "x"))
            _exit(13);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read(path), "new");
    EXPECT_EQ(entries().size(), 1u);
}

// A killed run leaves its temporary file; the next write of the same target removes the ones
// whose process has ended, and nothing that belongs to a running process or another target.
TEST_F(SafeFileTest, LeftoversOfEndedRunsOfTheSameTargetAreRemoved) {
    pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0)
        _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const std::string target = "x.prM.zar4";
    const std::vector<std::string> kept = {
        temporaryFileName(target, 1, "a1B2c3"),                     // a running process
        temporaryFileName(target, getpid(), "a1B2c3"),              // this one
        temporaryFileName("x.pr0.zar4", ended, "a1B2c3"),           // another target
        "." + target + ".tmpQ1w2e3",                                // no process in the name
        "." + target + ".tmp" + std::to_string(ended) + "-a1B2c3d", // not the name's shape
    };
    const std::string removed = temporaryFileName(target, ended, "a1B2c3");
    EXPECT_EQ(temporaryFileOwner(removed, target), ended);
    for (const std::string& name : kept)
        ASSERT_TRUE(writeFileSafely(dir_ + "/" + name, "half"));
    ASSERT_TRUE(writeFileSafely(dir_ + "/" + removed, "half"));

    ASSERT_TRUE(writeFileSafely(dir_ + "/" + target, "1\n"));
    auto names = entries();
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = kept;
    expected.push_back(target);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

// Run as root, a replaced file keeps the operator's ownership as well as its bits.
TEST_F(SafeFileTest, RootKeepsTheOwnerAndGroupOfTheFileItReplaces) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    std::string path = dir_ + "/owned.pr1.zar4";
    ASSERT_TRUE(writeFileSafely(path, "1"));
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    ASSERT_TRUE(writeFileSafely(path, "2"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST_F(SafeFileTest, ReadableTest) {
    EXPECT_FALSE(fileIsReadable(dir_ + "/none"));
    ASSERT_TRUE(writeFileSafely(dir_ + "/some", "x"));
    EXPECT_TRUE(fileIsReadable(dir_ + "/some"));
}

} // namespace
} // namespace zar4
