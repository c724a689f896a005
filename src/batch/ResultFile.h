#pragma once
// The batch's result file: the result-log entries of all files, in input
// order whatever the order in which the workers finish. Each entry is added
// as soon as every earlier one is; the file appears whole at finish(), like
// every file this program writes, so a run that is cut short or fails to
// write never leaves a torn result file. Entries go to the file in writes of
// some kilobytes, not one write each.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace keldro::batch {

class ResultFile {
public:
    ResultFile(std::string path, std::size_t count);

    // Safe to call from several workers; each index once.
    void put(std::size_t index, std::string entry);
    // Puts the file in place when any entry was written; false when any write failed.
    bool finish();
    const std::string& path() const { return path_; }

private:
    std::mutex mutex_;
    std::string path_;
    std::vector<std::optional<std::string>> pending_;
    std::size_t next_ = 0;
    // Appends the gathered entries to the file.
    void flush();

    std::unique_ptr<SafeFileWriter> writer_;  // made with the first entry
    std::string buffer_;  // entries gathered for one write of about kBufferBytes
    bool ok_ = true;
};

}  // namespace keldro::batch
