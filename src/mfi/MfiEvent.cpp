#include "mfi/MfiEvent.h"

#include <cassert>
#include <cstring>

#include "mfi/MfiError.h"
#include "mfi/MfiBytes.h"

namespace keldro {
namespace {

using namespace mfibytes;


EventKind classifyEscape(std::uint8_t byte1) {
    switch (byte1) {
        case 0x00: return KindStatus7F00;
        case 0x01: return KindStatus7F01;
        case 0x80: return KindStatus7F80;
        case 0x81: return KindStatus7F81;
        case 0x90: return KindStatus7F90;
        case 0xF0: return KindStatus7FBlock;
        default: return KindUnclassified;
    }
}

EventKind classifyShort(std::uint8_t param1, std::uint8_t param2) {
    if (param1 >= 0xC0 && param1 <= 0xCF) return KindTempo;
    switch (param1) {
        case 0xB0: return KindMasterVolume;
        case 0xBA: return KindShortBA;
        case 0xD0: return param2 == 0 ? KindShortD0Zero : param2 == 1 ? KindShortD0One : KindUnclassified;
        case 0xDD: return KindShortDD;
        case 0xDE: return param2 == 0 ? KindNop : KindUnclassified;
        case 0xDF: return param2 == 0 ? KindShortDFZero : KindUnclassified;
        case 0xE0: return KindShortE0;
        case 0xE1: return KindShortE1;
        case 0xE2: return KindChannelVolume;
        case 0xE3: return KindShortE3;
        case 0xE4: return KindShortE4;
        case 0xE7: return KindShortE7;
        case 0xE9: return KindShortE9;
        case 0xEA: return KindShortEA;
        default: return KindUnclassified;
    }
}

EventKind classifyClassF0(std::uint8_t id) {
    switch (id) {
        case 0x01: return KindBlockF0Id01;
        case 0x02: return KindBlockF0Id02;
        case 0x03: return KindBlockF0Id03;
        case 0x04: return KindBlockF0Id04;
        case 0x05: return KindBlockF0Id05;
        case 0x06: return KindBlockF0Id06;
        case 0x07: return KindBlockF0Id07;
        case 0x08: return KindBlockF0Id08;
        case 0x0A: return KindBlockF0Id0A;
        case 0x0B: return KindBlockF0Id0B;
        case 0x0C: return KindBlockF0Id0C;
        case 0x0E: return KindBlockF0Id0E;
        case 0x0F: return KindEffectSettings;
        default: return KindUnclassified;
    }
}

// Class 0xF1 matches most ids on their low four bits, each at one block size.
EventKind classifyClassF1(std::uint8_t id, std::size_t n) {
    struct Entry {
        EventKind kind;
        std::size_t size;
    };
    static constexpr Entry kByLowBits[16] = {
        {KindUnclassified, 0}, {KindBlockF1Id01, 4}, {KindBlockF1Id02, 5},  {KindBlockF1Id03, 6},
        {KindUnclassified, 0}, {KindBlockF1Id05, 5}, {KindUnclassified, 0}, {KindBlockF1Id07, 5},
        {KindBlockF1Id08, 4},  {KindBlockF1Id09, 4}, {KindBlockF1Id0A, 5},  {KindBlockF1Id0B, 5},
        {KindBlockF1Id0C, 5},  {KindBlockF1Id0D, 5}, {KindBlockF1Id0E, 5},  {KindEffectSend, 5},
    };
    const Entry& entry = kByLowBits[id & 0x0F];
    if (entry.kind != KindUnclassified && entry.size == n) return entry.kind;
    if (id == 0x06 && n == 6) return KindBlockF1Id06;
    if (id == 0x20 && n == 5) return KindAdpcmNote;
    return KindUnclassified;
}

EventKind classifyClassF2(std::uint8_t id, std::size_t n) {
    switch (id) {
        case 0x01: return n == 4 ? KindAdpcmVolume : KindUnclassified;
        case 0x04: return n == 5 ? KindBlockF2Id04 : KindUnclassified;
        case 0x05: return n == 5 ? KindBlockF2Id05 : KindUnclassified;
        case 0x06: return n == 5 ? KindBlockF2Id06 : KindUnclassified;
        case 0x07: return (n == 20 || n == 36) ? KindBlockF2Id07 : KindUnclassified;
        default: return KindUnclassified;
    }
}

EventKind classifyClassF3(std::uint8_t id, std::size_t n) {
    switch (id) {
        case 0x01: return KindBlockF3Id01;
        case 0x02: return KindBlockF3Id02;
        case 0x03: return KindMaxGain;
        case 0x04: return n == 5 ? KindBlockF3Id04 : KindUnclassified;
        case 0x07: return n == 5 ? KindBlockF3Id07 : KindUnclassified;
        case 0x09: return n == 5 ? KindBlockF3Id09 : KindUnclassified;
        case 0x0A: return n == 5 ? KindBlockF3Id0A : KindUnclassified;
        case 0x0B: return n == 5 ? KindEffectSelect : KindUnclassified;
        default: return KindUnclassified;
    }
}

// A block names its class and id either in the long form (0x11, a form byte
// 0x01/0x02/0x81, class, id) or in the short form (0x11, class >= 0xF0, id).
EventKind classifyBlock(const ByteVector& d) {
    const std::size_t n = d.size();
    if (n < 4 || d[0] != kBlockLead) return KindUnclassified;
    std::uint8_t blockClass = 0;
    std::uint8_t id = 0;
    if (d[1] == 0x01 || d[1] == 0x02 || d[1] == 0x81) {
        blockClass = d[2];
        id = d[3];
    } else if (d[1] >= 0xF0) {
        blockClass = d[1];
        id = d[2];
    } else {
        return KindUnclassified;
    }
    switch (blockClass) {
        case 0xF0: return classifyClassF0(id);
        case 0xF1: return classifyClassF1(id, n);
        case 0xF2: return classifyClassF2(id, n);
        case 0xF3: return classifyClassF3(id, n);
        default: return KindUnclassified;
    }
}

}  // namespace

void MfiEvent::clear() { *this = MfiEvent(); }

int MfiEvent::setTime(std::int32_t ticks) {
    if (ticks < 0) return ErrBadArgument;
    time_ = ticks;
    return 0;
}

int MfiEvent::appendExtData(const std::uint8_t* data, std::int64_t count) {
    if (data == nullptr || count <= 0) return ErrBadArgument;
    extData_.insert(extData_.end(), data, data + count);
    return 0;
}

int MfiEvent::appendExtData(ByteSpan data) {
    return appendExtData(data.data(), static_cast<std::int64_t>(data.size()));
}

std::size_t MfiEvent::copyExtData(std::uint8_t* out, std::size_t count) const {
    assert(count <= extData_.size());
    if (count > 0) std::memcpy(out, extData_.data(), count);
    return extData_.size();
}

EventKind MfiEvent::classify() const {
    if (status_ == kStatusEscape) return classifyEscape(byte1_);
    if (status_ != kStatusShort) return KindNote;
    if (extMark_ != kBlockMark) return classifyShort(param1_, param2_);
    return classifyBlock(extData_);
}

std::optional<int> MfiEvent::channelOf() const {
    switch (classify()) {
        case KindNote: return status_ >> 6;
        case KindShortE0:
        case KindChannelVolume:
        case KindShortE3:
        case KindShortE4:
        case KindShortE9:
        case KindShortE7:
        case KindShortEA:
        case KindShortE1: return param2_ >> 6;
        case KindBlockF1Id03:
        case KindBlockF1Id05: return extData_[3] >> 6;  // these kinds hold 5 or 6 bytes
        default: return std::nullopt;
    }
}

EventKind classify(const MfiEvent* event) { return event ? event->classify() : KindUnclassified; }

std::optional<int> channelOf(const MfiEvent* event) {
    if (!event) return std::nullopt;
    return event->channelOf();
}

}  // namespace keldro
