#include "volume/ResultCodes.h"

#include <iterator>

namespace keldro {
namespace {

struct MessageEntry {
    int entry;
    std::string_view text;
};

// Every text the program prints, by its number.
constexpr MessageEntry kMessages[] = {
    {200, "Converted."},
    {201, "Chunk size error in CNTI."},
    {202, "Chunk size error in OPDA."},
    {203, "Chunk size error in MTR."},
    {204, "Chunk size error in ATR."},
    {205, "Chunk size error in GTR."},
    {206, "Chunk size error in MSTR."},
    {207, "Chunk size error in Dch."},
    {208, "Chunk size error in Pro."},
    {209, "Chunk size error in MspI."},
    {210, "Chunk size error in Mtsu."},
    {211, "Chunk size error in Mtsq."},
    {212, "Chunk size error in Mtsp."},
    {213, "Nonsupport Chunk ID."},
    {214, "Nonsupport Chunk ID in OPDA."},
    {215, "Nonsupport Chunk ID in MTR."},
    {216, "Tag size error in OPDA."},
    {217, "Exclusive message size error in Mtsq."},
    {218, "Sequence data error in Mtsq."},
    {219, "File size error."},
    {220, "Nonsupport File ID."},
    {221, "Not Converted - Not exist target volume."},
    {222, "Tag size error in CNTI."},
    {223, "Compress TAVI data."},
    {224, "Folder open error."},
    {225, "Cancel"},
    {226, "File write error."},
    {227, "File read error."},
    {228, "No TAVI file."},
    {229, "Illegal Exclusive message in Mtsq."},
    {230, "Illegal CRC error."},
    {231, "???"},
    {232, "File path is too long."},
    {233, "Sequence data error."},
    {234, "Illegal ATSig."},
    {235, "Skip conversion. - Nonsupported ATSig detect."},
    {236, "Sequence data error in Atsq."},
    {237, "Can not find MasterVolume."},
    {238, "MTR of the different TAVI kind exist."},
    {239, "Chunk size error in Atsq."},
    {240, "Chunk size error in Awa."},
    {241, "Nonsupport Chunk ID in ATR."},
    {242, "Chunk size error in AspI."},
    {243, "Invalid StartPoint/StopPoint in MspI."},
    {244, "Invalid StartPoint/StopPoint in AspI."},
    {245, "Not exist CNTI Chunk."},
    {246, "Not exist ATSig(A0)."},
    {247, "Can not find MaxGain."},
    {303, "KELDRO.ini"},
    {304, "   -i   Filename    :Input file name\n   -o   Filename    :Output file name\n   -l   Filename    :Log file name\n"},
    {305, "   -db  dB_Value    :Relative Value  (-60 ... 60)\n   -mv  MV_Value    :MasterVolume    (0 ... 127)\n   -mg  MG_Value    :MaxGain         (-12 ... 0)\n"},
    {306, "   -c1  CV_Value    :Channel1 Volume (0 ... 127)\n   -c2  CV_Value    :Channel2 Volume (0 ... 127)\n   -c3  CV_Value    :Channel3 Volume (0 ... 127)\n   -c4  CV_Value    :Channel4 Volume (0 ... 127)\n"},
    {307, "   -c5  CV_Value    :Channel5 Volume (0 ... 127)\n   -c6  CV_Value    :Channel6 Volume (0 ... 127)\n   -c7  CV_Value    :Channel7 Volume (0 ... 127)\n   -c8  CV_Value    :Channel8 Volume (0 ... 127)\n"},
    {308, "   -c9  CV_Value    :Channel9 Volume (0 ... 127)\n   -c10 CV_Value    :Channel10 Volume(0 ... 127)\n   -c11 CV_Value    :Channel11 Volume(0 ... 127)\n   -c12 CV_Value    :Channel12 Volume(0 ... 127)\n"},
    {309, "   -c13 CV_Value    :Channel13 Volume(0 ... 127)\n   -c14 CV_Value    :Channel14 Volume(0 ... 127)\n   -c15 CV_Value    :Channel15 Volume(0 ... 127)\n   -c16 CV_Value    :Channel16 Volume(0 ... 127)\n"},
    {310, "   -ca  CV_Value    :ADPCM Volume    (0 ... 127)\n   -e               :Regulate Chorus(Distortion/Copmressor)\n   -h               :Help\n   -v               :Version\n"},
    {311, "Master Volume Converter for VQ-2,3,5,7/TAVI\n"},
    {312, "-i Filename -o Filename [-l Filename] [-db dB_Value] [-mv MV_Value] [-mg MG_Value] [-c* CV_Value] [-e] [-h] [-v]\n"},
    {313, "Master Volume Converter for MFi/2.0,3.0,3.1,4.0\n"},
    {314, "-i Filename -o Filename [-l Filename] [-db dB_Value] [-mg MG_Value] [-c* CV_Value] [-e] [-h] [-v]\n"},
    {315, "   -db  dB_Value    :Relative Value  (-60 ... 60)\n"},
    {316, "   -mg  MG_Value    :MaxGain         (-12 ... 0)\n"},
    {317, "   -e               :Regulate Chorus(Distortion/Copmressor)\n   -h               :Help\n   -v               :Version\n"},
    {318, "   -c1  CV_Value    :Channel1 Volume (0 ... 63)\n   -c2  CV_Value    :Channel2 Volume (0 ... 63)\n   -c3  CV_Value    :Channel3 Volume (0 ... 63)\n   -c4  CV_Value    :Channel4 Volume (0 ... 63)\n"},
    {319, "   -c5  CV_Value    :Channel5 Volume (0 ... 63)\n   -c6  CV_Value    :Channel6 Volume (0 ... 63)\n   -c7  CV_Value    :Channel7 Volume (0 ... 63)\n   -c8  CV_Value    :Channel8 Volume (0 ... 63)\n"},
    {320, "   -c9  CV_Value    :Channel9 Volume (0 ... 63)\n   -c10 CV_Value    :Channel10 Volume(0 ... 63)\n   -c11 CV_Value    :Channel11 Volume(0 ... 63)\n   -c12 CV_Value    :Channel12 Volume(0 ... 63)\n"},
    {321, "   -c13 CV_Value    :Channel13 Volume(0 ... 63)\n   -c14 CV_Value    :Channel14 Volume(0 ... 63)\n   -c15 CV_Value    :Channel15 Volume(0 ... 63)\n   -c16 CV_Value    :Channel16 Volume(0 ... 63)\n"},
    {322, "   -ca  CV_Value    :ADPCM Volume    (0 ... 63)\n"},
    {323, "Initial file parameter error."},
    {500, "No MFi file."},
    {501, "Nonsupport File ID."},
    {502, "Header size error."},
    {503, "Chunk size error."},
    {504, "Illegal number of Tracks."},
    {505, "Subchunk size error."},
    {506, "Nonsupport Chunk ID in Track."},
    {507, "Chunk size error in Track."},
    {508, "Illegal number of Audio data."},
    {509, "Nonsupport Chunk ID in Audio data."},
    {510, "Chunk size error in Audio data."},
    {511, "Nonsupport version of MFi format."},
};

struct ResultEntry {
    ResultCode code;
    int entry;       // its message in kMessages
    int exitStatus;  // what the process exits with
};

// One row per result code, in the order of the codes (checked below), so
// that a code finds its row directly.
constexpr ResultEntry kResults[] = {
    {kConverted, 200, 0},
    {kNotConverted, 221, 0},
    {kChunkSizeCnti, 201, -5},
    {kChunkSizeOpda, 202, -6},
    {kChunkSizeMtr, 203, -11},
    {kChunkSizeAtr, 204, -19},
    {kChunkSizeGtr, 205, -20},
    {kChunkSizeMstr, 206, -21},
    {kChunkSizeDch, 207, -9},
    {kChunkSizePro, 208, -10},
    {kChunkSizeMspi, 209, -13},
    {kChunkSizeMtsu, 210, -14},
    {kChunkSizeMtsq, 211, -16},
    {kChunkSizeMtsp, 212, -15},
    {kNonsupportChunkId, 213, -1},
    {kNonsupportChunkIdOpda, 214, -7},
    {kNonsupportChunkIdMtr, 215, -12},
    {kTagSizeOpda, 216, -8},
    {kExclusiveSizeMtsq, 217, -18},
    {kSequenceDataMtsq, 218, -17},
    {kFileSizeError, 219, -3},
    {kNonsupportFileId, 220, -2},
    {kCompressTavi, 223, -41},
    {kFolderOpenError, 224, -42},
    {kCancel, 225, 1},
    {kFileWriteError, 226, -24},
    {kFileReadError, 227, -24},
    {kNoTaviFile, 228, -23},
    {kIllegalExclusiveMtsq, 229, -34},
    {kIllegalCrc, 230, -22},
    {kPathTooLong, 232, -25},
    {kIllegalAtSig, 234, -27},
    {kSkipConversionAtSig, 235, -26},
    {kSequenceDataAtsq, 236, -37},
    {kNoMasterVolume, 237, -30},
    {kMixedTaviKinds, 238, -29},
    {kSequenceData, 233, -38},
    {kChunkSizeAtsq, 239, -35},
    {kChunkSizeAwa, 240, -36},
    {kNonsupportChunkIdAtr, 241, -39},
    {kTagSizeCnti, 222, -33},
    {kChunkSizeAspi, 242, -39},
    {kInvalidPointsMspi, 243, -31},
    {kInvalidPointsAspi, 244, -32},
    {kNoCnti, 245, -4},
    {kNoAtSig, 246, -28},
    {kNoMaxGain, 247, -43},
    {kNoMfiFile, 500, -44},
    {kMfiNonsupportFileId, 501, -45},
    {kMfiHeaderSize, 502, -46},
    {kMfiChunkSize, 503, -47},
    {kMfiTrackCount, 504, -48},
    {kMfiSubchunkSize, 505, -49},
    {kMfiTrackId, 506, -50},
    {kMfiTrackSize, 507, -51},
    {kMfiAudioCount, 508, -52},
    {kMfiAudioId, 509, -53},
    {kMfiAudioSize, 510, -54},
    {kMfiNoMaxGain, 247, -43},
    {kMfiNoMasterVolume, 237, -30},
    {kMfiNonsupportVersion, 511, -55},
    {kMfiWriteFirst, 226, -24},
    {ResultCode(kMfiWriteFirst + 1), 226, -24},
    {ResultCode(kMfiWriteFirst + 2), 226, -24},
    {ResultCode(kMfiWriteFirst + 3), 226, -24},
    {ResultCode(kMfiWriteFirst + 4), 226, -24},
    {ResultCode(kMfiWriteFirst + 5), 226, -24},
    {ResultCode(kMfiWriteFirst + 6), 226, -24},
    {kMfiWriteLast, 226, -24},
};
static_assert(std::size(kResults) == kResultCodeCount);

constexpr bool rowsFollowTheCodes() {
    for (std::size_t i = 0; i < std::size(kResults); ++i)
        if (kResults[i].code != static_cast<int>(i)) return false;
    return true;
}
static_assert(rowsFollowTheCodes(), "kResults must hold one row per result code, in order");

constexpr int kUnknownEntry = 231;

}  // namespace

int resultMessageEntry(int code) {
    if (code < 0 || code >= kResultCodeCount) return kUnknownEntry;
    return kResults[static_cast<std::size_t>(code)].entry;
}

std::string_view resultMessage(int code) { return messageText(resultMessageEntry(code)); }

int resultExitStatus(int code) {
    if (code < 0 || code >= kResultCodeCount) return 1;
    return kResults[static_cast<std::size_t>(code)].exitStatus;
}

std::string_view messageText(int entry) {
    for (const auto& m : kMessages)
        if (m.entry == entry) return m.text;
    return {};
}

}  // namespace keldro
