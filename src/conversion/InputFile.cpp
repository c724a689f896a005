#include "conversion/InputFile.h"

#include "conversion/MfiFileStep.h"
#include "conversion/TaviFileStep.h"
#include "mfi/File.h"
#include "tavi/Engine.h"

namespace keldro {
namespace {

// The engine step of each format, for its header check.
const FileEngineStep& formatStep(FileMode mode) {
    static const std::unique_ptr<FileEngineStep> tavi = makeTaviFileStep();
    static const std::unique_ptr<FileEngineStep> mfi = makeMfiFileStep();
    return mode == FileMode::Tavi ? *tavi : *mfi;
}

}  // namespace

ReadOutcome readInputFile(const std::string& path, FileMode mode, ReadFile& into) {
    return readInputFile(path, formatStep(mode), into);
}

ReadOutcome readInputFile(const std::string& path, const FileEngineStep& step, ReadFile& into) {
    const std::uint64_t largest = step.mode() == FileMode::Tavi ? tavi::kLargestFileSize : mfi::kLargestFileSize;
    HeadCheck head;
    if (step.headBytes() > 0) {
        head.bytes = step.headBytes();
        head.refuses = [&step](ByteSpan bytes, std::uint64_t size) { return !ok(step.checkHead(bytes, size)); };
    }
    return readWholeFileOrFolder(path, into, largest, head);
}

Result oversizedInput(FileMode mode) { return mode == FileMode::Tavi ? Result::FileSizeError : Result::MfiHeaderSize; }

Result refusedInput(FileMode mode, const ReadFile& head) { return refusedInput(formatStep(mode), head); }

Result refusedInput(const FileEngineStep& step, const ReadFile& head) {
    return step.checkHead(ByteSpan(head.bytes), head.size);
}

}  // namespace keldro
