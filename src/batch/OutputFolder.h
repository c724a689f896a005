#pragma once
// The output folder of a conversion run. Other users may write to it (a
// shared folder): nothing below it is written through a symbolic link (the
// result file and the folders are looked at here, an output that is a link
// fails when it is written), and one run at a time writes into it.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "batch/BatchInputs.h"

namespace keldro::batch {

// Holds the output folder for the run: a second run into the same folder at
// the same time would leave a result file describing other bytes than those
// on disk. The lock is the folder's own (flock on the folder), so nothing is
// left in it and nothing needs removing. Released when destroyed.
class OutputFolderLock {
public:
    OutputFolderLock() = default;
    OutputFolderLock(const OutputFolderLock&) = delete;
    OutputFolderLock& operator=(const OutputFolderLock&) = delete;
    ~OutputFolderLock();

    // Takes the lock of an existing folder; false, with the reason in `why`,
    // when another run holds it. A file system that keeps no such locks
    // leaves the run unlocked, as before.
    bool take(const std::string& folder, std::string& why);

private:
    int fd_ = -1;
};

// How making the folders went.
enum class FoldersMade { Made, Refused, Failed };

// Every folder the outputs go to, made before the workers start: the output
// folder as its path says (a symbolic link the user named is followed), the
// folders below it never through a symbolic link. Refused (with the reason
// in `why`, nothing made) when the result file or a folder between the
// output folder and an output is a symbolic link; Failed (with the reason)
// when a folder cannot be made. The folders made now (not there before) are
// added to `made`, as the text of their outputs' paths up to the last '/'.
FoldersMade makeOutputFolders(const std::string& outDir, const std::string& resultPath,
                              const std::vector<BatchItem>& items, std::unordered_set<std::string_view>& made,
                              OutputFolderLock& lock, std::string& why);

}  // namespace keldro::batch
