#include "volume/Result.h"

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
    {304,
     "   -i   Filename    :Input file name\n"
     "   -o   Filename    :Output file name\n"
     "   -l   Filename    :Log file name\n"},
    {305,
     "   -db  dB_Value    :Relative Value  (-60 ... 60)\n"
     "   -mv  MV_Value    :MasterVolume    (0 ... 127)\n"
     "   -mg  MG_Value    :MaxGain         (-12 ... 0)\n"},
    {306,
     "   -c1  CV_Value    :Channel1 Volume (0 ... 127)\n"
     "   -c2  CV_Value    :Channel2 Volume (0 ... 127)\n"
     "   -c3  CV_Value    :Channel3 Volume (0 ... 127)\n"
     "   -c4  CV_Value    :Channel4 Volume (0 ... 127)\n"},
    {307,
     "   -c5  CV_Value    :Channel5 Volume (0 ... 127)\n"
     "   -c6  CV_Value    :Channel6 Volume (0 ... 127)\n"
     "   -c7  CV_Value    :Channel7 Volume (0 ... 127)\n"
     "   -c8  CV_Value    :Channel8 Volume (0 ... 127)\n"},
    {308,
     "   -c9  CV_Value    :Channel9 Volume (0 ... 127)\n"
     "   -c10 CV_Value    :Channel10 Volume(0 ... 127)\n"
     "   -c11 CV_Value    :Channel11 Volume(0 ... 127)\n"
     "   -c12 CV_Value    :Channel12 Volume(0 ... 127)\n"},
    {309,
     "   -c13 CV_Value    :Channel13 Volume(0 ... 127)\n"
     "   -c14 CV_Value    :Channel14 Volume(0 ... 127)\n"
     "   -c15 CV_Value    :Channel15 Volume(0 ... 127)\n"
     "   -c16 CV_Value    :Channel16 Volume(0 ... 127)\n"},
    {310,
     "   -ca  CV_Value    :ADPCM Volume    (0 ... 127)\n"
     "   -e               :Regulate Chorus(Distortion/Copmressor)\n"
     "   -h               :Help\n"
     "   -v               :Version\n"},
    {311, "Master Volume Converter for VQ-2,3,5,7/TAVI\n"},
    {312,
     "-i Filename -o Filename [-l Filename] [-db dB_Value] [-mv MV_Value] [-mg MG_Value] [-c* CV_Value] [-e] [-h] "
     "[-v]\n"},
    {313, "Master Volume Converter for MFi/2.0,3.0,3.1,4.0\n"},
    {314, "-i Filename -o Filename [-l Filename] [-db dB_Value] [-mg MG_Value] [-c* CV_Value] [-e] [-h] [-v]\n"},
    {315, "   -db  dB_Value    :Relative Value  (-60 ... 60)\n"},
    {316, "   -mg  MG_Value    :MaxGain         (-12 ... 0)\n"},
    {317,
     "   -e               :Regulate Chorus(Distortion/Copmressor)\n"
     "   -h               :Help\n"
     "   -v               :Version\n"},
    {318,
     "   -c1  CV_Value    :Channel1 Volume (0 ... 63)\n"
     "   -c2  CV_Value    :Channel2 Volume (0 ... 63)\n"
     "   -c3  CV_Value    :Channel3 Volume (0 ... 63)\n"
     "   -c4  CV_Value    :Channel4 Volume (0 ... 63)\n"},
    {319,
     "   -c5  CV_Value    :Channel5 Volume (0 ... 63)\n"
     "   -c6  CV_Value    :Channel6 Volume (0 ... 63)\n"
     "   -c7  CV_Value    :Channel7 Volume (0 ... 63)\n"
     "   -c8  CV_Value    :Channel8 Volume (0 ... 63)\n"},
    {320,
     "   -c9  CV_Value    :Channel9 Volume (0 ... 63)\n"
     "   -c10 CV_Value    :Channel10 Volume(0 ... 63)\n"
     "   -c11 CV_Value    :Channel11 Volume(0 ... 63)\n"
     "   -c12 CV_Value    :Channel12 Volume(0 ... 63)\n"},
    {321,
     "   -c13 CV_Value    :Channel13 Volume(0 ... 63)\n"
     "   -c14 CV_Value    :Channel14 Volume(0 ... 63)\n"
     "   -c15 CV_Value    :Channel15 Volume(0 ... 63)\n"
     "   -c16 CV_Value    :Channel16 Volume(0 ... 63)\n"},
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

struct ResultRow {
    int entry;       // its message in kMessages
    int exitStatus;  // what the process exits with
};

// One row per result. The switch names every enumerator, so a result added
// without its row fails the build (-Wswitch, warnings are errors).
constexpr ResultRow rowOf(Result r) {
    switch (r) {
        case Result::Converted: return {200, 0};
        case Result::NotConverted: return {221, 0};
        case Result::ChunkSizeCnti: return {201, -5};
        case Result::ChunkSizeOpda: return {202, -6};
        case Result::ChunkSizeMtr: return {203, -11};
        case Result::ChunkSizeAtr: return {204, -19};
        case Result::ChunkSizeGtr: return {205, -20};
        case Result::ChunkSizeMstr: return {206, -21};
        case Result::ChunkSizeDch: return {207, -9};
        case Result::ChunkSizePro: return {208, -10};
        case Result::ChunkSizeMspi: return {209, -13};
        case Result::ChunkSizeMtsu: return {210, -14};
        case Result::ChunkSizeMtsq: return {211, -16};
        case Result::ChunkSizeMtsp: return {212, -15};
        case Result::NonsupportChunkId: return {213, -1};
        case Result::NonsupportChunkIdOpda: return {214, -7};
        case Result::NonsupportChunkIdMtr: return {215, -12};
        case Result::TagSizeOpda: return {216, -8};
        case Result::ExclusiveSizeMtsq: return {217, -18};
        case Result::SequenceDataMtsq: return {218, -17};
        case Result::FileSizeError: return {219, -3};
        case Result::NonsupportFileId: return {220, -2};
        case Result::CompressTavi: return {223, -41};
        case Result::FolderOpenError: return {224, -42};
        case Result::Cancel: return {225, 1};
        case Result::FileWriteError: return {226, -24};
        case Result::FileReadError: return {227, -24};
        case Result::NoTaviFile: return {228, -23};
        case Result::IllegalExclusiveMtsq: return {229, -34};
        case Result::IllegalCrc: return {230, -22};
        case Result::PathTooLong: return {232, -25};
        case Result::IllegalAtSig: return {234, -27};
        case Result::SkipConversionAtSig: return {235, -26};
        case Result::SequenceDataAtsq: return {236, -37};
        case Result::NoMasterVolume: return {237, -30};
        case Result::MixedTaviKinds: return {238, -29};
        case Result::SequenceData: return {233, -38};
        case Result::ChunkSizeAtsq: return {239, -35};
        case Result::ChunkSizeAwa: return {240, -36};
        case Result::NonsupportChunkIdAtr: return {241, -39};
        case Result::TagSizeCnti: return {222, -33};
        case Result::ChunkSizeAspi: return {242, -39};
        case Result::InvalidPointsMspi: return {243, -31};
        case Result::InvalidPointsAspi: return {244, -32};
        case Result::NoCnti: return {245, -4};
        case Result::NoAtSig: return {246, -28};
        case Result::NoMaxGain: return {247, -43};
        case Result::NoMfiFile: return {500, -44};
        case Result::MfiNonsupportFileId: return {501, -45};
        case Result::MfiHeaderSize: return {502, -46};
        case Result::MfiChunkSize: return {503, -47};
        case Result::MfiTrackCount: return {504, -48};
        case Result::MfiSubchunkSize: return {505, -49};
        case Result::MfiTrackId: return {506, -50};
        case Result::MfiTrackSize: return {507, -51};
        case Result::MfiAudioCount: return {508, -52};
        case Result::MfiAudioId: return {509, -53};
        case Result::MfiAudioSize: return {510, -54};
        case Result::MfiNoMaxGain: return {247, -43};
        case Result::MfiNoMasterVolume: return {237, -30};
        case Result::MfiNonsupportVersion: return {511, -55};
        case Result::MfiStepFailed: return {226, -24};
        case Result::MfiOutputTooSmall: return {226, -24};
        case Result::MfiNoBuffer: return {226, -24};
    }
    // The unnamed MFi write-failure numbers.
    return {226, -24};
}

}  // namespace

std::optional<Result> resultOfNumber(int number) {
    if (number < 0 || number > kLastResultNumber) return std::nullopt;
    return static_cast<Result>(number);
}

int resultMessageEntry(Result r) { return rowOf(r).entry; }

std::string_view resultMessage(Result r) { return messageText(resultMessageEntry(r)); }

int resultExitStatus(Result r) { return rowOf(r).exitStatus; }

std::string_view messageText(int entry) {
    for (const auto& m : kMessages)
        if (m.entry == entry) return m.text;
    return {};
}

}  // namespace keldro
