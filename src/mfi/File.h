#pragma once
// An MFi melody file in memory: the header information, the body of tracks
// and audio items, and the reader and writer of the file's bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mfi/Body.h"
#include "volume/Result.h"
#include "platform/Bytes.h"

namespace keldro::mfi {

// The largest MFi file: the 32-bit data length after the "melo" id counts
// every byte behind the first eight.
inline constexpr std::uint64_t kLargestFileSize = 8 + std::uint64_t{0xFFFFFFFF};

// The first bytes of a file that decide whether its header can be good: the
// id, the data length, the header length, the types and the track count.
inline constexpr std::size_t kFileHeadBytes = 13;
// What File::read says of a file of `fileSize` bytes that starts with `head`
// (its first kFileHeadBytes, or all of a shorter file) when its header
// refuses it; Converted when the rest decides. Lets a reader refuse a long
// file without reading it whole.
Result checkFileHead(ByteSpan head, std::uint64_t fileSize);

// A text field of the header: the bytes exactly as read (no character set
// assumed), zero-filled behind them, and their count (0 = absent).
template <std::size_t Capacity>
struct Text {
    std::array<std::uint8_t, Capacity> bytes{};
    std::int16_t length = 0;

    static constexpr std::size_t capacity() { return Capacity; }
    bool empty() const { return length <= 0; }
    // Stores at most Capacity bytes and zero-fills the rest.
    void assign(ByteSpan content) {
        bytes.fill(0);
        const std::size_t count = content.size() < Capacity ? content.size() : Capacity;
        for (std::size_t i = 0; i < count; ++i) bytes[i] = content[i];
        length = static_cast<std::int16_t>(count);
    }
    void assign(std::string_view content) {
        assign(ByteSpan(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
    }
    // The stored bytes, clamped to the buffer.
    ByteSpan view() const {
        if (length <= 0) return {};
        const auto count = static_cast<std::size_t>(length);
        return ByteSpan(bytes.data(), count < Capacity ? count : Capacity);
    }
};

// The header information record; every field zero until read or set.
struct Info {
    std::uint16_t headerLength = 0;
    std::uint8_t majorType = 0;
    std::uint8_t minorType = 0;
    std::uint8_t sorc = 0;
    std::uint16_t trackCount = 0;
    Text<50> titl;
    std::array<std::uint8_t, 4> vers{};  // four ASCII digits, e.g. "0301"
    std::array<std::uint8_t, 8> date{};  // "YYYYMMDD" when well formed
    Text<256> copy;
    Text<256> prot;
    std::uint16_t note = 0;  // 1 when a "note" sub-chunk was read
    std::uint16_t exst = 0;  // 1 when an "exst" sub-chunk was read
    Text<256> auth;
    Text<256> supt;
    Text<256> thrd;
    Text<256> ainf;  // low 6 bits of the first byte = number of audio items

    bool versIs(std::string_view version) const;
    std::string_view versText() const { return {reinterpret_cast<const char*>(vers.data()), vers.size()}; }
    void setVers(std::string_view version);   // first four characters
    void setDate(std::string_view yyyymmdd);  // first eight characters
};

// Today's local date, handed to the writer by the caller.
struct Date {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
};

class File {
public:
    File() = default;
    virtual ~File() = default;
    File(const File&) = default;
    File& operator=(const File&) = default;
    File(File&&) = default;
    File& operator=(File&&) = default;

    // Parses a whole file image into this freshly constructed object:
    // Result::Converted, or the result of the first fault (the content is then
    // partial). Every fault the reader does not name is Result::NoMfiFile.
    Result read(ByteSpan bytes);

    // Serialises the model into `out` (emptied first). `today` fills a missing
    // or malformed date. False when the model cannot be written (an unknown
    // major/minor type, an extended event without data bytes); `out` then holds
    // a partial file that must not be used.
    bool write(ByteVector& out, const Date& today);

    // True when write() succeeds and reading what it wrote gives back this
    // model: the same events, audio items and header fields (a text left
    // empty reads back as the one space written for it, a malformed date as
    // the date stamped). False when that is not certain; reading the written
    // bytes then tells. Lets a chain of steps that each read the previous
    // step's file go on with the model instead.
    bool rereadsAsWritten() const;
    // Its two halves: the header and audio items, and the tracks' events. An
    // edit of the header alone leaves the second one as it was.
    bool headerRereadsAsWritten() const;
    bool eventsRereadAsWritten() const;
    // The second half for one event that comes `delta` ticks after the event
    // before it (the first event of a track: after tick 0).
    static bool eventRereadsAsWritten(const Event& event, std::int64_t delta);

    // A copy of the header information.
    Info info() const { return info_; }
    const Info& infoRecord() const { return info_; }
    Info& infoRecord() { return info_; }

    const Body& body() const { return body_; }
    Body& body() { return body_; }

    // The track count the writer puts into the header (set on every write).
    std::uint8_t trackCountByte() const { return trackCountByte_; }
    void setTrackCountByte(std::uint8_t count) { trackCountByte_ = count; }

private:
    Info info_;
    Body body_;
    std::uint8_t trackCountByte_ = 0;
};

// Decodes the events of one track chunk, bytes [begin, end) of `file`, into an
// empty track. `end` must lie within the file. Result::Converted,
// Result::MfiTrackSize or Result::NoMfiFile.
Result decodeTrackEvents(ByteSpan file, std::size_t begin, std::size_t end, Track& track);

}  // namespace keldro::mfi
