#pragma once
// Walks the chunks of a container: an id, a big-endian size and a body, one
// after the other. Each chunk comes out as a view whose body stops at the end
// the size field declares, or at the end of the data when the field claims
// more than is there. Whether the declared body fits is reported beside it
// rather than refused, because each format decides in its own order what a
// chunk that does not fit means (and some look into such a chunk first).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Bytes.h"

namespace keldro {

// Widths of the two fields of a chunk header.
struct ChunkForm {
    std::size_t idBytes = 4;
    std::size_t sizeBytes = 4;  // 2 or 4
    constexpr std::size_t headerBytes() const { return idBytes + sizeBytes; }
};

inline constexpr ChunkForm kChunk32{4, 4};  // 4-byte id, 32-bit size
inline constexpr ChunkForm kChunk16{4, 2};  // 4-byte id, 16-bit size

// One chunk as found. Offsets count from the start of the data walked.
struct ChunkView {
    std::size_t headerAt = 0;
    std::size_t bodyAt = 0;
    ByteSpan id;
    std::uint32_t size = 0;  // as declared
    bool fits = false;       // the declared body lies within the data
    ByteSpan body;           // the body, as far as the data holds it
    ByteSpan whole;          // header and body

    // True when the id starts with `name` (a prefix such as "MTR" leaves the number byte out).
    bool is(std::string_view name) const { return hasBytesAt(id, 0, name); }
    ByteReader reader() const { return ByteReader(body); }
    std::size_t bodyEnd() const { return bodyAt + body.size(); }
};

class ChunkReader {
public:
    explicit ChunkReader(ByteSpan data, ChunkForm form = kChunk32) : data_(data), form_(form) {}

    std::size_t position() const { return data_.position(); }
    std::size_t remaining() const { return data_.remaining(); }
    bool seek(std::size_t offset) { return data_.seek(offset); }
    // Everything from the position on, such as a tail too short for a header.
    ByteSpan rest() const { return data_.rest(); }

    // The chunk at the position; the position moves past its body. None, and
    // the position kept, when fewer bytes than a whole header are left.
    std::optional<ChunkView> next() {
        ByteReader r = data_;
        ChunkView c;
        c.headerAt = r.position();
        const auto id = r.bytes(form_.idBytes);
        const auto size = readSize(r);
        if (!id || !size) return std::nullopt;
        c.id = *id;
        c.size = *size;
        c.bodyAt = r.position();
        c.fits = c.size <= r.remaining();
        c.body = r.rest().first(c.fits ? c.size : r.remaining());
        c.whole = data_.window().subspan(c.headerAt, form_.headerBytes() + c.body.size());
        data_.seek(c.bodyEnd());
        return c;
    }

private:
    std::optional<std::uint32_t> readSize(ByteReader& r) const {
        if (form_.sizeBytes != 2) return r.u32();
        if (const auto v = r.u16()) return *v;
        return std::nullopt;
    }

    ByteReader data_;
    ChunkForm form_;
};

}  // namespace keldro
