#pragma once
// One event of an MFi track, held by value in 16 bytes: a track holds one
// event per four or five file bytes. Fixed-length events keep their two
// parameters in the event. A data block of up to seven bytes (volume,
// MaxGain, send and most other blocks are four to six) is kept inside the
// event as well when the parameters are 0, as the reader leaves them; longer
// blocks (effect settings), or a block beside parameters, live on the heap
// with the parameters. So reading or copying an ordinary track allocates
// nothing per event.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mfi/EventKind.h"
#include "platform/Bytes.h"

namespace keldro::mfi {

class Event {
public:
    Event() = default;
    Event(const Event& other);
    Event(Event&& other) noexcept { takeFrom(other); }
    Event& operator=(const Event& other);
    Event& operator=(Event&& other) noexcept {
        if (this != &other) {
            releaseBlock();
            takeFrom(other);
        }
        return *this;
    }
    ~Event() { releaseBlock(); }

    // Back to the cleared state: every number 0, no data block.
    void clear();

    // Absolute time in ticks from the start of the track.
    std::int32_t time() const { return time_; }
    // Refuses a negative time (false) and keeps the old one.
    bool setTime(std::int32_t ticks) {
        if (ticks < 0) return false;
        time_ = ticks;
        return true;
    }

    std::uint8_t status() const { return status_; }
    void setStatus(std::uint8_t value) {
        status_ = value;
        forgetKind();
    }
    // The byte that follows the status in the file.
    std::uint8_t byte1() const { return byte1_; }
    void setByte1(std::uint8_t value) {
        byte1_ = value;
        forgetKind();
    }
    // 0xF0 or 0xFF when the event carries a data block, else 0.
    std::uint8_t extMark() const { return extMark_; }
    void setExtMark(std::uint8_t value) {
        extMark_ = value;
        forgetKind();
    }
    std::uint8_t param1() const {
        return onHeap() ? heapBlock()[kHeapParam1] : (inlineSize() == 0 ? payload_.bytes[0] : 0);
    }
    void setParam1(std::uint8_t value) { setParams(value, param2()); }
    std::uint8_t param2() const {
        return onHeap() ? heapBlock()[kHeapParam2] : (inlineSize() == 0 ? payload_.bytes[1] : 0);
    }
    void setParam2(std::uint8_t value) { setParams(param1(), value); }
    void setParams(std::uint8_t first, std::uint8_t second) {
        // The common case, an event without a block, inline: the reader sets
        // the parameters of most events.
        if (!onHeap() && inlineSize() == 0) {
            payload_.bytes[0] = first;
            payload_.bytes[1] = second;
            forgetKind();
            return;
        }
        setParamsBesideBlock(first, second);
    }

    void appendExtData(ByteSpan data);
    std::size_t extDataSize() const { return onHeap() ? heapSize() : inlineSize(); }
    ByteSpan extData() const { return {blockBytes(), extDataSize()}; }
    // Direct access for editors that change bytes of the block in place; the
    // view is for writing right away, not to be kept across other calls
    // (the kind is worked out again from the bytes after it was taken).
    std::span<std::uint8_t> mutableExtData() {
        forgetKind();
        return {blockBytes(), extDataSize()};
    }

    // --- What the event is ---
    // Worked out from the bytes on first use and kept until they change.
    EventKind kind() const {
        if ((tag_ & kKindBits) == kKindUnknown)
            tag_ = static_cast<std::uint8_t>((tag_ & kHeapFlag) | kindIndex(classify()));
        return static_cast<EventKind>(tag_ & kKindBits);
    }
    bool isNote() const { return kind() == EventKind::Note; }
    bool isMasterVolume() const { return kind() == EventKind::MasterVolume; }
    bool isChannelVolume() const { return kind() == EventKind::ChannelVolume; }
    bool isTempo() const { return kind() == EventKind::Tempo; }
    bool isMaxGain() const { return kind() == EventKind::MaxGain; }
    bool isAdpcmNote() const { return kind() == EventKind::AdpcmNote; }
    bool isAdpcmVolume() const { return kind() == EventKind::AdpcmVolume; }
    bool isEffectSettings() const { return kind() == EventKind::EffectSettings; }
    bool isEffectSelect() const { return kind() == EventKind::EffectSelect; }
    bool isEffectSend() const { return kind() == EventKind::EffectSend; }

    // --- What it carries; -1 when the event is not of the kind named ---
    // Channel 0-3 of a note, of the short events E0 ... EA (channel volume
    // among them), of the escape event and the blocks that sound on a channel
    // (Escape00, BlockF1Id03, BlockF1Id0C), of BlockF1Id05 and of an effect send.
    int channel() const;
    // Master volume 0-127 (a stored value above 127 is read as 127).
    int masterVolume() const;
    // Channel volume 0-63.
    int channelVolume() const;
    // ADPCM volume 0-63, from a block of exactly four bytes.
    int adpcmVolume() const;
    // MaxGain in half-dB steps of attenuation, from a block of exactly five bytes.
    int maxGain() const;
    // Effect select, five-byte block: 64 ... 95 select effect block
    // (selector - 64); below 32 is the other selection group.
    int effectSelector() const;
    // Effect send, five-byte block: the send value, and the channel code,
    // channel 0-3 plus 16 for an "A" channel.
    int effectSendValue() const;
    int effectSendCode() const;
    static int effectSendCodeOf(int channel, bool aChannel) { return (aChannel ? 16 : 0) + channel; }
    // Effect settings: four leading bytes, then the 32-byte effect blocks.
    // The effect type of block `block` (big-endian, its first two bytes), -1
    // when the block is not all there.
    int effectType(int block) const;
    // Tempo: beats per minute, and the timebase code (low four bits of the
    // first parameter) that gives the ticks per beat.
    int tempoBpm() const { return isTempo() ? param2() : -1; }
    int timebaseCode() const { return isTempo() ? (param1() & 0x0F) : -1; }

    // --- Events the program writes ---
    // Channel volume of `channel` (0-3) at `volume` (0-63).
    static Event makeChannelVolume(std::int32_t time, int channel, int volume);
    // ADPCM volume at `volume` (0-63), as the four-byte block 0x11 0xF2 0x01 v.
    static Event makeAdpcmVolume(std::int32_t time, int volume);
    // Effect send of `channel` (0-3), of its "A" channel when `aChannel`:
    // a five-byte 0xF1 block whose fourth byte holds the channel (top two
    // bits) and the "A" flag (0x20) in front of the send id, and whose fifth
    // byte is the send value.
    static Event makeEffectSend(std::int32_t time, int channel, bool aChannel, int value);

private:
    static Event makeBlock(std::int32_t time, ByteSpan block);
    EventKind classify() const;
    void setParamsBesideBlock(std::uint8_t first, std::uint8_t second);
    void forgetKind() { tag_ = static_cast<std::uint8_t>((tag_ & kHeapFlag) | kKindUnknown); }

    // `tag_`: the kind once worked out (kKindUnknown until then) and whether
    // the block lives on the heap.
    static constexpr std::uint8_t kKindBits = 0x7F;
    static constexpr std::uint8_t kKindUnknown = 0x7F;
    static constexpr std::uint8_t kHeapFlag = 0x80;
    static_assert(kEventKindCount <= kKindUnknown, "the kinds and the 'not worked out' mark share seven bits");

    // Inside the event: with no block, the parameters in bytes 0 and 1;
    // with a block of 1 ... 7 bytes (parameters 0), the block from byte 0
    // and its size in byte 7.
    static constexpr std::size_t kInlineBlockBytes = 7;
    static constexpr std::size_t kInlineSizeAt = 7;
    // On the heap: the size (32 bits, native order), the two parameters,
    // two spare bytes, then the block.
    static constexpr std::size_t kHeapParam1 = 4;
    static constexpr std::size_t kHeapParam2 = 5;
    static constexpr std::size_t kHeapHeader = 8;

    bool onHeap() const { return (tag_ & kHeapFlag) != 0; }
    std::size_t inlineSize() const { return payload_.bytes[kInlineSizeAt]; }
    const std::uint8_t* heapBlock() const { return payload_.heap; }
    std::size_t heapSize() const;
    const std::uint8_t* blockBytes() const { return onHeap() ? payload_.heap + kHeapHeader : payload_.bytes; }
    std::uint8_t* blockBytes() { return onHeap() ? payload_.heap + kHeapHeader : payload_.bytes; }
    // Moves the block and the parameters to a heap block of `size` data bytes
    // (the current ones copied, the rest zero).
    void moveToHeap(std::size_t size);
    void copyBlockFrom(const Event& other);
    // Moves every field of `other` here; `other` keeps no block.
    void takeFrom(Event& other) {
        payload_ = other.payload_;
        time_ = other.time_;
        status_ = other.status_;
        byte1_ = other.byte1_;
        extMark_ = other.extMark_;
        tag_ = other.tag_;
        other.payload_ = Payload{};
        other.tag_ = kKindUnknown;
    }
    void releaseBlock() {
        if (onHeap()) delete[] payload_.heap;
        payload_ = Payload{};
        tag_ = kKindUnknown;
    }

    union Payload {
        std::uint8_t bytes[8];
        std::uint8_t* heap;
    };
    Payload payload_{};
    std::int32_t time_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t byte1_ = 0;
    std::uint8_t extMark_ = 0;
    // The searches ask for the kind many times per event: it is kept.
    mutable std::uint8_t tag_ = kKindUnknown;
};

static_assert(sizeof(Event) == 16, "a track holds one event per four or five file bytes: keep it small");

}  // namespace keldro::mfi
