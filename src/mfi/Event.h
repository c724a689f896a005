#pragma once
// One event of an MFi track, held by value in 24 bytes. Fixed-length events
// keep their bytes in plain fields; events with a length-prefixed data block
// keep blocks of up to eight bytes (volume, MaxGain, send and most other
// blocks are four to six) inside the event and only longer ones (effect
// settings) on the heap, so reading or copying an ordinary track allocates
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
    std::uint8_t param1() const { return param1_; }
    void setParam1(std::uint8_t value) {
        param1_ = value;
        forgetKind();
    }
    std::uint8_t param2() const { return param2_; }
    void setParam2(std::uint8_t value) {
        param2_ = value;
        forgetKind();
    }
    void setParams(std::uint8_t first, std::uint8_t second) {
        param1_ = first;
        param2_ = second;
        forgetKind();
    }

    void appendExtData(ByteSpan data);
    std::size_t extDataSize() const { return extSize_; }
    ByteSpan extData() const { return {blockBytes(), extSize_}; }
    // Direct access for editors that change bytes of the block in place; the
    // view is for writing right away, not to be kept across other calls
    // (the kind is worked out again from the bytes after it was taken).
    std::span<std::uint8_t> mutableExtData() {
        forgetKind();
        return {blockBytes(), extSize_};
    }

    // --- What the event is ---
    // Worked out from the bytes on first use and kept until they change.
    EventKind kind() const {
        if (!kindKnown_) {
            kind_ = classify();
            kindKnown_ = true;
        }
        return kind_;
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
    int tempoBpm() const { return isTempo() ? param2_ : -1; }
    int timebaseCode() const { return isTempo() ? (param1_ & 0x0F) : -1; }

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
    void forgetKind() { kindKnown_ = false; }

    // Blocks up to this size live in `block_.local`; longer ones in
    // `block_.heap`, an array of exactly extSize_ bytes that the event owns.
    static constexpr std::size_t kLocalBlockBytes = 8;
    bool blockOnHeap() const { return extSize_ > kLocalBlockBytes; }
    const std::uint8_t* blockBytes() const { return blockOnHeap() ? block_.heap : block_.local; }
    std::uint8_t* blockBytes() { return blockOnHeap() ? block_.heap : block_.local; }
    void copyBlockFrom(const Event& other);
    // Moves every field of `other` here; `other` keeps no block.
    void takeFrom(Event& other) {
        block_ = other.block_;
        time_ = other.time_;
        extSize_ = other.extSize_;
        status_ = other.status_;
        byte1_ = other.byte1_;
        extMark_ = other.extMark_;
        param1_ = other.param1_;
        param2_ = other.param2_;
        kind_ = other.kind_;
        kindKnown_ = other.kindKnown_;
        other.extSize_ = 0;
        other.forgetKind();
    }
    void releaseBlock() {
        if (blockOnHeap()) delete[] block_.heap;
        extSize_ = 0;
    }

    union Block {
        std::uint8_t local[kLocalBlockBytes];
        std::uint8_t* heap;
    };
    Block block_{};
    std::int32_t time_ = 0;
    std::uint32_t extSize_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t byte1_ = 0;
    std::uint8_t extMark_ = 0;
    std::uint8_t param1_ = 0;
    std::uint8_t param2_ = 0;
    // The kind, once worked out: the searches ask for it many times per event.
    mutable EventKind kind_ = EventKind::Unclassified;
    mutable bool kindKnown_ = false;
};

static_assert(sizeof(Event) == 24, "a track holds one event per four or five file bytes: keep it small");

}  // namespace keldro::mfi
