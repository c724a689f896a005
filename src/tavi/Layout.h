#pragma once
// The layout of a TAVI file, declared once: chunk ids, the fixed headers and
// fields the engine reads or writes, and their sizes. Everything else in
// tavi/ uses these names instead of offsets of its own.
//
// The file is one chunk "MMMD" whose body is the other chunks and, in its
// last two bytes, the CRC of everything before them. Every chunk, the file
// itself included, is a 4-byte id and the 32-bit size of the body that
// follows. Track chunks carry their number in the fourth id byte.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Bytes.h"
#include "platform/ChunkReader.h"

namespace keldro::tavi {

// ---- Chunks and the file ----

inline constexpr ChunkForm kChunkForm = kChunk32;
inline constexpr std::size_t kChunkHeaderSize = kChunkForm.headerBytes();
inline constexpr std::size_t kFileHeaderSize = kChunkHeaderSize;  // "MMMD" + the length of the rest
inline constexpr std::size_t kCrcSize = 2;
inline constexpr std::size_t kTrackNumberAt = 3;  // in the id of "MTR" and "ATR" chunks

inline constexpr std::string_view kFileId = "MMMD";
inline constexpr std::string_view kContentsInfoId = "CNTI";
inline constexpr std::string_view kOptionalDataId = "OPDA";
inline constexpr std::string_view kScoreTrackId = "MTR";  // + track number 1..7
inline constexpr std::string_view kAudioTrackId = "ATR";  // + track number 0
inline constexpr std::string_view kSkippedTrackId = "GTR";
inline constexpr std::string_view kMasterTrackId = "MSTR";

// ---- Contents info ("CNTI") ----

// Fixed bytes carried as they are, then tags "XX:value,".
inline constexpr std::size_t kContentsInfoFixedBytes = 5;
inline constexpr std::string_view kContentsInfoSignatureTag = "A0:";

// ---- Optional data ("OPDA") ----

// Sub-chunks "Dch" (data; the one whose number byte is 0xFF carries the
// signature) and "Pro", both with the chunk header above.
inline constexpr std::string_view kDataSubChunkId = "Dch";
inline constexpr std::string_view kSignatureDataId = "Dch\xFF";
inline constexpr std::string_view kProgramSubChunkId = "Pro";
inline constexpr std::size_t kMinimumProgramBody = 12;

// A "Dch" body is a list of tags: 2-byte name, 2-byte data length, data.
inline constexpr ChunkForm kDataTagForm{2, 2};
inline constexpr std::string_view kSignatureTagName = "A0";

// ---- Score tracks ("MTR" 1..7) ----

// The header at the start of a score track's body: the format byte (1: the
// sequence is compressed), one byte, the timebase codes of durations and of
// gate times, two more bytes; VQ-3/5 headers go on to 20 bytes, VQ-7 headers
// to 36. The rest is not read.
struct ScoreTrackHeader {
    static constexpr Field kFormat{0, 1};
    static constexpr Field kDurationTimebase = kFormat.next(1).next(1);
    static constexpr Field kGateTimebase = kDurationTimebase.next(1);
    static constexpr std::size_t kVq2Bytes = kGateTimebase.next(2).end();
    static constexpr std::size_t kVq35Bytes = kVq2Bytes + 14;
    static constexpr std::size_t kVq7Bytes = kVq2Bytes + 30;
};
static_assert(ScoreTrackHeader::kVq2Bytes == 6 && ScoreTrackHeader::kVq35Bytes == 20 &&
              ScoreTrackHeader::kVq7Bytes == 36);
inline constexpr std::uint8_t kCompressedFormat = 1;

inline constexpr std::string_view kScorePointInfoId = "MspI";
inline constexpr std::string_view kScoreSetupId = "Mtsu";
inline constexpr std::string_view kScoreSequenceId = "Mtsq";
inline constexpr std::string_view kStreamSubChunkId = "Mtsp";
inline constexpr std::string_view kVoiceSubChunkId = "Mthv";

// ---- Audio track ("ATR" 0) ----

// Four bytes not read, then the timebase codes of durations and gate times.
struct AudioTrackHeader {
    static constexpr Field kDurationTimebase{4, 1};
    static constexpr Field kGateTimebase = kDurationTimebase.next(1);
    static constexpr std::size_t kBytes = kGateTimebase.end();
};
static_assert(AudioTrackHeader::kBytes == 6);

inline constexpr std::string_view kAudioPointInfoId = "AspI";
inline constexpr std::string_view kAudioSetupId = "Atsu";
inline constexpr std::string_view kAudioSequenceId = "Atsq";
inline constexpr std::string_view kWaveSubChunkId = "Awa";

// ---- Start and stop points ("MspI", "AspI") ----

// "st:", the start point, one byte, "sp:", the stop point, one byte. Both
// points are byte offsets into the track's sequence body.
struct PointInfo {
    static constexpr Field kStartMark{0, 3};
    static constexpr Field kStartPoint = kStartMark.next(4);
    static constexpr Field kStopMark = kStartPoint.next(1).next(3);
    static constexpr Field kStopPoint = kStopMark.next(4);
    static constexpr std::size_t kBytes = kStopPoint.next(1).end();

    // "st:" and "sp:" stand where they belong.
    static bool hasMarks(ByteSpan body) {
        return hasBytesAt(body, kStartMark.at, "st:") && hasBytesAt(body, kStopMark.at, "sp:");
    }
};
static_assert(PointInfo::kBytes == 16);

}  // namespace keldro::tavi
