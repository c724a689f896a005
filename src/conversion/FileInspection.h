#pragma once
// What --inspect and --normalize learn about one file without changing it:
// its kind, MaxGain, loudest master volume, loudest channel volume and peak
// level. Only the volumes a conversion would change count: channel volumes
// (with the audio / ADPCM volume) for VQ-2 and MFi 2.0, master volumes and
// the MaxGain for the later kinds. The peak level is the attenuation of the
// loudest of them plus the MaxGain, through the attenuation tables.
#include <optional>
#include <string>

#include "conversion/FileEngineStep.h"
#include "platform/Bytes.h"
#include "platform/Files.h"
#include "volume/Result.h"

namespace keldro {

struct Inspection {
    FileMode mode = FileMode::Tavi;
    Result outcome = Result::Converted;  // Converted when the file could be inspected
    std::string message;                 // the outcome's message when it could not
    int kind = 0;                        // TAVI generation 2/3/5/7, MFi version 20/30/31/40
    std::optional<int> maxGainSteps;     // 0 ... 24 half-dB steps of attenuation
    std::optional<int> masterVolume;     // 0 ... 127
    std::optional<int> channelVolume;    // 0 ... 127 TAVI, 0 ... 63 MFi
    std::optional<int> peakTenths;       // tenths of a dB, 0 at the loudest

    bool ok() const { return outcome == Result::Converted; }
};

// A file too large for its format, or one that does not fit in memory, is
// not inspected: its outcome says why ("File read error." for the memory).
Inspection inspectFile(const std::string& path, FileMode mode);
// The same for a file read by readInputFile with the outcome `read`.
Inspection inspectReadFile(ReadOutcome read, const ReadFile& file, FileMode mode);
// Bytes already in memory, as read: memory running out is "File read error.".
Inspection inspectReadBytes(ByteSpan bytes, FileMode mode);
Inspection inspectBytes(ByteSpan bytes, FileMode mode);

// "TAVI/VQ-7", "MFi/3.1", or "---" when the kind is not known.
std::string kindText(const Inspection& inspection);

}  // namespace keldro
