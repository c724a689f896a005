#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/Executable.h"

namespace keldro {
namespace {

bool statPath(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }

int openRetry(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
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

// The file a write to `path` should replace: the target of a symbolic link.
std::string writeTarget(const std::string& path) {
    struct stat lst{};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real != nullptr) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return path;
}

bool writeSafelyWithMode(const std::string& path, ByteSpan data, mode_t modeIfNew) {
    const std::string target = writeTarget(path);
    struct stat existing{};
    bool exists = statPath(target, existing);
    if (exists && !S_ISREG(existing.st_mode)) return false;
    mode_t mode = exists ? (existing.st_mode & 07777) : (modeIfNew & ~currentUmask() & 07777);

    std::string dir = directoryOf(target);
    std::string pattern = (dir.empty() ? std::string("./") : dir) + ".keldro-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    const std::string tmp(name.data());
    bool ok = writeAll(fd, data.data(), data.size());
    if (ok) ok = ::fchmod(fd, mode) == 0;
    if (exists && ok) {
        // Keep the owner where we may (only root may give a file away); ignore refusals.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        }
    }
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

}  // namespace

std::optional<FileStatus> fileStatus(const std::string& path) {
    struct stat st{};
    if (path.empty() || !statPath(path, st)) return std::nullopt;
    FileStatus s;
    s.isDirectory = S_ISDIR(st.st_mode);
    s.isReadOnly = (st.st_mode & S_IWUSR) == 0;
    s.size = static_cast<unsigned long long>(st.st_size);
    return s;
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
    struct stat sa{}, sb{};
    if (a.empty() || b.empty() || !statPath(a, sa) || !statPath(b, sb)) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool readWholeFile(const std::string& path, ByteVector& out) {
    out.clear();
    if (path.empty()) return false;
    int fd = openRetry(path.c_str(), O_RDONLY | O_NONBLOCK);  // a FIFO never blocks the run
    if (fd < 0) return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // The length is taken from the open file; a file that shrinks meanwhile is a read failure.
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != out.size()) {
        out.clear();
        return false;
    }
    return true;
}

bool canOpenForWriting(const std::string& path) {
    int fd = openRetry(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool writeFileSafely(const std::string& path, ByteSpan data, unsigned newFileMode) {
    if (path.empty()) return false;
    return writeSafelyWithMode(path, data, static_cast<mode_t>(newFileMode));
}

bool copyFileOverwrite(const std::string& src, const std::string& dst) {
    if (src.empty() || dst.empty() || isSameFile(src, dst)) return false;
    struct stat st{};
    if (!statPath(src, st)) return false;
    ByteVector bytes;
    if (!readWholeFile(src, bytes)) return false;
    return writeSafelyWithMode(dst, bytes, st.st_mode & 07777);
}

bool deleteFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

CurrentDirectory::CurrentDirectory(std::size_t maxLength) {
    std::vector<char> buf(maxLength + 1);
    if (::getcwd(buf.data(), buf.size()) != nullptr) {
        path_ = buf.data();
        recorded_ = true;
    }
}

bool CurrentDirectory::restore() const { return recorded_ && ::chdir(path_.c_str()) == 0; }

}  // namespace keldro
