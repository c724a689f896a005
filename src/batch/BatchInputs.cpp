#include "batch/BatchInputs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "platform/Text.h"

namespace keldro::batch {
namespace {

namespace fs = std::filesystem;

// The name a folder argument gets below the output folder ("." and ".." name the real folder).
fs::path folderNameOf(const fs::path& folder) {
    fs::path p = folder.lexically_normal();
    if (p.filename().empty()) p = p.parent_path();
    const fs::path name = p.filename();
    if (!name.empty() && name != "." && name != "..") return name;
    std::error_code ec;
    return fs::canonical(folder, ec).filename();
}

// A name as a folder listing gives it: neither empty nor "." or "..", no '/'.
bool isPlainName(std::string_view name) { return !name.empty() && name != "." && name != ".."; }

// (folder / name).native() for a plain name, without std::filesystem.
std::string joined(const std::string& folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

// (folder / name).lexically_normal().native() for a plain name, given
// folder.lexically_normal().native(): a plain name adds one element to a
// normal path and takes none away; only "." stands for nothing.
std::string joinedNormal(const std::string& normalFolder, std::string_view name) {
    if (normalFolder == ".") return std::string(name);
    return joined(normalFolder, name);
}

// A folder's entries as readdir gives them, as std::filesystem::directory_iterator
// lists them ("." and ".." left out); false when the folder cannot be listed.
struct ListedEntry {
    std::string name;
    unsigned char type;  // d_type; DT_UNKNOWN where the file system does not tell
};
bool listFolder(const fs::path& folder, std::vector<ListedEntry>& entries) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (e == nullptr) break;
        if (isPlainName(e->d_name)) entries.push_back({e->d_name, e->d_type});
    }
    const bool listed = errno == 0;
    ::closedir(dir);
    return listed;
}

class Collector {
public:
    explicit Collector(const std::string& outDir) : outDir_(outDir) {}

    void addArgument(const std::string& arg) {
        const fs::path p(arg);
        std::error_code ec;
        const fs::file_status st = fs::status(p, ec);
        if (fs::is_directory(st)) {
            walk(p, fs::path(outDir_) / folderNameOf(p));
        } else if (fs::exists(st) || modeOfPath(arg)) {
            // A missing file with a known extension still goes through the
            // per-file flow, which reports it as unreadable.
            addFile(arg, (fs::path(outDir_) / p.filename()).lexically_normal().string(), false);
        } else {
            result_.unreadable.push_back(arg);
        }
    }

    BatchInputs take() { return std::move(result_); }

private:
    // Entries sorted by name (as by path: they share their folder), folders
    // walked depth first. A listed type answers what std::filesystem's
    // directory_entry would answer from it; only links and unknown types are
    // looked at.
    void walk(const fs::path& folder, const fs::path& target) {
        if (isOutputFolder(folder)) return;
        std::vector<ListedEntry> entries;
        if (!listFolder(folder, entries)) {
            result_.unreadable.push_back(folder.string());
            return;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const ListedEntry& a, const ListedEntry& b) { return a.name < b.name; });
        const std::string normalTarget = target.lexically_normal().native();
        for (const ListedEntry& e : entries) {
            std::string path = joined(folder.native(), e.name);
            const bool listedAsFile = e.type == DT_REG;
            const bool isFolder = e.type != DT_UNKNOWN && e.type != DT_LNK ? e.type == DT_DIR : statIsFolder(path);
            const auto isLink = [&] { return e.type != DT_UNKNOWN ? e.type == DT_LNK : lstatIsLink(path); };
            // Folders reached through a symbolic link are not followed (no loops).
            if (isFolder && !isLink())
                walk(fs::path(path), target / e.name);
            else if (!isFolder)
                addFile(std::move(path), joinedNormal(normalTarget, e.name), listedAsFile);
        }
    }

    static bool statIsFolder(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    static bool lstatIsLink(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }

    void addFile(std::string in, std::string out, bool listedAsFile) {
        const auto mode = modeOfPath(in);
        if (!mode) return skip(std::move(in), kNotConvertibleReason);
        std::vector<BatchItem>& items = result_.items;
        items.push_back({std::move(in), std::move(out), *mode, listedAsFile});
        if (outputs_.insert(items.size() - 1).second) return;
        BatchItem taken = std::move(items.back());
        items.pop_back();
        skip(std::move(taken.input), "same output as an earlier file: " + taken.output);
    }

    bool isOutputFolder(const fs::path& folder) const {
        std::error_code ec;
        return fs::equivalent(folder, outDir_, ec);
    }

    void skip(std::string path, std::string reason) { result_.skipped.push_back({std::move(path), std::move(reason)}); }

    // The items by their outputs, held as indices (not copies of the paths).
    struct OutputHash {
        const std::vector<BatchItem>* items;
        std::size_t operator()(std::size_t i) const { return std::hash<std::string>{}((*items)[i].output); }
    };
    struct SameOutput {
        const std::vector<BatchItem>* items;
        bool operator()(std::size_t a, std::size_t b) const { return (*items)[a].output == (*items)[b].output; }
    };

    std::string outDir_;
    BatchInputs result_;
    std::unordered_set<std::size_t, OutputHash, SameOutput> outputs_{0, OutputHash{&result_.items},
                                                                     SameOutput{&result_.items}};
};

// The files named as input, by name and by identity, so that a path reaching
// one of them by another spelling or through a link is still recognised.
// Kept small for runs over many files: an input is known by the hash of its
// canonical name and by its index, and its name is worked out again (its
// folder's answer is kept) only for a path whose hash matches. Identities are
// looked up only once a path to check names an existing file: when the
// outputs go to a new folder, none is.
class InputFiles {
public:
    explicit InputFiles(const BatchInputs& inputs) : inputs_(inputs) {
        byName_.reserve(count());
        for (std::uint32_t i = 0; i < count(); ++i) byName_.push_back({nameHash(resolved(i).canonical), i});
        std::sort(byName_.begin(), byName_.end());
    }
    // The input that a write to `path` would replace, if any; the first
    // one in input order when several are the same file.
    std::optional<std::string> replacedBy(const std::string& path) {
        const PathResolver::Resolved r = paths_.resolve(path);
        const std::uint64_t hash = nameHash(r.canonical);
        for (auto it = std::lower_bound(byName_.begin(), byName_.end(), std::make_pair(hash, std::uint32_t{0}));
             it != byName_.end() && it->first == hash; ++it)
            if (resolved(it->second).canonical == r.canonical) return pathOf(it->second);
        if (r.identity) {
            const auto& identities = byIdentity();
            const auto it =
                std::lower_bound(identities.begin(), identities.end(), std::make_pair(*r.identity, std::uint32_t{0}));
            if (it != identities.end() && it->first == *r.identity) return pathOf(it->second);
        }
        return std::nullopt;
    }

private:
    // The items, then the skipped paths.
    std::uint32_t count() const { return static_cast<std::uint32_t>(inputs_.items.size() + inputs_.skipped.size()); }
    const std::string& pathOf(std::uint32_t i) const {
        return i < inputs_.items.size() ? inputs_.items[i].input : inputs_.skipped[i - inputs_.items.size()].path;
    }
    PathResolver::Resolved resolved(std::uint32_t i) {
        return paths_.resolve(pathOf(i), i < inputs_.items.size() && inputs_.items[i].listedAsFile);
    }
    static std::uint64_t nameHash(const std::string& canonical) { return std::hash<std::string>{}(canonical); }

    // Sorted by identity, then input order.
    const std::vector<std::pair<PathResolver::Identity, std::uint32_t>>& byIdentity() {
        if (!identitiesKnown_) {
            byIdentity_.reserve(count());
            for (std::uint32_t i = 0; i < count(); ++i) {
                const PathResolver::Resolved r = resolved(i);
                const auto identity = r.identityLater ? PathResolver::identityOf(pathOf(i)) : r.identity;
                if (identity) byIdentity_.push_back({*identity, i});
            }
            std::sort(byIdentity_.begin(), byIdentity_.end());
            identitiesKnown_ = true;
        }
        return byIdentity_;
    }

    const BatchInputs& inputs_;
    PathResolver paths_;
    // Canonical names are lexically normal, so equal texts are equal paths and
    // equal paths equal texts: (hash of the text, index), sorted.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> byName_;
    std::vector<std::pair<PathResolver::Identity, std::uint32_t>> byIdentity_;
    bool identitiesKnown_ = false;
};

std::optional<PathResolver::Identity> statIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return PathResolver::Identity{st.st_dev, st.st_ino};
}

}  // namespace

std::optional<PathResolver::Identity> PathResolver::identityOf(const std::string& path) {
    // A file listed as a regular file: lstat tells what stat would.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

const PathResolver::Folder* PathResolver::folderOf(const std::string& path, std::size_t slash) {
    std::string text = path.substr(0, slash + 1);
    if (auto it = byText_.find(text); it != byText_.end()) return it->second;
    const fs::path folder = fs::path(path).parent_path();
    const Folder* found = nullptr;
    if (!folder.empty()) {
        auto it = folders_.find(folder);
        if (it == folders_.end()) {
            Folder f;
            std::error_code ec;
            fs::path canonical = fs::weakly_canonical(folder, ec);
            if (!ec) {
                f.canonical = canonical.native();
                f.normal = canonical.lexically_normal().native();
            }
            struct stat st {};
            f.absent = ::stat(folder.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
            it = folders_.emplace(folder, std::move(f)).first;
        }
        found = &it->second;
    }
    byText_.emplace(std::move(text), found);
    return found;
}

PathResolver::Resolved PathResolver::resolve(const std::string& path, bool listedAsFile) {
    // The library's way: a weakly_canonical and a stat.
    const auto slow = [&path] {
        std::error_code ec;
        return Resolved{fs::weakly_canonical(path, ec).native(), statIdentity(path)};
    };
    // The name is the text after the last '/' (std::filesystem's filename()
    // for a plain name); the folder is what std::filesystem's parent_path() gives.
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return slow();
    const std::string_view name = std::string_view(path).substr(slash + 1);
    if (!isPlainName(name)) return slow();
    const Folder* folder = folderOf(path, slash);
    if (folder == nullptr) return slow();
    const Folder& f = *folder;
    // Very long paths take the library's way, which copes with names beyond PATH_MAX.
    if (f.canonical.empty() || f.canonical.size() + path.size() >= 1024) return slow();
    Resolved r;
    if (listedAsFile && !f.absent) {
        r.identityLater = true;
    } else {
        struct stat st {};
        const bool found = !f.absent && ::lstat(path.c_str(), &st) == 0;
        if (found ? S_ISLNK(st.st_mode) : (!f.absent && errno != ENOENT && errno != ENOTDIR)) return slow();
        if (found) r.identity = Identity{st.st_dev, st.st_ino};
    }
    // A plain file (or none) in the folder: weakly_canonical(folder / name)
    // is weakly_canonical(folder) / name, made normal. The library's longest
    // existing part of the path is the folder's, or the whole folder.
    r.canonical = joinedNormal(f.normal, name);
    return r;
}

std::optional<std::string> inputOverwriteConflict(const BatchInputs& inputs, const std::vector<std::string>& paths,
                                                  const std::string& outDir, const std::string& resultPath) {
    for (const std::string& p : paths) {
        std::error_code ec;
        if (fs::is_directory(p, ec) && fs::equivalent(p, outDir, ec))
            return "the output folder " + outDir + " is the input folder " + p;
    }
    InputFiles files(inputs);
    for (const BatchItem& item : inputs.items) {
        const auto input = files.replacedBy(item.output);
        if (!input) continue;
        if (*input == item.input) return "the output " + item.output + " would replace its input " + item.input;
        return "the output " + item.output + " of " + item.input + " would replace the input " + *input;
    }
    if (auto input = files.replacedBy(resultPath))
        return "the result file " + resultPath + " would replace the input " + *input;
    return std::nullopt;
}

BatchInputs collectInputs(const std::vector<std::string>& paths, const std::string& outDir) {
    Collector collector(outDir);
    for (const std::string& p : paths) collector.addArgument(p);
    return collector.take();
}

}  // namespace keldro::batch
