#include "batch/OutputFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace keldro::batch {
namespace {

namespace fs = std::filesystem;

// What a symbolic link names, for a message.
std::string linkText(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string("?") : target.string();
}

// A folder's path made lexically normal, without a trailing '/'.
fs::path normalFolder(const fs::path& folder) {
    fs::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
    return normal;
}

// The folders from the output folder down to `folder`, not the output folder
// itself: "o/a/b" below "o" gives "o/a", "o/a/b". False when `folder` is not
// below the output folder.
bool chainBelow(const fs::path& outDir, const fs::path& folder, std::vector<fs::path>& chain) {
    chain.clear();
    const fs::path relative = normalFolder(folder).lexically_relative(outDir);
    if (relative.empty()) return false;
    fs::path at = outDir;
    for (const fs::path& part : relative) {
        if (part.empty() || part == ".") continue;
        if (part == "..") return false;
        at /= part;
        chain.push_back(at);
    }
    return true;
}

enum class Found { Folder, Missing, Link, Other };

Found look(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Found::Missing : Found::Other;
    if (S_ISLNK(st.st_mode)) return Found::Link;
    return S_ISDIR(st.st_mode) ? Found::Folder : Found::Other;
}

std::string linkedFolder(const fs::path& folder) {
    return "the output folder " + folder.string() + " is a symbolic link to " + linkText(folder);
}

}  // namespace

OutputFolderLock::~OutputFolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool OutputFolderLock::take(const std::string& folder, std::string& why) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;  // the writes into it fail as they did
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        if (!held) return true;
        why = "another keldro-batch is converting into the output folder " + folder;
        return false;
    }
    fd_ = fd;
    return true;
}

FoldersMade makeOutputFolders(const std::string& outDir, const std::string& resultPath,
                              const std::vector<BatchItem>& items, std::unordered_set<std::string_view>& made,
                              OutputFolderLock& lock, std::string& why) {
    std::map<fs::path, std::vector<std::string_view>> folders;
    // Files of one folder come one after the other: the text up to an output's
    // last '/' decides its folder (its name is a plain one), so a run of them
    // needs the library once.
    std::string_view previous;
    for (const BatchItem& item : items) {
        const std::string_view output(item.output);
        const std::string_view text = output.substr(0, output.rfind('/') + 1);
        const std::string_view name = output.substr(text.size());
        const bool plain = !name.empty() && name != "." && name != "..";
        if (!plain || !previous.data() || text != previous)
            folders[fs::path(item.output).parent_path()].push_back(text);
        previous = plain ? text : std::string_view();
    }

    // The output folder itself, then its lock: no other run writes into it
    // from the look at its links on.
    std::error_code ec;
    const fs::path top(outDir);
    const bool topCreated = fs::create_directories(top, ec);
    if (!fs::is_directory(top, ec)) {
        why = "cannot create the folder " + top.string();
        return FoldersMade::Failed;
    }
    if (!lock.take(outDir, why)) return FoldersMade::Refused;

    // Every link below the output folder is refused before anything is made.
    if (look(resultPath) == Found::Link) {
        why = "the result file " + resultPath + " is a symbolic link to " + linkText(resultPath);
        return FoldersMade::Refused;
    }
    const fs::path base = normalFolder(top);
    std::vector<fs::path> chain;
    std::set<fs::path> known;  // folders looked at, and found to be folders
    for (const auto& [folder, texts] : folders) {
        if (!chainBelow(base, folder, chain)) continue;
        for (const fs::path& step : chain) {
            if (known.count(step)) continue;
            const Found found = look(step);
            if (found == Found::Link) {
                why = linkedFolder(step);
                return FoldersMade::Refused;
            }
            if (found != Found::Folder) break;  // nothing below it to look at
            known.insert(step);
        }
    }

    // Made one step at a time: mkdir makes no folder through a link, and a
    // link put in place meanwhile is refused as above.
    for (const auto& [folder, texts] : folders) {
        bool created = false;
        if (!chainBelow(base, folder, chain)) {
            // Never so, as the outputs are planned: a folder elsewhere, as the user named it.
            created = fs::create_directories(folder, ec);
            if (!fs::is_directory(folder, ec)) {
                why = "cannot create the folder " + folder.string();
                return FoldersMade::Failed;
            }
        } else if (chain.empty()) {
            created = topCreated;  // the output folder itself
        }
        for (const fs::path& step : chain) {
            if (known.count(step)) {
                created = false;
                continue;
            }
            created = ::mkdir(step.c_str(), 0777) == 0;
            const Found found = created ? Found::Folder : look(step);
            if (found == Found::Link) {
                why = linkedFolder(step);
                return FoldersMade::Refused;
            }
            if (found != Found::Folder) {
                why = "cannot create the folder " + folder.string();
                return FoldersMade::Failed;
            }
            known.insert(step);
        }
        if (created) made.insert(texts.begin(), texts.end());
    }
    return FoldersMade::Made;
}

}  // namespace keldro::batch
