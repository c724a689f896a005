#include "mfi/Event.h"

#include <algorithm>
#include <cstring>

#include "mfi/EventBytes.h"

namespace keldro::mfi {
namespace {

using namespace bytes;

constexpr std::uint8_t kChannelVolumeParam = 0xE2;
constexpr std::uint8_t kAChannelFlag = 0x20;   // in an effect send's channel byte
constexpr std::uint8_t kEffectSendId = 0x0F;   // low four bits of an effect send's id
constexpr std::size_t kEffectBlocksStart = 4;  // effect settings: leading bytes before the blocks
constexpr std::size_t kEffectBlockBytes = 32;

EventKind classifyEscape(std::uint8_t byte1) {
    switch (byte1) {
        case 0x00: return EventKind::Escape00;
        case 0x01: return EventKind::Escape01;
        case 0x80: return EventKind::Escape80;
        case 0x81: return EventKind::Escape81;
        case 0x90: return EventKind::Escape90;
        case 0xF0: return EventKind::EscapeBlock;
        default: return EventKind::Unclassified;
    }
}

EventKind classifyShort(std::uint8_t param1, std::uint8_t param2) {
    if (param1 >= 0xC0 && param1 <= 0xCF) return EventKind::Tempo;
    switch (param1) {
        case 0xB0: return EventKind::MasterVolume;
        case 0xBA: return EventKind::ShortBA;
        case 0xD0:
            return param2 == 0 ? EventKind::ShortD0Zero : param2 == 1 ? EventKind::ShortD0One : EventKind::Unclassified;
        case 0xDD: return EventKind::ShortDD;
        case 0xDE: return param2 == 0 ? EventKind::Nop : EventKind::Unclassified;
        case 0xDF: return param2 == 0 ? EventKind::ShortDFZero : EventKind::Unclassified;
        case 0xE0: return EventKind::ShortE0;
        case 0xE1: return EventKind::ShortE1;
        case 0xE2: return EventKind::ChannelVolume;
        case 0xE3: return EventKind::ShortE3;
        case 0xE4: return EventKind::ShortE4;
        case 0xE7: return EventKind::ShortE7;
        case 0xE9: return EventKind::ShortE9;
        case 0xEA: return EventKind::ShortEA;
        default: return EventKind::Unclassified;
    }
}

EventKind classifyClassF0(std::uint8_t id) {
    switch (id) {
        case 0x01: return EventKind::BlockF0Id01;
        case 0x02: return EventKind::BlockF0Id02;
        case 0x03: return EventKind::BlockF0Id03;
        case 0x04: return EventKind::BlockF0Id04;
        case 0x05: return EventKind::BlockF0Id05;
        case 0x06: return EventKind::BlockF0Id06;
        case 0x07: return EventKind::BlockF0Id07;
        case 0x08: return EventKind::BlockF0Id08;
        case 0x0A: return EventKind::BlockF0Id0A;
        case 0x0B: return EventKind::BlockF0Id0B;
        case 0x0C: return EventKind::BlockF0Id0C;
        case 0x0E: return EventKind::BlockF0Id0E;
        case 0x0F: return EventKind::EffectSettings;
        default: return EventKind::Unclassified;
    }
}

// Class 0xF1 matches most ids on their low four bits, each at one block size.
EventKind classifyClassF1(std::uint8_t id, std::size_t n) {
    struct Entry {
        EventKind kind;
        std::size_t size;
    };
    static constexpr Entry kByLowBits[16] = {
        {EventKind::Unclassified, 0}, {EventKind::BlockF1Id01, 4},  {EventKind::BlockF1Id02, 5},
        {EventKind::BlockF1Id03, 6},  {EventKind::Unclassified, 0}, {EventKind::BlockF1Id05, 5},
        {EventKind::Unclassified, 0}, {EventKind::BlockF1Id07, 5},  {EventKind::BlockF1Id08, 4},
        {EventKind::BlockF1Id09, 4},  {EventKind::BlockF1Id0A, 5},  {EventKind::BlockF1Id0B, 5},
        {EventKind::BlockF1Id0C, 5},  {EventKind::BlockF1Id0D, 5},  {EventKind::BlockF1Id0E, 5},
        {EventKind::EffectSend, 5},
    };
    const Entry& entry = kByLowBits[id & 0x0F];
    if (entry.kind != EventKind::Unclassified && entry.size == n) return entry.kind;
    if (id == 0x06 && n == 6) return EventKind::BlockF1Id06;
    if (id == 0x20 && n == 5) return EventKind::AdpcmNote;
    return EventKind::Unclassified;
}

EventKind classifyClassF2(std::uint8_t id, std::size_t n) {
    switch (id) {
        case 0x01: return n == 4 ? EventKind::AdpcmVolume : EventKind::Unclassified;
        case 0x04: return n == 5 ? EventKind::BlockF2Id04 : EventKind::Unclassified;
        case 0x05: return n == 5 ? EventKind::BlockF2Id05 : EventKind::Unclassified;
        case 0x06: return n == 5 ? EventKind::BlockF2Id06 : EventKind::Unclassified;
        case 0x07: return (n == 20 || n == 36) ? EventKind::BlockF2Id07 : EventKind::Unclassified;
        default: return EventKind::Unclassified;
    }
}

EventKind classifyClassF3(std::uint8_t id, std::size_t n) {
    switch (id) {
        case 0x01: return EventKind::BlockF3Id01;
        case 0x02: return EventKind::BlockF3Id02;
        case 0x03: return EventKind::MaxGain;
        case 0x04: return n == 5 ? EventKind::BlockF3Id04 : EventKind::Unclassified;
        case 0x07: return n == 5 ? EventKind::BlockF3Id07 : EventKind::Unclassified;
        case 0x09: return n == 5 ? EventKind::BlockF3Id09 : EventKind::Unclassified;
        case 0x0A: return n == 5 ? EventKind::BlockF3Id0A : EventKind::Unclassified;
        case 0x0B: return n == 5 ? EventKind::EffectSelect : EventKind::Unclassified;
        default: return EventKind::Unclassified;
    }
}

// A block names its class and id either in the long form (0x11, a form byte
// 0x01/0x02/0x81, class, id) or in the short form (0x11, class >= 0xF0, id).
EventKind classifyBlock(ByteSpan d) {
    const std::size_t n = d.size();
    if (n < 4 || d[0] != kBlockLead) return EventKind::Unclassified;
    std::uint8_t blockClass = 0;
    std::uint8_t id = 0;
    if (d[1] == 0x01 || d[1] == 0x02 || d[1] == 0x81) {
        blockClass = d[2];
        id = d[3];
    } else if (d[1] >= 0xF0) {
        blockClass = d[1];
        id = d[2];
    } else {
        return EventKind::Unclassified;
    }
    switch (blockClass) {
        case 0xF0: return classifyClassF0(id);
        case 0xF1: return classifyClassF1(id, n);
        case 0xF2: return classifyClassF2(id, n);
        case 0xF3: return classifyClassF3(id, n);
        default: return EventKind::Unclassified;
    }
}

}  // namespace

Event::Event(const Event& other)
    : time_(other.time_), status_(other.status_), byte1_(other.byte1_), extMark_(other.extMark_), tag_(other.tag_) {
    copyBlockFrom(other);
}

Event& Event::operator=(const Event& other) {
    if (this != &other) *this = Event(other);
    return *this;
}

void Event::copyBlockFrom(const Event& other) {
    if (!other.onHeap()) {
        payload_ = other.payload_;
        return;
    }
    const std::size_t bytes = kHeapHeader + other.heapSize();
    payload_.heap = new std::uint8_t[bytes];
    std::memcpy(payload_.heap, other.payload_.heap, bytes);
}

std::size_t Event::heapSize() const {
    std::uint32_t size = 0;
    std::memcpy(&size, payload_.heap, sizeof size);
    return size;
}

void Event::moveToHeap(std::size_t size) {
    auto* heap = new std::uint8_t[kHeapHeader + size]();
    const auto size32 = static_cast<std::uint32_t>(size);
    std::memcpy(heap, &size32, sizeof size32);
    heap[kHeapParam1] = param1();
    heap[kHeapParam2] = param2();
    const std::size_t kept = std::min(extDataSize(), size);
    std::memcpy(heap + kHeapHeader, blockBytes(), kept);
    if (onHeap()) delete[] payload_.heap;
    payload_.heap = heap;
    tag_ = static_cast<std::uint8_t>(tag_ | kHeapFlag);
}

void Event::clear() { *this = Event(); }

void Event::setParamsBesideBlock(std::uint8_t first, std::uint8_t second) {
    forgetKind();
    if (!onHeap() && inlineSize() > 0) {
        // A block inside the event has no room for parameters.
        if (first == 0 && second == 0) return;
        moveToHeap(inlineSize());
    }
    if (onHeap()) {
        payload_.heap[kHeapParam1] = first;
        payload_.heap[kHeapParam2] = second;
        return;
    }
    payload_.bytes[0] = first;
    payload_.bytes[1] = second;
}

void Event::appendExtData(ByteSpan data) {
    if (data.empty()) return;
    forgetKind();
    const std::size_t size = extDataSize();
    const std::size_t grown = size + data.size();
    if (!onHeap() && grown <= kInlineBlockBytes && param1() == 0 && param2() == 0) {
        std::memcpy(payload_.bytes + size, data.data(), data.size());
        payload_.bytes[kInlineSizeAt] = static_cast<std::uint8_t>(grown);
        return;
    }
    moveToHeap(grown);
    std::memcpy(payload_.heap + kHeapHeader + size, data.data(), data.size());
}

EventKind Event::classify() const {
    if (status_ == kStatusEscape) return classifyEscape(byte1_);
    if (status_ != kStatusShort) return EventKind::Note;
    if (extMark_ != kBlockMark) return classifyShort(param1(), param2());
    return classifyBlock(extData());
}

int Event::channel() const {
    switch (kind()) {
        case EventKind::Note: return status_ >> 6;
        case EventKind::Escape00: return param1() >> 6;
        case EventKind::ShortE0:
        case EventKind::ShortE1:
        case EventKind::ChannelVolume:
        case EventKind::ShortE3:
        case EventKind::ShortE4:
        case EventKind::ShortE7:
        case EventKind::ShortE9:
        case EventKind::ShortEA: return param2() >> 6;
        // These kinds hold five or six bytes.
        case EventKind::BlockF1Id03:
        case EventKind::BlockF1Id05:
        case EventKind::BlockF1Id0C:
        case EventKind::EffectSend: return extData()[3] >> 6;
        default: return -1;
    }
}

int Event::masterVolume() const { return isMasterVolume() ? std::min<int>(param2(), 127) : -1; }

int Event::channelVolume() const { return isChannelVolume() ? (param2() & 0x3F) : -1; }

int Event::adpcmVolume() const { return isAdpcmVolume() && extData().size() == 4 ? (extData()[3] & 0x3F) : -1; }

int Event::maxGain() const { return isMaxGain() && extData().size() == 5 ? extData()[4] : -1; }

int Event::effectSelector() const { return isEffectSelect() && extData().size() == 5 ? extData()[4] : -1; }

int Event::effectSendValue() const { return isEffectSend() && extData().size() == 5 ? extData()[4] : -1; }

int Event::effectSendCode() const {
    if (!isEffectSend() || extData().size() != 5) return -1;
    const std::uint8_t channelByte = extData()[3];
    return effectSendCodeOf(channelByte >> 6, (channelByte & kAChannelFlag) != 0);
}

int Event::effectType(int block) const {
    const std::size_t at = kEffectBlocksStart + static_cast<std::size_t>(block) * kEffectBlockBytes;
    if (!isEffectSettings() || block < 0 || at + kEffectBlockBytes > extData().size()) return -1;
    return (extData()[at] << 8) | extData()[at + 1];
}

Event Event::makeChannelVolume(std::int32_t time, int channel, int volume) {
    Event event;
    event.setTime(time);
    event.setStatus(kStatusShort);
    event.setByte1(kChannelVolumeParam);
    event.setParams(kChannelVolumeParam, static_cast<std::uint8_t>((channel << 6) | (volume & 0x3F)));
    return event;
}

Event Event::makeAdpcmVolume(std::int32_t time, int volume) {
    const std::uint8_t block[] = {kBlockLead, 0xF2, 0x01, static_cast<std::uint8_t>(volume & 0x3F)};
    return makeBlock(time, block);
}

Event Event::makeEffectSend(std::int32_t time, int channel, bool aChannel, int value) {
    const auto channelByte = static_cast<std::uint8_t>((channel << 6) | (aChannel ? kAChannelFlag : 0) | kEffectSendId);
    const std::uint8_t block[] = {kBlockLead, 0x02, 0xF1, channelByte, static_cast<std::uint8_t>(value)};
    return makeBlock(time, block);
}

Event Event::makeBlock(std::int32_t time, ByteSpan block) {
    Event event;
    event.setTime(time);
    event.setStatus(kStatusShort);
    event.setByte1(kBlockMark);
    event.setExtMark(kBlockMark);
    event.appendExtData(block);
    return event;
}

}  // namespace keldro::mfi
