#pragma once
// The layout of an MFi file, declared once: the file header, the chunk ids
// and the forms of the chunks that follow it. The reader and the writer use
// these names instead of offsets of their own.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Bytes.h"
#include "platform/ChunkReader.h"

namespace keldro::mfi {

// The file is one chunk "melo" whose 32-bit size counts every byte after it.
// Its body starts with the header length, which counts the bytes from the
// end of its own field to the end of the info sub-chunks: the types, the
// track count and the sub-chunks.
struct FileHeader {
    static constexpr Field kId{0, 4};
    static constexpr Field kDataLength = kId.next(4);
    static constexpr Field kHeaderLength = kDataLength.next(2);
    static constexpr Field kMajorType = kHeaderLength.next(1);
    static constexpr Field kMinorType = kMajorType.next(1);
    static constexpr Field kTrackCount = kMinorType.next(1);
    static constexpr std::size_t kBytes = kTrackCount.end();
};
static_assert(FileHeader::kBytes == 13);

inline constexpr std::string_view kFileId = "melo";
inline constexpr ChunkForm kChunkForm = kChunk32;  // "melo", "adat" and "trac"
static_assert(FileHeader::kHeaderLength.at == kChunkForm.headerBytes());

// The header length and the bytes it counts, written as a chunk without an id.
inline constexpr ChunkForm kHeaderInfoForm{0, FileHeader::kHeaderLength.width};

// Info sub-chunks: a 4-byte id and a 16-bit size.
inline constexpr ChunkForm kInfoForm = kChunk16;

// Audio data chunk: the 16-bit length of the audio header, the header, the data.
inline constexpr std::string_view kAudioChunkId = "adat";
inline constexpr std::size_t kAudioHeaderLengthBytes = 2;

// Track chunk: the track's events.
inline constexpr std::string_view kTrackChunkId = "trac";

}  // namespace keldro::mfi
