#pragma once
// Turns the paths of the command line into the list of files to work on, in
// input order: a file stands for itself, a folder for every file below it
// (names sorted, walked depth first). The mode follows the extension; other
// files are skipped. Each file gets its output path under the output folder:
// a file given directly goes to the top, a file found in a folder keeps its
// place below a folder of that folder's name.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "conversion/ByteConversion.h"
#include "conversion/FileEngineStep.h"

namespace keldro::batch {

struct BatchItem {
    std::string input;
    std::string output;
    FileMode mode = FileMode::Tavi;
    // Its folder's listing showed a regular file (no symbolic link): the
    // overwrite check knows what the path names without looking at it.
    bool listedAsFile = false;
};

struct SkippedPath {
    std::string path;
    std::string reason;
};

struct BatchInputs {
    std::vector<BatchItem> items;
    std::vector<SkippedPath> skipped;
    std::vector<std::string> unreadable;  // given paths that do not exist or cannot be listed
};

// ".mmf" TAVI, ".mld" MFi, letter case ignored.
using keldro::modeOfPath;

// std::filesystem::weakly_canonical(path) and the identity (device, inode) of
// the file a path names (symbolic links followed), as the overwrite check
// needs them for every input and output: a path whose last part is a plain
// file, or nothing yet, costs one lstat (none in a folder that is not there,
// nor for a file its folder's listing showed), the folders above it are
// resolved once each. Links, "." and ".." and failures take the library's own way.
class PathResolver {
public:
    using Identity = std::pair<unsigned long long, unsigned long long>;
    struct Resolved {
        std::string canonical;             // weakly_canonical's text; empty where it fails
        std::optional<Identity> identity;  // none when the path names no file, or until identityOf is asked
        bool identityLater = false;        // listedAsFile: the identity is for identityOf to look up when needed
    };
    // `listedAsFile`: the caller saw the path listed as a regular file.
    Resolved resolve(const std::string& path, bool listedAsFile = false);
    // The identity of a file resolved with identityLater.
    static std::optional<Identity> identityOf(const std::string& path);

private:
    struct Folder {
        std::string canonical;  // its weakly_canonical; empty when that failed
        std::string normal;     // canonical made lexically normal, to append names to
        bool absent = false;    // it is not there (nor anything below it)
    };
    const Folder* folderOf(const std::string& path, std::size_t slash);

    std::map<std::filesystem::path, Folder> folders_;
    // The text of a path up to its last '/' names one folder: the same answer without std::filesystem.
    std::unordered_map<std::string, const Folder*> byText_;
};

// The output folder itself is never walked, and no file is planned whose
// output would be the output of an earlier file.
BatchInputs collectInputs(const std::vector<std::string>& paths, const std::string& outDir);

// Why a conversion must not start, naming both paths: the output folder is
// one of the folders given, or a planned output or the result file would
// replace a file named as input (by any spelling or link). Inputs are never
// modified, so such a run converts nothing. nullopt when all is well.
std::optional<std::string> inputOverwriteConflict(const BatchInputs& inputs, const std::vector<std::string>& paths,
                                                  const std::string& outDir, const std::string& resultPath);

}  // namespace keldro::batch
