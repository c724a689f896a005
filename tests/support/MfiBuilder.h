#pragma once
// Builds MFi files byte by byte for tests: header, info sub-chunks, "adat"
// audio chunks and "trac" track chunks, with every length computed. Fields
// can be overridden to produce damaged files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "MfiPrinting.h"  // beside this header: benchmarks include it by path
#include "platform/Bytes.h"

namespace keldro::test {

inline ByteVector bytesOf(std::string_view text) { return ByteVector(text.begin(), text.end()); }

inline void appendBE(ByteVector& out, std::uint32_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The event bytes of one track chunk, each event with its one-byte delta.
class MfiTrackBuilder {
public:
    // Any four-byte event: delta, status, a, b (notes use a status other than 0x7F/0xFF).
    MfiTrackBuilder& event(std::uint8_t delta, std::uint8_t status, std::uint8_t a, std::uint8_t b) {
        return raw({delta, status, a, b});
    }
    // Note on channel 0-3: the channel sits in the top two bits of the status.
    MfiTrackBuilder& note(std::uint8_t delta, int channel, std::uint8_t key = 0x05, std::uint8_t gateVelocity = 0xFC) {
        return event(delta, static_cast<std::uint8_t>((channel << 6) | key), 0x30, gateVelocity);
    }
    // Short event 0xFF a b.
    MfiTrackBuilder& shortEvent(std::uint8_t delta, std::uint8_t a, std::uint8_t b) { return event(delta, 0xFF, a, b); }
    MfiTrackBuilder& masterVolume(std::uint8_t delta, std::uint8_t volume) { return shortEvent(delta, 0xB0, volume); }
    MfiTrackBuilder& channelVolume(std::uint8_t delta, int channel, int volume) {
        return shortEvent(delta, 0xE2, static_cast<std::uint8_t>((channel << 6) | (volume & 0x3F)));
    }
    // Tempo: timebase code 0-15 and beats per minute.
    MfiTrackBuilder& tempo(std::uint8_t delta, int code, std::uint8_t bpm) {
        return shortEvent(delta, static_cast<std::uint8_t>(0xC0 | (code & 0x0F)), bpm);
    }
    MfiTrackBuilder& nop(std::uint8_t delta) { return shortEvent(delta, 0xDE, 0x00); }
    // Block event 0xFF 0xFF, 16-bit length, data.
    MfiTrackBuilder& block(std::uint8_t delta, const ByteVector& data) {
        raw({delta, 0xFF, 0xFF});
        appendBE(bytes_, static_cast<std::uint32_t>(data.size()), 2);
        return raw(data);
    }
    // MaxGain block (class 0xF3, id 0x03) with its value in byte 4.
    MfiTrackBuilder& maxGain(std::uint8_t delta, std::uint8_t value) {
        return block(delta, {0x11, 0x02, 0xF3, 0x03, value});
    }
    MfiTrackBuilder& adpcmVolume(std::uint8_t delta, std::uint8_t volume) {
        return block(delta, {0x11, 0xF2, 0x01, volume});
    }
    MfiTrackBuilder& adpcmNote(std::uint8_t delta, std::uint8_t value = 0x00) {
        return block(delta, {0x11, 0x02, 0xF1, 0x20, value});
    }
    // Effect send (class 0xF1, id low bits 0x0F): channel, A flag, send value.
    MfiTrackBuilder& effectSend(std::uint8_t delta, int channel, bool onAChannel, std::uint8_t value) {
        const auto code = static_cast<std::uint8_t>((channel << 6) | (onAChannel ? 0x2F : 0x0F));
        return block(delta, {0x11, 0x02, 0xF1, code, value});
    }
    // Effect select (class 0xF3, id 0x0B) with its selector.
    MfiTrackBuilder& effectSelect(std::uint8_t delta, std::uint8_t selector) {
        return block(delta, {0x11, 0x02, 0xF3, 0x0B, selector});
    }
    // Effect settings (class 0xF0, id 0x0F): four leading bytes, then the 32-byte effect blocks.
    MfiTrackBuilder& effectSettings(std::uint8_t delta, const ByteVector& effectBlocks) {
        ByteVector data{0x11, 0x02, 0xF0, 0x0F};
        data.insert(data.end(), effectBlocks.begin(), effectBlocks.end());
        return block(delta, data);
    }
    // 0x7F event of five bytes: `c` below 0x80, then two parameters.
    MfiTrackBuilder& escape(std::uint8_t delta, std::uint8_t c, std::uint8_t a, std::uint8_t b) {
        return raw({delta, 0x7F, c, a, b});
    }
    // 0x7F event of four bytes: `a` of 0x80 or above is the first parameter.
    MfiTrackBuilder& escapeShort(std::uint8_t delta, std::uint8_t a, std::uint8_t b) {
        return raw({delta, 0x7F, a, b});
    }
    // 0x7F block: mark 0xF0 or 0xFF, 16-bit length, data.
    MfiTrackBuilder& escapeBlock(std::uint8_t delta, std::uint8_t mark, const ByteVector& data) {
        raw({delta, 0x7F, mark});
        appendBE(bytes_, static_cast<std::uint32_t>(data.size()), 2);
        return raw(data);
    }
    MfiTrackBuilder& raw(const ByteVector& data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    const ByteVector& bytes() const { return bytes_; }

private:
    ByteVector bytes_;
};

class MfiBuilder {
public:
    // Any info sub-chunk, in the order added; the length is the content size
    // unless given (to build damaged files).
    MfiBuilder& info(std::string_view id, const ByteVector& content, std::optional<std::uint16_t> length = {}) {
        ByteVector& out = info_;
        out.insert(out.end(), id.begin(), id.end());
        appendBE(out, length.value_or(static_cast<std::uint16_t>(content.size())), 2);
        out.insert(out.end(), content.begin(), content.end());
        return *this;
    }
    MfiBuilder& info(std::string_view id, std::string_view text) { return info(id, bytesOf(text)); }
    MfiBuilder& infoByte(std::string_view id, std::uint8_t value) { return info(id, ByteVector{value}); }
    MfiBuilder& infoU16(std::string_view id, std::uint16_t value) {
        return info(id, ByteVector{static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
    }

    // The sub-chunks a writer produces for a model that has them all, in its
    // order: sorc, titl, vers, date, copy, prot, note, then auth and supt
    // (left out for "0200" unless `withAuthorOn0200`).
    MfiBuilder& canonicalInfo(std::string_view vers = "0300", std::string_view date = "20240131",
                              bool withAuthorOn0200 = false) {
        infoByte("sorc", 0).info("titl", "Title").info("vers", vers).info("date", date);
        info("copy", "(c) Someone").info("prot", "none").infoU16("note", 1);
        if (vers != "0200" || withAuthorOn0200) info("auth", "Author").info("supt", "Support");
        return *this;
    }

    MfiBuilder& adat(const ByteVector& audioHeader, const ByteVector& audioData) {
        ByteVector payload;
        appendBE(payload, static_cast<std::uint32_t>(audioHeader.size()), 2);
        payload.insert(payload.end(), audioHeader.begin(), audioHeader.end());
        payload.insert(payload.end(), audioData.begin(), audioData.end());
        return chunk("adat", payload);
    }
    MfiBuilder& trac(const MfiTrackBuilder& events) { return chunk("trac", events.bytes()); }
    // Any chunk after the header: id, 32-bit size (computed unless given), payload.
    MfiBuilder& chunk(std::string_view id, const ByteVector& payload, std::optional<std::uint32_t> size = {}) {
        if (id == "trac") ++tracChunks_;
        body_.insert(body_.end(), id.begin(), id.end());
        appendBE(body_, size.value_or(static_cast<std::uint32_t>(payload.size())), 4);
        body_.insert(body_.end(), payload.begin(), payload.end());
        return *this;
    }
    // Bytes appended verbatim after the chunks built so far.
    MfiBuilder& raw(const ByteVector& data) {
        body_.insert(body_.end(), data.begin(), data.end());
        return *this;
    }

    MfiBuilder& trackCount(std::uint8_t count) { return set(trackCount_, count); }
    MfiBuilder& majorType(std::uint8_t value) { return set(majorType_, value); }
    MfiBuilder& minorType(std::uint8_t value) { return set(minorType_, value); }
    MfiBuilder& fileId(std::string_view id) {
        fileId_ = std::string(id);
        return *this;
    }
    MfiBuilder& dataLength(std::uint32_t value) {
        dataLength_ = value;
        return *this;
    }
    MfiBuilder& headerLength(std::uint16_t value) {
        headerLength_ = value;
        return *this;
    }

    // The track count defaults to the number of "trac" chunks added (at least 1).
    ByteVector build() const {
        ByteVector out = bytesOf(fileId_);
        appendBE(out, 0, 4);
        appendBE(out, headerLength_.value_or(static_cast<std::uint16_t>(3 + info_.size())), 2);
        out.push_back(majorType_);
        out.push_back(minorType_);
        out.push_back(trackCount_.value_or(defaultTrackCount()));
        out.insert(out.end(), info_.begin(), info_.end());
        out.insert(out.end(), body_.begin(), body_.end());
        const auto length = dataLength_.value_or(static_cast<std::uint32_t>(out.size() - 8));
        for (int i = 0; i < 4; ++i)
            out[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
        return out;
    }

private:
    MfiBuilder& set(std::optional<std::uint8_t>& field, std::uint8_t value) {
        field = value;
        return *this;
    }
    MfiBuilder& set(std::uint8_t& field, std::uint8_t value) {
        field = value;
        return *this;
    }
    std::uint8_t defaultTrackCount() const { return tracChunks_ == 0 ? 1 : tracChunks_; }

    std::string fileId_ = "melo";
    std::uint8_t majorType_ = 1;
    std::uint8_t minorType_ = 1;
    std::optional<std::uint8_t> trackCount_;
    std::optional<std::uint32_t> dataLength_;
    std::optional<std::uint16_t> headerLength_;
    std::uint8_t tracChunks_ = 0;
    ByteVector info_;
    ByteVector body_;
};

}  // namespace keldro::test
