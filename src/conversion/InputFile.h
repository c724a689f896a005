#pragma once
// Reading one input file of either mode, for conversion, inspection and
// normalising alike: whole and once, so that what is judged is what is
// converted or copied. A file longer than its format's 32-bit length field
// can describe cannot be a file of the format and is refused before any
// memory is taken for it; so is one whose header (id and length fields
// against the file's size) the format refuses, after only its first bytes
// are read (Refused).
#include <string>

#include "conversion/FileEngineStep.h"
#include "platform/Files.h"
#include "volume/Result.h"

namespace keldro {

ReadOutcome readInputFile(const std::string& path, FileMode mode, ReadFile& into);
// The same with the header check of `step` (the format's own for the
// formats' steps), as the conversion job reads.
ReadOutcome readInputFile(const std::string& path, const FileEngineStep& step, ReadFile& into);

// The result of such a file: what each format's reader says of a length
// field that does not describe the file ("File size error." for TAVI,
// "Header size error." for MFi).
Result oversizedInput(FileMode mode);

// The result of a file readInputFile refused by its head (Refused, `head`
// as the read left it): what the format's reader says of its header.
Result refusedInput(FileMode mode, const ReadFile& head);
Result refusedInput(const FileEngineStep& step, const ReadFile& head);

}  // namespace keldro
