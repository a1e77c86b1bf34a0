// What the safe writer promises where only POSIX systems can show it: descriptors, permission
// bits, owners, symbolic links and folders the operator may not write into.

#include "common/safe_file.h"
#include "common/safe_file_fixture.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zar4::test {
namespace {

TEST_F(SafeFileTest, AFolderThatRefusesNewFilesFailsTheWrite) {
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

} // namespace
} // namespace zar4::test
