#pragma once
// The byte vector and the bounds-checked big-endian reader and writer that all
// binary parsing goes through. A reader never reads past its window: every
// read reports failure instead, whatever a length field in the data claims.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace keldro {

using ByteVector = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

// A fixed big-endian field of a header: where it starts and how many bytes it
// takes. A header declares its fields once, each after the one before with
// next(), and checks its total size at compile time.
struct Field {
    std::size_t at = 0;
    std::size_t width = 0;

    constexpr std::size_t end() const { return at + width; }
    // The field of `bytes` bytes right after this one.
    constexpr Field next(std::size_t bytes) const { return {end(), bytes}; }
    // The same field of a header that starts at `offset`.
    constexpr Field from(std::size_t offset) const { return {offset + at, width}; }
};

// True when the bytes at `at` spell `text` (false when they would lie outside).
inline bool hasBytesAt(ByteSpan s, std::size_t at, std::string_view text) {
    if (at > s.size() || text.size() > s.size() - at) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (s[at + i] != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(ByteSpan data) : data_(data) {}
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data, size) {}

    std::size_t size() const { return data_.size(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    bool canRead(std::size_t n) const { return n <= remaining(); }

    // Moves to an absolute offset; fails (and stays) when it lies past the end.
    bool seek(std::size_t offset) {
        if (offset > data_.size()) return false;
        pos_ = offset;
        return true;
    }
    bool skip(std::size_t n) {
        if (!canRead(n)) return false;
        pos_ += n;
        return true;
    }

    std::optional<std::uint8_t> u8() {
        if (!canRead(1)) return std::nullopt;
        return data_[pos_++];
    }
    std::optional<std::uint16_t> u16() {
        if (!canRead(2)) return std::nullopt;
        auto v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    std::optional<std::uint32_t> u32() {
        if (!canRead(4)) return std::nullopt;
        std::uint32_t v = (std::uint32_t{data_[pos_]} << 24) | (std::uint32_t{data_[pos_ + 1]} << 16) |
                          (std::uint32_t{data_[pos_ + 2]} << 8) | std::uint32_t{data_[pos_ + 3]};
        pos_ += 4;
        return v;
    }
    // A view of the next n bytes, consumed; empty optional when fewer remain.
    std::optional<ByteSpan> bytes(std::size_t n) {
        if (!canRead(n)) return std::nullopt;
        ByteSpan s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // Peeks without consuming.
    std::optional<std::uint8_t> peek(std::size_t ahead = 0) const {
        if (ahead >= remaining()) return std::nullopt;
        return data_[pos_ + ahead];
    }
    bool startsWith(std::string_view tag) const { return hasBytesAt(data_, pos_, tag); }
    ByteSpan window() const { return data_; }
    // What is left from the position on, not consumed.
    ByteSpan rest() const { return data_.subspan(pos_); }

private:
    ByteSpan data_;
    std::size_t pos_ = 0;
};

// Appends big-endian numbers to a byte vector and patches them in place.
class ByteWriter {
public:
    explicit ByteWriter(ByteVector& out) : out_(out) {}

    std::size_t size() const { return out_.size(); }
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) {
        out_.push_back(static_cast<std::uint8_t>(v >> 8));
        out_.push_back(static_cast<std::uint8_t>(v));
    }
    void u32(std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out_.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    void bytes(ByteSpan s) { out_.insert(out_.end(), s.begin(), s.end()); }
    void text(std::string_view s) {
        // Byte by byte: short texts, and GCC 12 misreads a range insert into a
        // just-cleared vector as an overflow at -O3.
        for (char c : s) out_.push_back(static_cast<std::uint8_t>(c));
    }

    // Patch helpers: return false (and write nothing) when the field lies outside.
    static bool patchBE(ByteVector& buf, std::size_t at, std::uint32_t v, std::size_t width) {
        if (at > buf.size() || width > buf.size() - at) return false;
        for (std::size_t i = 0; i < width; ++i) buf[at + i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
        return true;
    }
    static bool patchBE(ByteVector& buf, Field field, std::uint32_t v) {
        return patchBE(buf, field.at, v, field.width);
    }
    // Adds to the number stored at an offset, wrapping at its width; false
    // (and nothing written) when the field lies outside.
    static bool addBE(ByteVector& buf, std::size_t at, std::uint32_t delta, std::size_t width);
    static bool addBE(ByteVector& buf, Field field, std::uint32_t delta) {
        return addBE(buf, field.at, delta, field.width);
    }

private:
    ByteVector& out_;
};

// Reads a big-endian number at an offset of a span; nullopt when it does not fit.
inline std::optional<std::uint32_t> readBE(ByteSpan s, std::size_t at, std::size_t width) {
    if (at > s.size() || width > s.size() - at) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v = (v << 8) | s[at + i];
    return v;
}
inline std::optional<std::uint32_t> readBE(ByteSpan s, Field field) { return readBE(s, field.at, field.width); }

inline bool ByteWriter::addBE(ByteVector& buf, std::size_t at, std::uint32_t delta, std::size_t width) {
    const auto stored = readBE(buf, at, width);
    return stored && patchBE(buf, at, *stored + delta, width);
}

}  // namespace keldro
