#pragma once
// File services of the per-file flow, the result log and the settings file.
// "Read-only" always means that the owner write bit is clear: never access(),
// which answers yes to root for every file.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Bytes.h"

namespace keldro {

struct FileStatus {
    bool isDirectory = false;
    bool isReadOnly = false;  // owner write bit clear
    unsigned long long size = 0;
};

// Status of an existing path (symbolic links followed); nullopt when it cannot be read.
std::optional<FileStatus> fileStatus(const std::string& path);
bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isReadOnly(const std::string& path);

// True when both paths name the same existing file (same device and inode).
bool isSameFile(const std::string& a, const std::string& b);

// The device and inode of an existing file (symbolic links followed);
// nullopt for an empty path or one that cannot be read.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> fileIdentity(const std::string& path);

// Reads a whole regular file; false on any failure.
bool readWholeFile(const std::string& path, ByteVector& out);
// The same as text, with `room` bytes of capacity kept free behind it for
// small edits that need not move the text.
bool readWholeFile(const std::string& path, std::string& out, std::size_t room);

// A file read whole, with the permission bits it had when it was opened, so
// that an unchanged copy can be written from the very bytes that were read.
struct ReadFile {
    ByteVector bytes;
    unsigned permissions = 0;
    std::uint64_t size = 0;  // the regular file's size when it was opened
};

// A look at the first bytes of a file before the rest is read: `refuses` is
// given the first `bytes` bytes (all of a shorter file) and the file's size.
struct HeadCheck {
    std::size_t bytes = 0;
    std::function<bool(ByteSpan head, std::uint64_t size)> refuses;
};

// readWholeFile that also tells a directory and a file longer than maxSize
// (refused unread, before any memory is taken for it) from other failures,
// as the per-file flow needs: the opened file's own status answers, a stat
// only when the path cannot be opened. With a head check, a file whose head
// it refuses is not read further (Refused; `out.bytes` holds the head).
enum class ReadOutcome { Read, Directory, TooLarge, Refused, Failed };
ReadOutcome readWholeFileOrFolder(const std::string& path, ReadFile& out, std::uint64_t maxSize,
                                  const HeadCheck& head = {});

// What a write does with a symbolic link at the path it writes: writes the
// file the link names (keldro, with the path its user gave), or refuses to
// write (keldro-batch below its output folder, where another user may have
// put the link). Either way a dangling link is replaced by the file.
enum class AtLink { WriteThrough, Refuse };

// True when an existing file can be opened for writing; its content is not
// changed. With AtLink::Refuse a symbolic link is not followed (false).
bool canOpenForWriting(const std::string& path, AtLink atLink = AtLink::WriteThrough);

// A path about to be written by a SafeFileWriter, looked at once for both
// questions: the status of what is there now (as fileStatus gives it) and
// where the writer puts the bytes (through a symbolic link, the file it
// names). A path that is not a symbolic link costs one lstat.
class WriteTarget {
public:
    explicit WriteTarget(const std::string& path);
    // With AtLink::Refuse the writer never writes through a symbolic link: it
    // refuses one that names a file, and should a link take the place of the
    // file after this look, its rename replaces the link itself.
    WriteTarget(const std::string& path, AtLink atLink);
    // Status of the existing file (symbolic links followed); nullopt when there is none.
    const std::optional<FileStatus>& existing() const { return existing_; }

private:
    friend class SafeFileWriter;
    struct Found {
        std::string path;  // the file to replace (a symbolic link resolved)
        bool exists = false;
        unsigned mode = 0, owner = 0, group = 0;  // of the existing file
    };
    WriteTarget(const std::string& path, bool withStatus, AtLink atLink);

    std::string given_;  // the path as given
    Found found_;
    std::optional<FileStatus> existing_;
};

enum class FreshWrite;

// Writes a file whole or not at all. The bytes go to an unnamed file in the
// target's directory, which commit() links into place (replacing an existing
// file in one rename), so nothing is left behind whenever the process ends,
// even by SIGKILL. Where the file system cannot make unnamed files, a hidden
// temporary file ".keldro-XXXXXX" stands in; it is removed on failure and on
// SIGINT, SIGTERM and SIGHUP. Until commit() an existing file at the path is
// untouched; a writer destroyed without commit() leaves no trace. A new file
// gets `newFileMode` less the umask; an existing file keeps its permission
// bits (and, where allowed, its owner). A symbolic link at the path is
// written through, unless the target says AtLink::Refuse. Anything other
// than a regular file at the path is refused.
class SafeFileWriter {
public:
    explicit SafeFileWriter(const std::string& path, unsigned newFileMode = 0666);
    // The same for a target already looked at.
    explicit SafeFileWriter(const WriteTarget& target, unsigned newFileMode = 0666);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // False once anything has failed; every later call then fails too.
    bool ok() const;
    bool append(ByteSpan data);
    // Puts the written bytes in place of the target; true on success.
    bool commit();

private:
    friend FreshWrite writeFreshFile(const std::string& path, ByteSpan data, unsigned newFileMode);
    struct State;
    std::unique_ptr<State> state_;
};

// Writes bytes to path with a SafeFileWriter: whole or not at all.
bool writeFileSafely(const std::string& path, ByteSpan data, unsigned newFileMode = 0666);
bool writeFileSafely(const WriteTarget& target, ByteSpan data, unsigned newFileMode = 0666);

// writeFileSafely for a path where most likely nothing is yet (its folder
// was made moments ago), without looking at the path first: the unnamed file
// is linked in only where nothing is at the path. Written: done, as
// writeFileSafely would have done it. Failed: the file is in place but could
// not be closed, which writeFileSafely reports as a failure too. Untouched:
// something is at the path, or anything went wrong before the file was
// linked in, or the file system makes no unnamed files; nothing was changed,
// and writeFileSafely (after whatever looks at the path the caller takes
// first) gives the answer.
enum class FreshWrite { Written, Failed, Untouched };
FreshWrite writeFreshFile(const std::string& path, ByteSpan data, unsigned newFileMode = 0666);

}  // namespace keldro
