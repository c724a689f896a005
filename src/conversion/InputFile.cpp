#include "conversion/InputFile.h"

#include "mfi/File.h"
#include "tavi/Engine.h"

namespace keldro {

ReadOutcome readInputFile(const std::string& path, FileMode mode, ReadFile& into) {
    const std::uint64_t largest = mode == FileMode::Tavi ? tavi::kLargestFileSize : mfi::kLargestFileSize;
    return readWholeFileOrFolder(path, into, largest);
}

Result oversizedInput(FileMode mode) { return mode == FileMode::Tavi ? Result::FileSizeError : Result::MfiHeaderSize; }

}  // namespace keldro
