#pragma once
// Failure codes of the MFi model, reader, writer and volume analysis. Every
// operation returns 0 on success or one of these negative values; callers map
// them to the user's messages.

namespace keldro::mfi {

enum Error : int {
    MfiOk = 0,
    ErrEventData = -992,       // an extended event without data bytes cannot be written
    ErrBadArgument = -991,     // "No MFi file."
    ErrFormat = -980,          // "No MFi file."
    ErrFileId = -975,          // "Nonsupport File ID."
    ErrHeaderSize = -974,      // "Header size error."
    ErrChunkSize = -973,       // "Chunk size error."
    ErrTrackCount = -972,      // "Illegal number of Tracks."
    ErrSubchunkSize = -971,    // "Subchunk size error."
    ErrTrackId = -970,         // "Nonsupport Chunk ID in Track."
    ErrTrackSize = -969,       // "Chunk size error in Track."
    ErrAudioCount = -967,      // "Illegal number of Audio data."
    ErrAudioId = -966,         // "Nonsupport Chunk ID in Audio data."
    ErrAudioSize = -965,       // "Chunk size error in Audio data."
    ErrNoMaxGain = -964,       // "Can not find MaxGain."
    ErrNoMasterVolume = -963,  // "Can not find MasterVolume."
};

}  // namespace keldro::mfi
