#pragma once
// One event of an MFi track, held by value. Fixed-length events keep their
// bytes in plain fields; only events with a length-prefixed data block use
// `extData`, so copying an ordinary event never allocates.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "mfi/EventKind.h"
#include "platform/Bytes.h"

namespace keldro {

class MfiEvent {
public:
    MfiEvent() = default;

    // Back to the cleared state: every number 0, no data block.
    void clear();

    // Absolute time in ticks from the start of the track.
    std::int32_t time() const { return time_; }
    // Refuses a negative time with ErrBadArgument and keeps the old one.
    int setTime(std::int32_t ticks);

    std::uint8_t status() const { return status_; }
    void setStatus(std::uint8_t value) { status_ = value; }
    // The byte that follows the status in the file.
    std::uint8_t byte1() const { return byte1_; }
    void setByte1(std::uint8_t value) { byte1_ = value; }
    // 0xF0 or 0xFF when the event carries a data block, else 0.
    std::uint8_t extMark() const { return extMark_; }
    void setExtMark(std::uint8_t value) { extMark_ = value; }
    std::uint8_t param1() const { return param1_; }
    void setParam1(std::uint8_t value) { param1_ = value; }
    std::uint8_t param2() const { return param2_; }
    void setParam2(std::uint8_t value) { param2_ = value; }
    void setParams(std::uint8_t first, std::uint8_t second) {
        param1_ = first;
        param2_ = second;
    }
    void params(std::uint8_t& first, std::uint8_t& second) const {
        first = param1_;
        second = param2_;
    }

    // Appends to the data block; a null pointer or a count <= 0 gives
    // ErrBadArgument and leaves the block unchanged.
    int appendExtData(const std::uint8_t* data, std::int64_t count);
    int appendExtData(ByteSpan data);
    void clearExtData() { extData_.clear(); }
    // The block's bytes, or nullptr when the block is empty.
    const std::uint8_t* extDataPtr() const { return extData_.empty() ? nullptr : extData_.data(); }
    std::uint8_t* extDataPtr() { return extData_.empty() ? nullptr : extData_.data(); }
    std::size_t extDataSize() const { return extData_.size(); }
    const ByteVector& extData() const { return extData_; }
    // Direct access for editors that change bytes of the block in place.
    ByteVector& mutableExtData() { return extData_; }
    // Copies the first `count` bytes of the block into `out` and returns the
    // block size. Asking for more bytes than the block holds is a caller error.
    std::size_t copyExtData(std::uint8_t* out, std::size_t count) const;

    EventKind classify() const;
    // The channel (0-3) of kinds that carry one; nullopt for every other kind.
    std::optional<int> channelOf() const;

private:
    std::int32_t time_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t byte1_ = 0;
    std::uint8_t extMark_ = 0;
    std::uint8_t param1_ = 0;
    std::uint8_t param2_ = 0;
    ByteVector extData_;
};

// Classification that also accepts "no event" (KindUnclassified).
EventKind classify(const MfiEvent* event);
// Channel of an event's kind; nullopt for no event or a kind without channel.
std::optional<int> channelOf(const MfiEvent* event);

}  // namespace keldro
