#pragma once
// Walks and writes the chunks of a container: an id, a big-endian size and a
// body, one after the other. Walked, each chunk comes out as a view whose
// body stops at the end the size field declares, or at the end of the data
// when the field claims more than is there. Whether the declared body fits is reported beside it
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
    // Where the size field stands in a header that starts at `headerAt`.
    constexpr Field sizeField(std::size_t headerAt = 0) const { return {headerAt + idBytes, sizeBytes}; }
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

// Writes one chunk at the end of a byte vector: the header first, then the
// body the caller appends; close() sets the size field from the body as it
// then stands, so a body that grew or shrank while it was written never
// keeps a stale size. Chunks nest: an inner one is closed before the outer.
class ChunkWriter {
public:
    // Opens a chunk: the id (form.idBytes long), then a size field that close() fills in.
    ChunkWriter(ByteVector& out, ByteSpan id, ChunkForm form = kChunk32)
        : out_(out), form_(form), headerAt_(out.size()) {
        // Byte by byte: GCC 12 misreads a range insert into a fresh vector as an overflow.
        ByteWriter w(out);
        for (std::uint8_t b : id) w.u8(b);
        for (std::size_t i = 0; i < form.sizeBytes; ++i) w.u8(0);
    }
    ChunkWriter(ByteVector& out, std::string_view id, ChunkForm form = kChunk32)
        : ChunkWriter(out, bytesOf(id), form) {}

    // Takes up a chunk whose header already stands at `headerAt` of `out`
    // (copied from an input, say); its body is everything after the header.
    static ChunkWriter reopen(ByteVector& out, std::size_t headerAt, ChunkForm form = kChunk32) {
        return ChunkWriter(out, headerAt, form);
    }

    // Writes a whole chunk whose body is known.
    static void append(ByteVector& out, ByteSpan id, ByteSpan body, ChunkForm form = kChunk32) {
        const ChunkWriter chunk(out, id, form);
        ByteWriter(out).bytes(body);
        chunk.close();
    }
    static void append(ByteVector& out, std::string_view id, ByteSpan body, ChunkForm form = kChunk32) {
        append(out, bytesOf(id), body, form);
    }

    std::size_t bodyAt() const { return headerAt_ + form_.headerBytes(); }

    // The size field := the bytes after the header, cut to the field's width.
    void close() const {
        ByteWriter::patchBE(out_, form_.sizeField(headerAt_), static_cast<std::uint32_t>(out_.size() - bodyAt()));
    }

    // Size fields of chunks inside a buffer, such as a file edited in place:
    // set to a body size, or moved by the bytes a body gained (wrapping at
    // the field's width). False, and nothing written, when the field lies outside.
    static bool setSize(ByteVector& buf, std::size_t headerAt, std::uint32_t size, ChunkForm form = kChunk32) {
        return ByteWriter::patchBE(buf, form.sizeField(headerAt), size);
    }
    static bool addToSize(ByteVector& buf, std::size_t headerAt, std::uint32_t grown, ChunkForm form = kChunk32) {
        return ByteWriter::addBE(buf, form.sizeField(headerAt), grown);
    }

private:
    static ByteSpan bytesOf(std::string_view id) {
        return ByteSpan(reinterpret_cast<const std::uint8_t*>(id.data()), id.size());
    }
    ChunkWriter(ByteVector& out, std::size_t headerAt, ChunkForm form) : out_(out), form_(form), headerAt_(headerAt) {}

    ByteVector& out_;
    ChunkForm form_;
    std::size_t headerAt_;
};

}  // namespace keldro
