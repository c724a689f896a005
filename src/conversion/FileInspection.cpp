#include "conversion/FileInspection.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "volume/Result.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/VolumeFile.h"
#include "conversion/InputFile.h"
#include "platform/Files.h"
#include "platform/Shortage.h"
#include "platform/Text.h"
#include "tavi/Engine.h"
#include "volume/FileKinds.h"
#include "volume/VolumeTables.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

constexpr int kAudioTrack = 255;

void keepLoudest(std::optional<int>& loudest, int value) {
    if (!loudest || value > *loudest) loudest = value;
}

// Channel volumes set the peak of VQ-2 and MFi 2.0 files; master volumes and
// the MaxGain that of the others. `channelScale` brings MFi's 0 ... 63 to 0 ... 127.
void computePeak(Inspection& in, bool byChannel, int channelScale) {
    int steps;
    if (byChannel || !in.masterVolume) {
        if (!in.channelVolume) return;
        steps = attenuationOfVolume(*in.channelVolume * channelScale);
    } else {
        steps = attenuationOfVolume(*in.masterVolume);
    }
    if (!byChannel && in.maxGainSteps) steps += *in.maxGainSteps;
    in.peakTenths = tenthsOfAttenuationSteps(steps);
}

Inspection failed(FileMode mode, Result outcome) {
    Inspection in;
    in.mode = mode;
    in.outcome = outcome;
    in.message = std::string(resultMessage(outcome));
    return in;
}

// The TAVI engine walks the file as a conversion would and records every
// volume point with the value found (tavi::findVolumes); the volumes a
// channel plays at before its first volume event are among them.
Inspection inspectTavi(ByteSpan bytes) {
    Inspection in;
    in.mode = FileMode::Tavi;
    const tavi::Conversion ran = tavi::findVolumes(bytes);
    if (!isSuccess(ran.result)) return failed(FileMode::Tavi, ran.result);
    in.kind = tavi::kindNumber(ran.generation);
    for (const VolumeChangeRecord& r : ran.changes) {
        if (r.action == kActionMaxGainRelative) {
            // Several MaxGain events: the loudest (fewest steps) sets the peak.
            if (!in.maxGainSteps || r.beforeGain < *in.maxGainSteps) in.maxGainSteps = r.beforeGain;
        } else if (in.kind == 2 || r.track == kAudioTrack) {
            keepLoudest(in.channelVolume, r.beforeVolume);
        } else {
            keepLoudest(in.masterVolume, r.beforeVolume);
        }
    }
    computePeak(in, in.kind == 2, 1);
    return in;
}

// MFi 2.0: the channels the channel volume rule changes, those that play,
// with the volume they are given when they play before their first volume.
void findChannelVolumes(mfi::VolumeFile& f, Inspection& in) {
    for (int t = 0; t < 4; ++t) {
        for (int c = 0; c < 4; ++c) {
            const int firstNote = f.firstNoteOf(t, 0, c);
            if (firstNote < 0) continue;
            const int firstVolume = f.nextChannelVolumeOf(t, 0, c);
            if (firstVolume < 0 || firstVolume > firstNote)
                keepLoudest(in.channelVolume, mfi::VolumeFile::kAssumedVolume);
            for (int j = firstVolume; j >= 0; j = f.nextChannelVolumeOf(t, j + 1, c))
                keepLoudest(in.channelVolume, f.eventAt(t, j)->channelVolume());
        }
    }
    const int firstAdpcmNote = f.nextAdpcmNote(0);
    if (firstAdpcmNote < 0) return;
    const int firstAdpcmVolume = f.nextAdpcmVolume(0);
    if (firstAdpcmVolume < 0 || firstAdpcmVolume > firstAdpcmNote)
        keepLoudest(in.channelVolume, mfi::VolumeFile::kAssumedVolume);
    for (int j = firstAdpcmVolume; j >= 0; j = f.nextAdpcmVolume(j + 1)) {
        const int v = f.eventAt(0, j)->adpcmVolume();
        if (v >= 0) keepLoudest(in.channelVolume, v);
    }
}

Inspection inspectMfi(ByteSpan bytes) {
    mfi::VolumeFile f;
    if (const Result read = f.parse(bytes); !ok(read)) return failed(FileMode::Mfi, read);
    Inspection in;
    in.mode = FileMode::Mfi;
    in.kind = mfiVersionOfVers(f.infoRecord().versText());
    if (in.kind == 0) return failed(FileMode::Mfi, Result::MfiNonsupportVersion);
    for (int i = f.nextMasterVolume(0); i >= 0; i = f.nextMasterVolume(i + 1))
        keepLoudest(in.masterVolume, f.eventAt(0, i)->masterVolume());
    if (in.kind == kMfiVersion20) {
        findChannelVolumes(f, in);
    } else {
        in.maxGainSteps = f.maxGainValue();
    }
    computePeak(in, in.kind == kMfiVersion20, 2);
    return in;
}

}  // namespace

Inspection inspectBytes(ByteSpan bytes, FileMode mode) {
    return mode == FileMode::Tavi ? inspectTavi(bytes) : inspectMfi(bytes);
}

Inspection inspectFile(const std::string& path, FileMode mode) {
    ReadFile file;
    const ReadOutcome read = readInputFile(path, mode, file);
    return inspectReadFile(read, file, mode);
}

Inspection inspectReadFile(ReadOutcome read, const ReadFile& file, FileMode mode) {
    switch (read) {
        case ReadOutcome::Read: break;
        case ReadOutcome::TooLarge: return failed(mode, oversizedInput(mode));
        case ReadOutcome::Refused: return failed(mode, refusedInput(mode, file));
        // A folder fails the read like anything else that is not a regular file.
        case ReadOutcome::Directory:
        case ReadOutcome::Failed: return failed(mode, Result::FileReadError);
    }
    return inspectReadBytes(ByteSpan(file.bytes), mode);
}

Inspection inspectReadBytes(ByteSpan bytes, FileMode mode) {
    try {
        return inspectBytes(bytes, mode);
    } catch (const std::bad_alloc&) {
        noteShortage(Shortage::Memory);
        return failed(mode, Result::FileReadError);
    }
}

std::string kindText(const Inspection& in) {
    if (!in.ok()) return "---";
    return in.mode == FileMode::Tavi ? taviKindText(in.kind) : mfiKindText(in.kind);
}

}  // namespace keldro
