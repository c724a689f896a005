#pragma once
// The program's vocabulary of outcomes: every result with its message and
// exit status, and every numbered message text, each in one table.
#include <cstdint>
#include <optional>
#include <string_view>

namespace keldro {

// How a conversion ended. Converted and NotConverted (nothing the settings
// ask to change) are the two successes; every other result names the error
// that ended it. Inside the engines Converted also answers "this step went
// well, go on". The numbers are the result numbers the C interface reports.
// 63 and 65 ... 68 belong to MFi write failures that no step produces.
enum class Result : std::uint8_t {
    Converted = 0,
    NotConverted = 1,
    ChunkSizeCnti = 2,
    ChunkSizeOpda = 3,
    ChunkSizeMtr = 4,
    ChunkSizeAtr = 5,
    ChunkSizeGtr = 6,
    ChunkSizeMstr = 7,
    ChunkSizeDch = 8,
    ChunkSizePro = 9,
    ChunkSizeMspi = 10,
    ChunkSizeMtsu = 11,
    ChunkSizeMtsq = 12,
    ChunkSizeMtsp = 13,
    NonsupportChunkId = 14,
    NonsupportChunkIdOpda = 15,
    NonsupportChunkIdMtr = 16,
    TagSizeOpda = 17,
    ExclusiveSizeMtsq = 18,
    SequenceDataMtsq = 19,
    FileSizeError = 20,
    NonsupportFileId = 21,
    CompressTavi = 22,
    FolderOpenError = 23,
    Cancel = 24,
    FileWriteError = 25,
    FileReadError = 26,
    NoTaviFile = 27,
    IllegalExclusiveMtsq = 28,
    IllegalCrc = 29,
    PathTooLong = 30,
    IllegalAtSig = 31,
    SkipConversionAtSig = 32,
    SequenceDataAtsq = 33,
    NoMasterVolume = 34,
    MixedTaviKinds = 35,
    SequenceData = 36,
    ChunkSizeAtsq = 37,
    ChunkSizeAwa = 38,
    NonsupportChunkIdAtr = 39,
    TagSizeCnti = 40,
    ChunkSizeAspi = 41,
    InvalidPointsMspi = 42,
    InvalidPointsAspi = 43,
    NoCnti = 44,
    NoAtSig = 45,
    NoMaxGain = 46,
    NoMfiFile = 47,
    MfiNonsupportFileId = 48,
    MfiHeaderSize = 49,
    MfiChunkSize = 50,
    MfiTrackCount = 51,
    MfiSubchunkSize = 52,
    MfiTrackId = 53,
    MfiTrackSize = 54,
    MfiAudioCount = 55,
    MfiAudioId = 56,
    MfiAudioSize = 57,
    MfiNoMaxGain = 58,
    MfiNoMasterVolume = 59,
    MfiNonsupportVersion = 60,
    MfiStepFailed = 61,
    MfiOutputTooSmall = 62,
    MfiNoBuffer = 64,
};

// Result numbers run from 0 to this value.
inline constexpr int kLastResultNumber = 68;
// The exit status of anything outside the table of results.
inline constexpr int kExitStatusOutsideTable = 1;

// True while a step's answer lets the conversion go on.
constexpr bool ok(Result r) { return r == Result::Converted; }
// The two results whose output holds the file (converted or copied).
constexpr bool isSuccess(Result r) { return r == Result::Converted || r == Result::NotConverted; }
constexpr int resultNumber(Result r) { return static_cast<int>(r); }
// The result of a number 0 ... 68; none for any other number.
std::optional<Result> resultOfNumber(int number);

// The message entry, message text and process exit status of a result.
int resultMessageEntry(Result r);
std::string_view resultMessage(Result r);
int resultExitStatus(Result r);

// Numbered message texts (entries 200 ... 511); empty view for an unknown entry.
std::string_view messageText(int entry);

namespace msg {
inline constexpr int kInitialFileParameterError = 323;

// keldro's help: per mode a title, a usage line (after the program's name)
// and blocks of option lines.
inline constexpr int kTaviHelpTitle = 311;
inline constexpr int kTaviHelpUsage = 312;
inline constexpr int kMfiHelpTitle = 313;
inline constexpr int kMfiHelpUsage = 314;
inline constexpr int kHelpFileOptions = 304;       // -i, -o, -l
inline constexpr int kTaviHelpLevelOptions = 305;  // -db, -mv, -mg
inline constexpr int kTaviHelpChannels1To4 = 306;  // -c1 ... -c4, 0 ... 127
inline constexpr int kTaviHelpChannels5To8 = 307;
inline constexpr int kTaviHelpChannels9To12 = 308;
inline constexpr int kTaviHelpChannels13To16 = 309;
inline constexpr int kTaviHelpAdpcmAndSwitches = 310;  // -ca, -e, -h, -v
inline constexpr int kMfiHelpDbOption = 315;           // -db
inline constexpr int kMfiHelpMaxGainOption = 316;      // -mg
inline constexpr int kMfiHelpSwitches = 317;           // -e, -h, -v
inline constexpr int kMfiHelpChannels1To4 = 318;       // -c1 ... -c4, 0 ... 63
inline constexpr int kMfiHelpChannels5To8 = 319;
inline constexpr int kMfiHelpChannels9To12 = 320;
inline constexpr int kMfiHelpChannels13To16 = 321;
inline constexpr int kMfiHelpAdpcmOption = 322;  // -ca
}  // namespace msg

}  // namespace keldro
