#pragma once
// The batch's result file: the result-log entries of all files, appended in
// input order as the files are reported (InOrder puts them in that order), so
// nothing of it is held in memory beyond one write's worth. The bytes go to
// an unnamed file that appears whole at finish(), like every file this
// program writes, so a run that is cut short or fails to write never leaves
// a torn result file. Entries go to the file in writes of some kilobytes,
// not one write each.
#include <memory>
#include <string>

#include "platform/Files.h"

namespace keldro::batch {

class ResultFile {
public:
    explicit ResultFile(std::string path);

    // The next file's entry (empty when its job wrote none). One caller at a time.
    void append(const std::string& entry);
    // Puts the file in place when any entry was written; false when any write failed.
    bool finish();
    const std::string& path() const { return path_; }

private:
    // Appends the gathered entries to the file.
    void flush();

    std::string path_;
    std::unique_ptr<SafeFileWriter> writer_;  // made with the first entry
    std::string buffer_;                      // entries gathered for one write of about kBufferBytes
    bool ok_ = true;
};

}  // namespace keldro::batch
