#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "platform/Executable.h"
#include "platform/Shortage.h"
#include "platform/TemporaryNames.h"

namespace keldro {
namespace {

bool statPath(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

// Notes a failure for want of file descriptors; errno is kept.
void noteIfOutOfDescriptors() {
    if (errno == EMFILE || errno == ENFILE) noteShortage(Shortage::OpenFiles);
}

int openRetry(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) noteIfOutOfDescriptors();
    return fd;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Read once: umask() can only be read by setting it, and two threads doing
// that at the same time could leave the process with a mask of 0.
mode_t currentUmask() {
    static const mode_t mask = [] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

FileStatus statusOf(const struct stat& st) {
    FileStatus s;
    s.isDirectory = S_ISDIR(st.st_mode);
    s.isReadOnly = (st.st_mode & S_IWUSR) == 0;
    s.size = static_cast<unsigned long long>(st.st_size);
    return s;
}

// A file made in `dir` gets exactly the permission bits it is made with, less
// the umask, unless the directory has a default ACL, which takes the umask's
// place. Asked once for each run of files into the same directory on a thread.
bool createsWithModeAsked(const std::string& dir) {
    thread_local std::string lastDir;
    thread_local bool lastAnswer = false;
    if (lastDir.empty() || lastDir != dir) {
        const bool acl = ::getxattr(dir.c_str(), "system.posix_acl_default", nullptr, 0) >= 0;
        lastAnswer = !acl && (errno == ENODATA || errno == EOPNOTSUPP);
        lastDir = dir;
    }
    return lastAnswer;
}

// Unnamed files are linked into place through /proc/self/fd, which needs /proc.
bool unnamedFilesUsable() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

// Links the unnamed file open as fd in at `name`; 0 or -1 with errno, as
// linkat. By the descriptor itself where the kernel lets the file's opener do
// that (Linux 6.10 and later; before, only with CAP_DAC_READ_SEARCH), which
// spares the walk through /proc; otherwise through /proc/self/fd.
int linkUnnamedFile(int fd, const char* name) {
    static std::atomic<bool> direct{true};
    if (direct.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", AT_FDCWD, name, AT_EMPTY_PATH) == 0) return 0;
        // Refused links report ENOENT; any other error is the link's own.
        if (errno != ENOENT) return -1;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW);
    if (linked == 0) direct.store(false, std::memory_order_relaxed);  // the kernel refuses the direct way
    return linked;
}

// A name ".keldro-XXXXXX" in dir that no file has at the moment of asking.
std::string freshTemporaryName(const std::string& dir) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string name = dir + ".keldro-XXXXXX";
    for (std::size_t i = name.size() - 6; i < name.size(); ++i) name[i] = kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

}  // namespace

struct SafeFileWriter::State {
    std::string target;  // the file to replace (a symbolic link resolved)
    std::string dir;     // its directory, ending with '/'
    std::string named;   // the temporary file's name; empty for an unnamed file
    std::unique_ptr<TemporaryName> listed;
    int fd = -1;
    bool exists = false;  // the target existed when the writer was made
    unsigned existingOwner = 0, existingGroup = 0;
    mode_t mode = 0;
    bool modeMade = false;  // the file was made with `mode`, which it keeps
    bool ok = false;

    bool open(const WriteTarget::Found& found, mode_t modeIfNew) {
        target = found.path;
        exists = found.exists;
        if (exists) {
            existingOwner = found.owner;
            existingGroup = found.group;
        }
        if (exists && !S_ISREG(found.mode)) return false;
        if (openUnnamed(target, modeIfNew, found.mode)) return true;
        // The file system cannot make unnamed files: a hidden named one, listed
        // so that an interrupting signal removes it.
        std::vector<char> name(dir.begin(), dir.end());
        for (char c : std::string(".keldro-XXXXXX")) name.push_back(c);
        name.push_back('\0');
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            noteIfOutOfDescriptors();
            return false;
        }
        named = name.data();
        listed = std::make_unique<TemporaryName>(named);
        return true;
    }

    // The unnamed file in the directory of `path` (the target); false where none can be made.
    bool openUnnamed(const std::string& path, mode_t modeIfNew, mode_t existingMode) {
        mode = exists ? (existingMode & 07777) : (modeIfNew & ~currentUmask() & 07777);
        dir = directoryOf(path);
        if (dir.empty()) dir = "./";
        if (!unnamedFilesUsable()) return false;
        // A new file with plain permission bits is made with them at once:
        // the umask takes nothing from them (they are already without it),
        // so no fchmod is needed where no default ACL changes them.
        modeMade = !exists && (mode & 07000) == 0 && createsWithModeAsked(dir);
        fd = openRetry(dir.c_str(), O_TMPFILE | O_WRONLY, modeMade ? mode : 0600);
        if (fd >= 0) return true;
        modeMade = false;
        return false;
    }

    // Links the unnamed file in under the target's name: directly when there
    // is no file yet, otherwise under a fresh temporary name renamed over it.
    bool linkUnnamed() {
        if (!exists && linkUnnamedFile(fd, target.c_str()) == 0) return true;
        if (!exists && errno != EEXIST) return false;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = freshTemporaryName(dir);
            TemporaryName listedName(name);
            if (linkUnnamedFile(fd, name.c_str()) != 0) {
                if (errno == EEXIST) continue;
                return false;
            }
            if (::rename(name.c_str(), target.c_str()) == 0) return true;
            ::unlink(name.c_str());
            return false;
        }
        return false;
    }

    bool commit() {
        if (!modeMade && ::fchmod(fd, mode) != 0) return false;
        if (exists) {
            // Keep the owner where we may (only root may give a file away); ignore refusals.
            if (::fchown(fd, existingOwner, existingGroup) != 0) {}
        }
        if (named.empty()) {
            bool linked = linkUnnamed();
            return closeFile() && linked;
        }
        return closeFile() && ::rename(named.c_str(), target.c_str()) == 0;
    }

    bool closeFile() {
        const int f = fd;
        fd = -1;
        return ::close(f) == 0;
    }

    void discard() {
        if (fd >= 0) closeFile();
        if (!named.empty()) ::unlink(named.c_str());
        named.clear();
        listed.reset();
    }
};

WriteTarget::WriteTarget(const std::string& path) : WriteTarget(path, true, AtLink::WriteThrough) {}

WriteTarget::WriteTarget(const std::string& path, AtLink atLink) : WriteTarget(path, true, atLink) {}

WriteTarget::WriteTarget(const std::string& path, bool withStatus, AtLink atLink) : given_(path) {
    found_.path = path;
    if (path.empty()) return;
    struct stat st {};
    found_.exists = ::lstat(path.c_str(), &st) == 0;
    if (found_.exists && S_ISLNK(st.st_mode) && atLink == AtLink::Refuse) {
        // Never resolved: a link naming a file is refused as anything but a
        // regular file is (found_.mode is the link's), a dangling one is
        // replaced.
        if (withStatus) existing_ = fileStatus(path);
        struct stat named {};
        found_.exists = statPath(path, named);
    } else if (found_.exists && S_ISLNK(st.st_mode)) {
        // Written through: the status is the linked file's, and the bytes go
        // to the file the link names.
        if (withStatus) existing_ = fileStatus(path);
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            found_.path = real;
            std::free(real);
        }
        found_.exists = statPath(found_.path, st);
    } else if (found_.exists && withStatus) {
        existing_ = statusOf(st);  // lstat told what stat would
    }
    if (found_.exists) {
        found_.mode = st.st_mode;
        found_.owner = st.st_uid;
        found_.group = st.st_gid;
    }
}

SafeFileWriter::SafeFileWriter(const std::string& path, unsigned newFileMode)
    : SafeFileWriter(WriteTarget(path, false, AtLink::WriteThrough), newFileMode) {}

SafeFileWriter::SafeFileWriter(const WriteTarget& target, unsigned newFileMode) : state_(std::make_unique<State>()) {
    state_->ok = !target.given_.empty() && state_->open(target.found_, static_cast<mode_t>(newFileMode));
    if (!state_->ok) state_->discard();
}

SafeFileWriter::~SafeFileWriter() { state_->discard(); }

bool SafeFileWriter::ok() const { return state_->ok; }

bool SafeFileWriter::append(ByteSpan data) {
    if (state_->ok && !writeAll(state_->fd, data.data(), data.size())) {
        state_->ok = false;
        state_->discard();
    }
    return state_->ok;
}

bool SafeFileWriter::commit() {
    if (!state_->ok) return false;
    const bool committed = state_->commit();
    if (committed) {
        state_->named.clear();  // that name is the target's now
        state_->listed.reset();
    }
    state_->discard();
    state_->ok = false;  // a writer commits once
    return committed;
}

std::optional<FileStatus> fileStatus(const std::string& path) {
    struct stat st {};
    if (path.empty() || !statPath(path, st)) return std::nullopt;
    return statusOf(st);
}

bool fileExists(const std::string& path) { return fileStatus(path).has_value(); }

bool isDirectory(const std::string& path) {
    auto s = fileStatus(path);
    return s && s->isDirectory;
}

bool isReadOnly(const std::string& path) {
    auto s = fileStatus(path);
    return s && s->isReadOnly;
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (a.empty() || b.empty() || !statPath(a, sa) || !statPath(b, sb)) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (path.empty() || !statPath(path, st)) return std::nullopt;
    return FileIdentity{static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

namespace {

// Reads into out[got, out.size()); the new count, short at the end of the file or on an error.
template <typename Buffer>
std::size_t readInto(int fd, Buffer& out, std::size_t got) {
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// readWholeFile's work; `opened` tells whether the path could be opened, `st`
// then holds the open file's status. A regular file longer than maxSize is
// not read (tooLarge), nor one whose head `head` refuses (refused). `room`
// bytes of capacity are kept behind the content.
template <typename Buffer>
bool readOpened(const std::string& path, Buffer& out, std::uint64_t maxSize, std::size_t room, bool& opened,
                bool& tooLarge, struct stat& st, const HeadCheck* head = nullptr, bool* refused = nullptr) {
    out.clear();
    opened = tooLarge = false;
    if (path.empty()) return false;
    int fd = openRetry(path.c_str(), O_RDONLY | O_NONBLOCK);  // a FIFO never blocks the run
    if (fd < 0) return false;
    opened = true;
    if (::fstat(fd, &st) != 0) {
        st.st_mode = 0;
        ::close(fd);
        return false;
    }
    tooLarge = S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > maxSize;
    if (!S_ISREG(st.st_mode) || tooLarge) {
        ::close(fd);
        return false;
    }
    // The length is taken from the open file; a file that shrinks meanwhile is a read failure,
    // and so is one that does not fit in memory.
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::size_t got = 0;
    if (head && head->refuses) {
        // The head alone, in a buffer of its own size: a refused file takes no more.
        out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(head->bytes, size)));
        got = readInto(fd, out, 0);
        // A head cut short (the file shrank) fails the read as a short file does.
        const bool whole = got == out.size();
        if (!whole || head->refuses(ByteSpan(reinterpret_cast<const std::uint8_t*>(out.data()), got), size)) {
            ::close(fd);
            if (!whole) out.clear();
            if (refused) *refused = whole;
            return false;
        }
    }
    try {
        out.reserve(static_cast<std::size_t>(size) + room);
        out.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        noteShortage(Shortage::Memory);
        ::close(fd);
        out.clear();
        return false;
    }
    got = readInto(fd, out, got);
    ::close(fd);
    if (got != out.size()) {
        out.clear();
        return false;
    }
    return true;
}

constexpr std::uint64_t kAnySize = std::numeric_limits<std::uint64_t>::max();

}  // namespace

bool readWholeFile(const std::string& path, ByteVector& out) {
    bool opened = false, tooLarge = false;
    struct stat st {};
    return readOpened(path, out, kAnySize, 0, opened, tooLarge, st);
}

bool readWholeFile(const std::string& path, std::string& out, std::size_t room) {
    bool opened = false, tooLarge = false;
    struct stat st {};
    return readOpened(path, out, kAnySize, room, opened, tooLarge, st);
}

ReadOutcome readWholeFileOrFolder(const std::string& path, ReadFile& out, std::uint64_t maxSize,
                                  const HeadCheck& head) {
    bool opened = false, tooLarge = false, refused = false;
    struct stat st {};
    const bool read = readOpened(path, out.bytes, maxSize, 0, opened, tooLarge, st, &head, &refused);
    out.size = opened && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    if (read) {
        out.permissions = st.st_mode & 07777;
        return ReadOutcome::Read;
    }
    if (tooLarge) return ReadOutcome::TooLarge;
    if (refused) return ReadOutcome::Refused;
    if (!opened) {
        // A folder that cannot be opened (no read permission) is still a folder.
        const std::optional<FileStatus> status = fileStatus(path);
        return status && status->isDirectory ? ReadOutcome::Directory : ReadOutcome::Failed;
    }
    return S_ISDIR(st.st_mode) ? ReadOutcome::Directory : ReadOutcome::Failed;
}

bool canOpenForWriting(const std::string& path, AtLink atLink) {
    int fd = openRetry(path.c_str(), O_WRONLY | O_NONBLOCK | (atLink == AtLink::Refuse ? O_NOFOLLOW : 0));
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool writeFileSafely(const std::string& path, ByteSpan data, unsigned newFileMode) {
    SafeFileWriter writer(path, newFileMode);
    return writer.append(data) && writer.commit();
}

bool writeFileSafely(const WriteTarget& target, ByteSpan data, unsigned newFileMode) {
    SafeFileWriter writer(target, newFileMode);
    return writer.append(data) && writer.commit();
}

FreshWrite writeFreshFile(const std::string& path, ByteSpan data, unsigned newFileMode) {
    // The steps of a SafeFileWriter for a path found empty, up to the link;
    // the unnamed file is discarded whenever it is not linked in.
    SafeFileWriter::State s;
    struct Discard {
        SafeFileWriter::State& state;
        ~Discard() { state.discard(); }
    } discard{s};
    if (path.empty() || !s.openUnnamed(path, static_cast<mode_t>(newFileMode), 0)) return FreshWrite::Untouched;
    if (!writeAll(s.fd, data.data(), data.size())) return FreshWrite::Untouched;
    if (!s.modeMade && ::fchmod(s.fd, s.mode) != 0) return FreshWrite::Untouched;
    if (linkUnnamedFile(s.fd, path.c_str()) != 0) return FreshWrite::Untouched;
    return s.closeFile() ? FreshWrite::Written : FreshWrite::Failed;
}

}  // namespace keldro
