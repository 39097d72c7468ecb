#include "fileio/safefile.h"

#include "tests/filesizelimit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mDir = fs::temp_directory_path() / ("safefile-" + std::to_string(getpid()));
        fs::remove_all(mDir);
        fs::create_directory(mDir);
    }
    void TearDown() override { fs::remove_all(mDir); }

    fs::path write(const std::string &name, const std::string &text, mode_t mode = 0644)
    {
        const fs::path path = mDir / name;
        std::ofstream(path, std::ios::binary) << text;
        chmod(path.c_str(), mode);
        return path;
    }
    static std::string read(const fs::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), {} };
    }
    static bool save(const fs::path &path, const std::string &text, std::string *error)
    {
        return writeFileSafely(path.string(),
                               { reinterpret_cast<const std::uint8_t *>(text.data()), text.size() },
                               error);
    }
    // The names in the folder: a failed write must leave no temporary file behind.
    std::vector<std::string> names() const
    {
        std::vector<std::string> list;
        for (const auto &entry : fs::directory_iterator(mDir))
            list.push_back(entry.path().filename().string());
        std::sort(list.begin(), list.end());
        return list;
    }
    static mode_t modeOf(const fs::path &path)
    {
        struct stat info;
        stat(path.c_str(), &info);
        return info.st_mode & 07777;
    }
    static std::pair<uid_t, gid_t> ownerOf(const fs::path &path)
    {
        struct stat info;
        stat(path.c_str(), &info);
        return { info.st_uid, info.st_gid };
    }
    // Runs `work` in a child process and waits for it to end; its exit status.
    template<typename Work>
    static int inChild(Work work)
    {
        const pid_t child = fork();
        if (child == 0)
            _exit(work());
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    }

    fs::path mDir;
};

TEST_F(SafeFileTest, WritesThroughLinksKeepingTheTargetsPermissions)
{
    const fs::path target = write("private.lsd", "old", 0600);
    fs::create_symlink("private.lsd", mDir / "link.lsd");
    fs::create_symlink(mDir / "link.lsd", mDir / "link2.lsd");
    std::string error;
    ASSERT_TRUE(save(mDir / "link2.lsd", "new", &error)) << error;
    EXPECT_EQ(read(target), "new");
    EXPECT_TRUE(fs::is_symlink(mDir / "link.lsd"));
    EXPECT_TRUE(fs::is_symlink(mDir / "link2.lsd"));
    EXPECT_EQ(modeOf(target), 0600u);

    // A new file gets the usual bits: 0666 less the umask.
    const mode_t mask = umask(027);
    ASSERT_TRUE(save(mDir / "fresh.lsd", "text", &error)) << error;
    umask(mask);
    EXPECT_EQ(modeOf(mDir / "fresh.lsd"), 0640u);
    EXPECT_EQ(names(),
              (std::vector<std::string>{ "fresh.lsd", "link.lsd", "link2.lsd", "private.lsd" }));
}

TEST_F(SafeFileTest, RefusesTargetsThatAreNotRegularFiles)
{
    fs::create_directory(mDir / "folder.lsd");
    ASSERT_EQ(mkfifo((mDir / "pipe.lsd").c_str(), 0600), 0);
    fs::create_symlink(mDir / "pipe.lsd", mDir / "to-pipe.lsd");
    const std::pair<fs::path, std::string> cases[] = {
        { mDir / "folder.lsd", "it is a folder" },
        { mDir / "to-pipe.lsd", "it is a FIFO, not a regular file" },
        { mDir / "no/such/folder.lsd", "No such file or directory" },
    };
    // A device node of our own (root may make one), so that a fault replaces nothing shared.
    if (mknod((mDir / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        std::string error;
        EXPECT_FALSE(save(mDir / "null", "text", &error));
        EXPECT_EQ(error, "it is a device, not a regular file");
        EXPECT_TRUE(fs::is_character_file(mDir / "null"));
    }
    for (const auto &[path, message] : cases) {
        SCOPED_TRACE(path.string());
        std::string error;
        EXPECT_FALSE(save(path, "text", &error));
        EXPECT_EQ(error, message);
    }
    EXPECT_TRUE(fs::is_fifo(mDir / "pipe.lsd"));
    EXPECT_TRUE(fs::is_directory(mDir / "folder.lsd"));
    std::vector<std::string> left = names();
    std::erase(left, "null");
    EXPECT_EQ(left, (std::vector<std::string>{ "folder.lsd", "pipe.lsd", "to-pipe.lsd" }));
}

TEST_F(SafeFileTest, AFailedWriteKeepsTheOldFileAndGivesTheSystemsReason)
{
    const fs::path target = write("figure.svg", "old bytes");
    // A file size limit makes writes fail as a full disk does, with a reason of their own.
    std::string error;
    bool whole = false;
    std::string wholeError;
    bool pieces = false;
    {
        const FileSizeLimit small(4096);
        whole = save(target, std::string(2 << 20, 'x'), &error);
        wholeError = error;
        // Small pieces stay in the buffer until commit, which must fail as well.
        SafeFile file;
        pieces = file.open(target.string(), &error);
        for (int i = 0; pieces && i < 1000; ++i)
            pieces = file.write("0123456789", 10, &error);
        pieces = pieces && file.commit(&error);
    }
    EXPECT_FALSE(whole);
    EXPECT_EQ(wholeError, "File too large");
    EXPECT_FALSE(pieces);
    EXPECT_EQ(error, "File too large");
    EXPECT_EQ(read(target), "old bytes");
    EXPECT_EQ(names(), std::vector<std::string>{ "figure.svg" });
}

TEST_F(SafeFileTest, LeavesNoTemporaryFileThatALaterWriteDoesNotRemove)
{
    const fs::path target = write("figure.svg", "old bytes");
    // Killed in the middle of a write: the target is whole, and nothing is named for it.
    const int status = inChild([&] {
        SafeFile file;
        std::string error;
        if (!file.open(target.string(), &error))
            return 1;
        const std::string piece(1 << 20, 'x');
        for (int i = 0; i < 8; ++i)
            (void)file.write(piece.data(), piece.size(), &error);
        raise(SIGKILL);
        return 2;
    });
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(read(target), "old bytes");
    EXPECT_EQ(names(), std::vector<std::string>{ "figure.svg" });

    // What killed writes leave where a file cannot be written unnamed, as this version and
    // earlier ones name it, goes with the next write to the folder; a live process's stays,
    // as does anything else.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone);
    const std::string alive = std::to_string(getppid());
    write(".sprig-tmp-" + dead + "-0", "left");
    write(".figure.svg.tmp-" + dead + "-3", "left");
    write(".sprig-tmp-" + alive + "-0", "being written");
    write(".notes.tmp-x", "kept");
    // A name of 255 bytes, the most a folder takes, works as any other.
    const std::string longName = std::string(251, 'n') + ".svg";
    std::string error;
    ASSERT_TRUE(save(mDir / longName, "new", &error)) << error;
    EXPECT_EQ(read(mDir / longName), "new");
    EXPECT_EQ(names(), (std::vector<std::string>{ ".notes.tmp-x", ".sprig-tmp-" + alive + "-0",
                                                  "figure.svg", longName }));
}

TEST_F(SafeFileTest, KeepsOwnerAndGroupOrSaysWhyNot)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "changing a file's owner needs root";
    const fs::path target = write("shared.lsd", "old", 04755);
    ASSERT_EQ(chown(target.c_str(), 12345, 23456), 0);
    chmod(target.c_str(), 04755); // chown clears the set-user-id bit
    ASSERT_EQ(link(target.c_str(), (mDir / "other.lsd").c_str()), 0);
    std::string error, warning;
    ASSERT_TRUE(writeFileSafely(target.string(),
                                { reinterpret_cast<const std::uint8_t *>("new"), 3 }, &error,
                                &warning))
            << error;
    EXPECT_EQ(ownerOf(target), (std::pair<uid_t, gid_t>{ 12345, 23456 }));
    EXPECT_EQ(modeOf(target), 04755u);
    EXPECT_EQ(warning, "its other name (a hard link) keeps the old contents");
    EXPECT_EQ(read(mDir / "other.lsd"), "old");

    // A user who may replace the file but not give it its owner: the file becomes the user's,
    // without the set-user-id bit, and the warning says so.
    chmod(mDir.c_str(), 0777);
    fs::remove(mDir / "other.lsd");
    const int status = inChild([&] {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            return 1;
        std::string childError, childWarning;
        if (!writeFileSafely(target.string(), { reinterpret_cast<const std::uint8_t *>("user"), 4 },
                             &childError, &childWarning))
            return 2;
        return childWarning.starts_with("it now belongs to ")
                               && childWarning.ends_with("(Operation not permitted)")
                       ? 0
                       : 3;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read(target), "user");
    EXPECT_EQ(ownerOf(target), (std::pair<uid_t, gid_t>{ 65534, 65534 }));
    EXPECT_EQ(modeOf(target), 0755u);
}

} // namespace
