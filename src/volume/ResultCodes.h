#pragma once
// The program's vocabulary of outcomes: every numbered message text and every
// result code with its message and exit status live in one table.
#include <string_view>

namespace keldro {

// Result numbers 0 ... 68. Operations return 0, -1 or -code; 0 "Converted." and
// 1 "Not Converted - Not exist target volume." are the two successes.
enum ResultCode : int {
    kConverted = 0,
    kNotConverted = 1,
    kChunkSizeCnti = 2,
    kChunkSizeOpda = 3,
    kChunkSizeMtr = 4,
    kChunkSizeAtr = 5,
    kChunkSizeGtr = 6,
    kChunkSizeMstr = 7,
    kChunkSizeDch = 8,
    kChunkSizePro = 9,
    kChunkSizeMspi = 10,
    kChunkSizeMtsu = 11,
    kChunkSizeMtsq = 12,
    kChunkSizeMtsp = 13,
    kNonsupportChunkId = 14,
    kNonsupportChunkIdOpda = 15,
    kNonsupportChunkIdMtr = 16,
    kTagSizeOpda = 17,
    kExclusiveSizeMtsq = 18,
    kSequenceDataMtsq = 19,
    kFileSizeError = 20,
    kNonsupportFileId = 21,
    kCompressTavi = 22,
    kFolderOpenError = 23,
    kCancel = 24,
    kFileWriteError = 25,
    kFileReadError = 26,
    kNoTaviFile = 27,
    kIllegalExclusiveMtsq = 28,
    kIllegalCrc = 29,
    kPathTooLong = 30,
    kIllegalAtSig = 31,
    kSkipConversionAtSig = 32,
    kSequenceDataAtsq = 33,
    kNoMasterVolume = 34,
    kMixedTaviKinds = 35,
    kSequenceData = 36,
    kChunkSizeAtsq = 37,
    kChunkSizeAwa = 38,
    kNonsupportChunkIdAtr = 39,
    kTagSizeCnti = 40,
    kChunkSizeAspi = 41,
    kInvalidPointsMspi = 42,
    kInvalidPointsAspi = 43,
    kNoCnti = 44,
    kNoAtSig = 45,
    kNoMaxGain = 46,
    kNoMfiFile = 47,
    kMfiNonsupportFileId = 48,
    kMfiHeaderSize = 49,
    kMfiChunkSize = 50,
    kMfiTrackCount = 51,
    kMfiSubchunkSize = 52,
    kMfiTrackId = 53,
    kMfiTrackSize = 54,
    kMfiAudioCount = 55,
    kMfiAudioId = 56,
    kMfiAudioSize = 57,
    kMfiNoMaxGain = 58,
    kMfiNoMasterVolume = 59,
    kMfiNonsupportVersion = 60,
    kMfiWriteFirst = 61,
    kMfiWriteLast = 68,
};

inline constexpr int kResultCodeCount = 69;

// Message table entry of a result code; 231 ("???") for anything outside 0 ... 68.
int resultMessageEntry(int code);
// Message text of a result code ("???" outside 0 ... 68).
std::string_view resultMessage(int code);
// Exit status of a result code (1 outside 0 ... 68).
int resultExitStatus(int code);

// Numbered message texts (entries 200 ... 511); empty view for an unknown entry.
std::string_view messageText(int entry);

namespace msg {
inline constexpr int kSettingsFileName = 303;
inline constexpr int kInitialFileParameterError = 323;
}  // namespace msg

}  // namespace keldro
