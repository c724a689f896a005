#include "batch/BatchInputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

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
            addFile(p, fs::path(outDir_) / p.filename());
        } else {
            result_.unreadable.push_back(arg);
        }
    }

    BatchInputs take() { return std::move(result_); }

private:
    void walk(const fs::path& folder, const fs::path& target) {
        std::error_code ec;
        if (isOutputFolder(folder)) return;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
        if (ec) {
            result_.unreadable.push_back(folder.string());
            return;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
        for (const fs::directory_entry& e : entries) {
            const fs::path name = e.path().filename();
            // Folders reached through a symbolic link are not followed (no loops).
            if (e.is_directory(ec) && !e.is_symlink(ec)) walk(e.path(), target / name);
            else if (!e.is_directory(ec)) addFile(e.path(), target / name);
        }
    }

    void addFile(const fs::path& input, const fs::path& output) {
        const std::string in = input.string();
        const auto mode = modeOfPath(in);
        if (!mode) return skip(in, kNotConvertibleReason);
        const std::string out = output.lexically_normal().string();
        if (!outputs_.insert(out).second) return skip(in, "same output as an earlier file: " + out);
        result_.items.push_back({in, out, *mode});
    }

    bool isOutputFolder(const fs::path& folder) const {
        std::error_code ec;
        return fs::equivalent(folder, outDir_, ec);
    }

    void skip(const std::string& path, const std::string& reason) { result_.skipped.push_back({path, reason}); }

    std::string outDir_;
    std::set<std::string> outputs_;
    BatchInputs result_;
};

// The files named as input, by name and by identity, so that a path reaching
// one of them by another spelling or through a link is still recognised.
class InputFiles {
public:
    void add(const std::string& path) {
        PathResolver::Resolved r = paths_.resolve(path);
        byName_.emplace(std::move(r.canonical), path);
        if (r.identity) byIdentity_.emplace(*r.identity, path);
    }
    // The input that a write to `path` would replace, if any.
    std::optional<std::string> replacedBy(const std::string& path) {
        const PathResolver::Resolved r = paths_.resolve(path);
        if (auto it = byName_.find(r.canonical); it != byName_.end()) return it->second;
        if (r.identity)
            if (auto it = byIdentity_.find(*r.identity); it != byIdentity_.end()) return it->second;
        return std::nullopt;
    }

private:
    PathResolver paths_;
    std::map<fs::path, std::string> byName_;
    std::map<PathResolver::Identity, std::string> byIdentity_;
};

std::optional<PathResolver::Identity> identityOf(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return PathResolver::Identity{st.st_dev, st.st_ino};
}

}  // namespace

PathResolver::Resolved PathResolver::resolve(const std::string& path) {
    // The library's way: a weakly_canonical and a stat.
    const auto slow = [&path] {
        std::error_code ec;
        return Resolved{fs::weakly_canonical(path, ec), identityOf(path)};
    };
    const fs::path p(path);
    const fs::path name = p.filename();
    const fs::path folder = p.parent_path();
    if (name.empty() || name == "." || name == ".." || folder.empty()) return slow();
    auto it = folders_.find(folder);
    if (it == folders_.end()) {
        Folder f;
        std::error_code ec;
        f.canonical = fs::weakly_canonical(folder, ec);
        if (ec) f.canonical.clear();
        struct stat st{};
        f.absent = ::stat(folder.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
        it = folders_.emplace(folder, std::move(f)).first;
    }
    const Folder& f = it->second;
    // Very long paths take the library's way, which copes with names beyond PATH_MAX.
    if (f.canonical.empty() || f.canonical.native().size() + path.size() >= 1024) return slow();
    struct stat st{};
    const bool found = !f.absent && ::lstat(path.c_str(), &st) == 0;
    if (found ? S_ISLNK(st.st_mode) : (!f.absent && errno != ENOENT && errno != ENOTDIR)) return slow();
    // A plain file (or none) in the folder: weakly_canonical(folder / name)
    // is weakly_canonical(folder) / name, made normal. The library's longest
    // existing part of the path is the folder's, or the whole folder.
    Resolved r{(f.canonical / name).lexically_normal(), std::nullopt};
    if (found) r.identity = Identity{st.st_dev, st.st_ino};
    return r;
}

std::optional<std::string> inputOverwriteConflict(const BatchInputs& inputs, const std::vector<std::string>& paths,
                                                  const std::string& outDir, const std::string& resultPath) {
    for (const std::string& p : paths) {
        std::error_code ec;
        if (fs::is_directory(p, ec) && fs::equivalent(p, outDir, ec))
            return "the output folder " + outDir + " is the input folder " + p;
    }
    InputFiles files;
    for (const BatchItem& item : inputs.items) files.add(item.input);
    for (const SkippedPath& s : inputs.skipped) files.add(s.path);
    for (const BatchItem& item : inputs.items) {
        const auto input = files.replacedBy(item.output);
        if (!input) continue;
        if (*input == item.input) return "the output " + item.output + " would replace its input " + item.input;
        return "the output " + item.output + " of " + item.input + " would replace the input " + *input;
    }
    if (auto input = files.replacedBy(resultPath)) return "the result file " + resultPath + " would replace the input " + *input;
    return std::nullopt;
}

BatchInputs collectInputs(const std::vector<std::string>& paths, const std::string& outDir) {
    Collector collector(outDir);
    for (const std::string& p : paths) collector.addArgument(p);
    return collector.take();
}

}  // namespace keldro::batch
