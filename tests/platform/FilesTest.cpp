#include "platform/Files.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/Executable.h"
#include "platform/Interruption.h"
#include "platform/TempDir.h"
#include "platform/TemporaryNames.h"
#include "platform/Text.h"

namespace keldro {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

ByteVector bytesOf(const std::string& s) { return ByteVector(s.begin(), s.end()); }

TEST(Files, ReadOnlyIsTheOwnerWriteBit) {
    TempDir dir;
    const std::string f = dir.file("a.mmf");
    writeText(f, "x");
    EXPECT_FALSE(isReadOnly(f));
    testing::makeReadOnly(f);
    EXPECT_TRUE(isReadOnly(f));  // even for root
    EXPECT_FALSE(isReadOnly(dir.file("missing")));
    EXPECT_TRUE(isDirectory(dir.path()));
    EXPECT_FALSE(fileStatus(dir.file("missing")).has_value());
}

TEST(Files, SafeWriteReplacesWholeOrNothing) {
    TempDir dir;
    const std::string f = dir.file("out.mmf");
    ASSERT_TRUE(writeFileSafely(f, bytesOf("first")));
    EXPECT_EQ(readText(f), "first");
    ASSERT_TRUE(writeFileSafely(f, bytesOf("second!")));
    EXPECT_EQ(readText(f), "second!");
    // A missing directory: nothing is created anywhere.
    EXPECT_FALSE(writeFileSafely(dir.file("no/out.mmf"), bytesOf("x")));
    // A directory in the way is not replaced.
    ASSERT_EQ(::mkdir(dir.file("d.mmf").c_str(), 0755), 0);
    EXPECT_FALSE(writeFileSafely(dir.file("d.mmf"), bytesOf("x")));
    EXPECT_TRUE(isDirectory(dir.file("d.mmf")));
    EXPECT_EQ(testing::listDir(dir.path()).size(), 2u);  // no temporary file left behind
}

TEST(Files, SameFile) {
    TempDir dir;
    const std::string in = dir.file("in.mmf");
    writeText(in, std::string("a\0b", 3));
    writeText(dir.file("out.mmf"), "x");
    EXPECT_TRUE(isSameFile(in, dir.path() + "/./in.mmf"));
    EXPECT_FALSE(isSameFile(in, dir.file("out.mmf")));
}

// One read gives the bytes and the permission bits they are copied with; a
// file longer than the limit is refused before it is read.
TEST(Files, ReadWholeFileOrFolder) {
    TempDir dir;
    const std::string in = dir.file("in.mmf");
    writeText(in, std::string("a\0b", 3));
    ASSERT_EQ(::chmod(in.c_str(), 0640), 0);
    ReadFile file;
    ASSERT_EQ(readWholeFileOrFolder(in, file, 3), ReadOutcome::Read);
    EXPECT_EQ(file.bytes, bytesOf(std::string("a\0b", 3)));
    EXPECT_EQ(file.permissions, 0640u);
    EXPECT_EQ(readWholeFileOrFolder(in, file, 2), ReadOutcome::TooLarge);
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_EQ(readWholeFileOrFolder(dir.path(), file, 3), ReadOutcome::Directory);
    EXPECT_EQ(readWholeFileOrFolder(dir.file("missing"), file, 3), ReadOutcome::Failed);
}

TEST(Files, SafeWriterKeepsTheTargetUntilCommitAndLeavesNoTraceWithout) {
    TempDir dir;
    const std::string f = dir.file("log.txt");
    writeText(f, "old");
    {
        SafeFileWriter w(f);
        ASSERT_TRUE(w.append(bytesOf("new ")));
        ASSERT_TRUE(w.append(bytesOf("text")));
        EXPECT_EQ(readText(f), "old");
        ASSERT_TRUE(w.commit());
    }
    EXPECT_EQ(readText(f), "new text");
    {
        SafeFileWriter abandoned(f);
        ASSERT_TRUE(abandoned.append(bytesOf("lost")));
    }
    EXPECT_EQ(readText(f), "new text");
    {
        SafeFileWriter fresh(dir.file("new.txt"), 0600);
        ASSERT_TRUE(fresh.append(bytesOf("n")));
        ASSERT_TRUE(fresh.commit());
    }
    EXPECT_EQ(readText(dir.file("new.txt")), "n");
    EXPECT_EQ(testing::listDir(dir.path()).size(), 2u);
}

// A default ACL such as "user::rwx group::--- other::---", in the kernel's
// binary form; false where the file system takes none.
bool setOwnerOnlyDefaultAcl(const std::string& folder) {
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    struct {
        std::uint32_t version = 2;
        Entry entries[3] = {{0x01, 7, ~0u}, {0x04, 0, ~0u}, {0x20, 0, ~0u}};
    } acl;
    return ::setxattr(folder.c_str(), "system.posix_acl_default", &acl, sizeof acl, 0) == 0;
}

// A new file gets the mode asked for less the umask, also in a folder whose
// default ACL would give it other bits; an existing file keeps its own. The
// folders alternate, so an answer remembered for one folder cannot serve the next.
TEST(Files, SafeWriteGivesTheModeAskedForInEveryFolder) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    TempDir dir;
    const std::string plain = dir.file("plain"), owner = dir.file("acl");
    ASSERT_EQ(::mkdir(plain.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(owner.c_str(), 0755), 0);
    std::vector<std::string> folders = {plain};
    if (setOwnerOnlyDefaultAcl(owner)) folders = {plain, owner, plain, owner};
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : ~0u;
    };
    int n = 0;
    for (const std::string& folder : folders) {
        for (const unsigned mode : {0666u, 0644u, 0600u, 0755u, 04755u}) {
            const std::string f = folder + "/f" + std::to_string(n++) + ".mmf";
            SCOPED_TRACE(f);
            ASSERT_TRUE(writeFileSafely(f, bytesOf("x"), mode));
            EXPECT_EQ(modeOf(f), mode & ~mask);
        }
        const std::string existing = folder + "/existing.mmf";
        writeText(existing, "old");
        ::chmod(existing.c_str(), 0604);
        ASSERT_TRUE(writeFileSafely(existing, bytesOf("new")));
        EXPECT_EQ(modeOf(existing), 0604u);
    }
}

// A fresh write links the file in only where nothing is: whatever is at the
// path (a file, a folder, a link that leads nowhere) stays as it was and the
// answer sends the caller the usual way, as does a missing folder. Nothing
// temporary is left behind.
TEST(Files, FreshWriteOnlyWhereNothingIs) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    TempDir dir;
    writeText(dir.file("file.mmf"), "old");
    ASSERT_EQ(::mkdir(dir.file("folder.mmf").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("nowhere.mmf", dir.file("dangling.mmf").c_str()), 0);
    EXPECT_EQ(writeFreshFile(dir.file("new.mmf"), bytesOf("new"), 0640), FreshWrite::Written);
    EXPECT_EQ(readText(dir.file("new.mmf")), "new");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("new.mmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u & ~mask);
    for (const char* taken : {"file.mmf", "folder.mmf", "dangling.mmf", "missing/new.mmf", "new.mmf"})
        EXPECT_EQ(writeFreshFile(dir.file(taken), bytesOf("fresh")), FreshWrite::Untouched) << taken;
    EXPECT_EQ(readText(dir.file("file.mmf")), "old");
    EXPECT_EQ(readText(dir.file("new.mmf")), "new");
    EXPECT_TRUE(isDirectory(dir.file("folder.mmf")));
    char link[64] = {};
    ASSERT_GT(::readlink(dir.file("dangling.mmf").c_str(), link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "nowhere.mmf");
    EXPECT_EQ(testing::listDir(dir.path()).size(), 4u);
}

// The child of the TemporaryNames signal tests. It must start as a fresh
// process (this test program started again), not as a fork of the test run:
// a fork inherits the handlers an earlier test's temporary file installed,
// and the child would not begin as a program that has listed nothing yet.
// The environment tells it the signal, whether to ignore it, whether an
// InterruptWatch runs (as in keldro-batch), and its folder.
constexpr const char* kSignalChildVariable = "KELDRO_TEST_SIGNAL_CHILD";

[[noreturn]] void playSignalChild(const char* request) {
    int sig = 0, ignored = 0, watched = 0, used = 0;
    if (std::sscanf(request, "%d %d %d %n", &sig, &ignored, &watched, &used) != 3) _exit(9);
    const std::string dir = request + used;
    ::signal(sig, ignored ? SIG_IGN : SIG_DFL);
    std::optional<InterruptWatch> watch;
    if (watched) watch.emplace();
    writeText(dir + "/.keldro-listed", "partial");
    writeText(dir + "/.keldro-unlisted", "done");
    { TemporaryName gone(dir + "/.keldro-unlisted"); }
    TemporaryName name(dir + "/.keldro-listed");
    if (watch) {
        // The first signal only asks to stop: the write goes on, its file stays.
        ::raise(sig);
        if (watch->signal() != sig || !fileExists(dir + "/.keldro-listed")) _exit(6);
    }
    ::raise(sig);
    _exit(7);
}

// Runs before main: a program started as the signal child plays it and ends.
const bool kIsSignalChild = [] {
    if (const char* request = std::getenv(kSignalChildVariable)) playSignalChild(request);
    return false;
}();

// Runs the signal child in `dir` and returns its wait status.
int runSignalChild(int sig, bool ignored, bool watched, const std::string& dir) {
    const std::string self = *executablePath();
    // The child's environment: this one and the variable that makes it the child.
    std::vector<std::string> variables{std::string(kSignalChildVariable) + "=" + std::to_string(sig) + " " +
                                       (ignored ? "1 " : "0 ") + (watched ? "1 " : "0 ") + dir};
    for (char** e = environ; *e; ++e) variables.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& v : variables) env.push_back(v.data());
    env.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execle(self.c_str(), self.c_str(), static_cast<char*>(nullptr), env.data());
        _exit(8);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return status;
}

// A listed temporary file is removed when SIGINT, SIGTERM or SIGHUP ends the
// process, and the process still ends by that signal; a signal the process
// ignores stays ignored. Run in a child process, which the signal ends.
TEST(TemporaryNames, RemovedWhenASignalEndsTheProcess) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        for (bool ignored : {false, true}) {
            SCOPED_TRACE(std::string(strsignal(sig)) + (ignored ? " ignored" : ""));
            TempDir dir;
            const std::string listed = dir.file(".keldro-listed"), unlisted = dir.file(".keldro-unlisted");
            const int status = runSignalChild(sig, ignored, false, dir.path());
            if (ignored) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
                EXPECT_TRUE(fileExists(listed));
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
                EXPECT_FALSE(fileExists(listed));
            }
            EXPECT_TRUE(fileExists(unlisted));
        }
    }
}

// Under an InterruptWatch (keldro-batch) the first SIGINT or SIGTERM only
// asks to stop and the file being written stays; a second one during that
// write ends the process by that signal and removes the listed file.
TEST(TemporaryNames, RemovedWhenASecondSignalEndsAWatchedProcess) {
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        TempDir dir;
        const int status = runSignalChild(sig, false, true, dir.path());
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_FALSE(fileExists(dir.file(".keldro-listed")));
        EXPECT_TRUE(fileExists(dir.file(".keldro-unlisted")));
    }
}

TEST(Paths, ExecutableAndNames) {
    auto exe = executablePath();
    ASSERT_TRUE(exe.has_value());
    EXPECT_EQ(baseNameWithoutExtension(*exe), "test_platform");
    EXPECT_EQ(directoryOf("/a/b/keldro.exe"), "/a/b/");
    EXPECT_EQ(baseNameWithoutExtension("/a/b.c/keldro.exe"), "keldro");
    EXPECT_EQ(baseNameWithoutExtension("keldro"), "keldro");
    EXPECT_EQ(fileNameOf("dir/song.mmf"), "song.mmf");
}

TEST(Text, CStyleNumbers) {
    EXPECT_EQ(atoiLike("  -42abc"), -42);
    EXPECT_EQ(atoiLike("abc"), 0);
    EXPECT_EQ(strtodLike("3.5dB"), 3.5);
    EXPECT_EQ(strtodLike("abc"), 0.0);
    EXPECT_EQ(truncateToInt(-0.5), 0);
    EXPECT_EQ(truncateToInt(1e300), 2147483647);
    EXPECT_TRUE(endsWithIgnoreCase("song.MMF", ".mmf"));
    EXPECT_FALSE(endsWithIgnoreCase("song.mmf.bak", ".mmf"));
    EXPECT_FALSE(endsWithIgnoreCase("mmf", ".mmf"));
}

// The appends print what printf prints: signs and zero padding, and for
// fixed-point numbers the rounding of exact halves (to even), negative zero
// and values too large for a small buffer.
TEST(Text, AppendsPrintAsPrintfDoes) {
    for (const long long v : {0LL, 7LL, -7LL, 42LL, -42LL, 2025LL, 12345LL, -12345LL, 2147483647LL, -2147483648LL}) {
        for (const int width : {0, 2, 4}) {
            SCOPED_TRACE(std::to_string(v) + " width " + std::to_string(width));
            std::string appended = "x";
            appendDecimal(appended, v, width);
            EXPECT_EQ(appended, "x" + formatText("%0*lld", width, v));
        }
    }
    for (const double v : {0.0, -0.0, 0.0625, 0.0005, 0.0015, 1.2345, 2.5, -0.25, -0.05, 1e-9, 123456.789, -59.95,
                           1e300, -1e300, 1.0 / 0.0}) {
        for (const int precision : {1, 3}) {
            SCOPED_TRACE(formatText("%.17g precision %d", v, precision));
            std::string appended = "x";
            appendFixed(appended, v, precision);
            EXPECT_EQ(appended, "x" + formatText("%.*f", precision, v));
        }
    }
}

}  // namespace
}  // namespace keldro
