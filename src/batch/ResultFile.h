#pragma once
// The batch's result file: the result-log entries of all files, in input
// order whatever the order in which the workers finish. Each entry is written
// (with the result log's own writer) as soon as every earlier one is.
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace keldro::batch {

class ResultFile {
public:
    ResultFile(std::string path, std::size_t count);

    // Safe to call from several workers; each index once.
    void put(std::size_t index, std::string entry);
    // False when any write failed.
    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }

private:
    std::mutex mutex_;
    std::string path_;
    std::vector<std::optional<std::string>> pending_;
    std::size_t next_ = 0;
    bool first_ = true;
    bool ok_ = true;
};

}  // namespace keldro::batch
