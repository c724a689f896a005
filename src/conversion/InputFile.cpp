#include "conversion/InputFile.h"

#include "mfi/File.h"
#include "tavi/Engine.h"

namespace keldro {
namespace {

Result headVerdict(FileMode mode, ByteSpan head, std::uint64_t size) {
    return mode == FileMode::Tavi ? tavi::checkFileHead(head, size) : mfi::checkFileHead(head, size);
}

}  // namespace

ReadOutcome readInputFile(const std::string& path, FileMode mode, ReadFile& into) {
    const std::uint64_t largest = mode == FileMode::Tavi ? tavi::kLargestFileSize : mfi::kLargestFileSize;
    const HeadCheck head{mode == FileMode::Tavi ? tavi::kFileHeadBytes : mfi::kFileHeadBytes,
                         [mode](ByteSpan bytes, std::uint64_t size) { return !ok(headVerdict(mode, bytes, size)); }};
    return readWholeFileOrFolder(path, into, largest, head);
}

Result oversizedInput(FileMode mode) { return mode == FileMode::Tavi ? Result::FileSizeError : Result::MfiHeaderSize; }

Result refusedInput(FileMode mode, const ReadFile& head) { return headVerdict(mode, ByteSpan(head.bytes), head.size); }

}  // namespace keldro
