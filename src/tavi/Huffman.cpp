#include "tavi/Huffman.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>

namespace keldro::tavi {
namespace {

constexpr int kSymbolCount = 256;
constexpr int kMaxInternalNodes = 255;
constexpr int kNodeCount = kSymbolCount + kMaxInternalNodes;
constexpr int kNoNode = -1;

// Reads bits most significant first through a 64-bit window. Only bytes
// inside the data are ever read; past its end the window fills with zero
// bits, and position() then runs beyond totalBits(). A decode that needed
// any of those bits has failed, which the caller checks with overran(); the
// position only grows, so checking once after a run of codes is enough.
class BitReader {
public:
    BitReader(ByteSpan data, std::size_t startByte) : data_(data), nextByte_(startByte) { refill(); }

    // Bits consumed so far, counted from the start of the data.
    std::uint64_t position() const { return std::uint64_t{nextByte_} * 8 - available_; }
    std::uint64_t totalBits() const { return std::uint64_t{data_.size()} * 8; }
    bool overran() const { return position() > totalBits(); }
    std::uint64_t bitsLeft() const { return overran() ? 0 : totalBits() - position(); }
    // True while a whole 8-byte load fits, so refill() takes its fast branch.
    bool wellInside() const { return nextByte_ <= data_.size() && data_.size() - nextByte_ >= 8; }

    // Tops the window up to at least 56 bits.
    void refill() {
        if (wellInside()) {
            refillInside();
            return;
        }
        while (available_ <= 56) {
            const std::uint64_t byte = nextByte_ < data_.size() ? data_[nextByte_] : 0u;
            window_ |= byte << (56 - available_);
            ++nextByte_;
            available_ += 8;
        }
    }
    // The next `count` bits (1..32), not consumed; needs that many available.
    unsigned peek(unsigned count) const { return static_cast<unsigned>(window_ >> (64 - count)); }
    void consume(unsigned count) {
        window_ <<= count;
        available_ -= count;
    }
    // Reads `count` bits (1..8), refilling first when needed.
    unsigned take(unsigned count) {
        if (available_ < count) refill();
        const unsigned value = peek(count);
        consume(count);
        return value;
    }

    // refill() where wellInside() holds: one big-endian load. The bits
    // below `available_` that it brings again are the ones already there,
    // so OR-ing them in changes nothing.
    void refillInside() {
        window_ |= load64(nextByte_) >> available_;
        nextByte_ += (63 - available_) >> 3;
        available_ |= 56;
    }

private:
    // Big-endian 8 bytes at `at`; only called where wellInside() holds.
    std::uint64_t load64(std::size_t at) const {
        std::uint64_t value = 0;
        std::memcpy(&value, data_.subspan(at, 8).data(), 8);
        return std::endian::native == std::endian::little ? byteSwap(value) : value;
    }
    static std::uint64_t byteSwap(std::uint64_t v) {
        v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
        v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
        return (v << 32) | (v >> 32);
    }

    ByteSpan data_;
    std::size_t nextByte_;      // the first byte not yet in the window
    std::uint64_t window_ = 0;  // the next bits, most significant first
    unsigned available_ = 0;    // how many of them are counted
};

// Collects bits in a 64-bit register and stores all of them, eight bytes at a
// time, after every append: the whole bytes among them stay, the partly
// filled last one is stored again by the next append, with zero bits below
// what it holds so far. There is no branch on the data, so the output must
// have 8 bytes of room after the last byte that receives bits.
// A small value: the code loop works on a local copy, whose fields the
// compiler keeps in registers (byte stores could alias a shared one).
class BitWriter {
public:
    BitWriter(std::span<std::uint8_t> out, std::size_t at) : out_(out), at_(at) {}

    // Appends the low `count` bits of `value` (count <= 56; no higher bits
    // set), most significant first.
    void bits(std::uint64_t value, int count) {
        pending_ = (pending_ << count) | value;
        pendingCount_ += count;  // at most 7 + 56
        // Shifts the pending bits to the top (in two steps: no shift by 64).
        store8(pending_ << (63 - pendingCount_) << 1);
        at_ += static_cast<std::size_t>(pendingCount_ >> 3);
        pendingCount_ &= 7;
    }
    // Bytes that received bits so far, a partly filled last one included.
    std::size_t end() const { return at_ + (pendingCount_ > 0 ? 1 : 0); }

private:
    void store8(std::uint64_t value) {
        for (std::size_t i = 0; i < 8; ++i) out_[at_ + i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
    }

    std::span<std::uint8_t> out_;
    std::size_t at_;
    std::uint64_t pending_ = 0;
    int pendingCount_ = 0;
};

// Decoded tree: nodes 0..255 are leaves, internal nodes count up from 256.
struct DecodeTree {
    std::array<int, kNodeCount> left{};
    std::array<int, kNodeCount> right{};
    int nextInternal = kSymbolCount;
};

// Reads one subtree. Depth is bounded by the internal node limit, so the
// recursion stays shallow whatever the data says. Past the end of the data
// the zero bits read as leaves, so a cut tree ends at once (and the caller's
// overran() check refuses it).
bool readSubtree(BitReader& bits, DecodeTree& tree, int& node) {
    if (bits.take(1) == 0) {
        node = static_cast<int>(bits.take(8));
        return true;
    }
    if (tree.nextInternal >= kNodeCount) return false;
    node = tree.nextInternal++;
    int child = 0;
    if (!readSubtree(bits, tree, child)) return false;
    tree.left[static_cast<std::size_t>(node)] = child;
    if (!readSubtree(bits, tree, child)) return false;
    tree.right[static_cast<std::size_t>(node)] = child;
    return true;
}

// ---- Table decoding ----
// A table indexed by the next `tableBits` bits answers, for most values, one
// or two whole codes at once: the symbols and the bits they take. Where the
// first code is longer than the index, the entry names the internal node
// those bits lead to and the rest is walked bit by bit.
constexpr unsigned kMaxTableBits = 12;

// Left uninitialised by design: filling sets every entry in use.
// `bits` comes first: the shift that consumes them can then take the loaded
// entry as it is, one step less on the path from one lookup to the next.
struct TableEntry {
    std::uint8_t bits;       // bits of all its codes (one or two)
    std::uint8_t firstBits;  // bits of the first code; 0 marks a long code
    std::uint8_t first;      // first symbol; for a long code, the low byte of the node
    std::uint8_t second;     // second symbol; for a long code, the high byte of the node

    bool isLongCode() const { return firstBits == 0; }
    int node() const { return first | (second << 8); }
    unsigned symbolCount() const { return bits == firstBits ? 1u : 2u; }
};

// Every one of the 2^bits entries in use is written when the table is
// filled (a decoded tree is full: each internal node has two children).
struct DecodeTable {
    unsigned bits = 0;
    std::array<TableEntry, std::size_t{1} << kMaxTableBits> entries;
};

// A bigger table resolves more pairs but costs more to fill; short bodies
// would spend more time filling it than decoding.
unsigned tableBitsFor(std::uint32_t length) { return length >= (64u << 10) ? 12 : 10; }

// The one-code table: every value whose bits start with the code of a leaf
// of at most `table.bits` bits gets that leaf; values that run into deeper
// nodes get the node reached after all the index bits.
void fillSingle(const DecodeTree& tree, int node, unsigned prefix, unsigned depth, DecodeTable& table) {
    if (node < kSymbolCount || depth == table.bits) {
        TableEntry entry;
        if (node < kSymbolCount) {
            entry = {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(depth),
                     static_cast<std::uint8_t>(node), 0};
        } else {
            entry = {static_cast<std::uint8_t>(depth), 0, static_cast<std::uint8_t>(node & 0xFF),
                     static_cast<std::uint8_t>(node >> 8)};
        }
        const unsigned spread = table.bits - depth;
        std::fill_n(table.entries.begin() + (prefix << spread), std::size_t{1} << spread, entry);
        return;
    }
    const auto at = static_cast<std::size_t>(node);
    fillSingle(tree, tree.left[at], prefix << 1, depth + 1, table);
    fillSingle(tree, tree.right[at], (prefix << 1) | 1u, depth + 1, table);
}

// Pairs, in place: after a first code of n bits, the remaining index bits
// (shifted up, zeros below) look up the second code; when it ends within
// those bits it is fully known and joins the entry. Pairing changes only
// `second` and `bits`, and the lookups read only `first` and `firstBits`, so
// the order of the walk does not matter.
void pairCodes(DecodeTable& table) {
    const unsigned mask = (1u << table.bits) - 1;
    for (unsigned value = 0; value <= mask; ++value) {
        TableEntry& entry = table.entries[value];
        const TableEntry next = table.entries[(value << entry.firstBits) & mask];
        const unsigned bothBits = entry.firstBits + next.firstBits;
        const bool pairs = entry.firstBits != 0 && next.firstBits != 0 && bothBits <= table.bits;
        entry.second = pairs ? next.first : entry.second;
        entry.bits = static_cast<std::uint8_t>(pairs ? bothBits : entry.bits);
    }
}

void buildTable(const DecodeTree& tree, int root, std::uint32_t length, DecodeTable& table) {
    table.bits = tableBitsFor(length);
    fillSingle(tree, root, 0, 0, table);
    pairCodes(table);
}

// The rest of a code longer than the table: one bit a step from the node
// the index bits led to. Leaves the window topped up.
std::uint8_t finishLongCode(BitReader& bits, const DecodeTree& tree, const TableEntry& entry) {
    bits.consume(entry.bits);
    int node = entry.node();
    while (node >= kSymbolCount) {
        const auto at = static_cast<std::size_t>(node);
        node = bits.take(1) ? tree.right[at] : tree.left[at];
    }
    bits.refill();
    return static_cast<std::uint8_t>(node);
}

// Decodes the codes that fill `out` up to `end`. The main loop refills once
// per four lookups (at most 4 x 12 bits of the 56 available) and writes both
// symbol bytes of an entry unconditionally, so it stops 8 bytes before the
// end of the output and where a whole load no longer fits in the input; the
// rest goes one code at a time. Returns false when any code needed bits past
// the data.
// The reader and the index width are local copies, which the compiler keeps
// in registers: the byte stores to `out` could alias anything in memory.
bool decodeCodes(BitReader& reader, const DecodeTree& tree, const DecodeTable& table, std::uint8_t* out,
                 std::uint8_t* end) {
    constexpr int kLookupsPerRefill = 4;
    BitReader bits = reader;
    const unsigned indexBits = table.bits;
    // A long code goes through a copy, so that `bits` never has its address taken.
    auto longCode = [&tree](BitReader& from, const TableEntry& entry) {
        BitReader walk = from;
        const std::uint8_t symbol = finishLongCode(walk, tree, entry);
        from = walk;
        return symbol;
    };
    while (end - out >= 2 * kLookupsPerRefill && bits.wellInside()) {
        bits.refillInside();
        for (int i = 0; i < kLookupsPerRefill; ++i) {
            const TableEntry entry = table.entries[bits.peek(indexBits)];
            if (entry.isLongCode()) {
                *out++ = longCode(bits, entry);
                continue;
            }
            out[0] = entry.first;
            out[1] = entry.second;
            out += entry.symbolCount();
            bits.consume(entry.bits);
        }
    }
    while (out < end) {
        if (bits.overran()) break;
        bits.refill();
        const TableEntry entry = table.entries[bits.peek(indexBits)];
        if (entry.isLongCode()) {
            *out++ = longCode(bits, entry);
            continue;
        }
        *out++ = entry.first;
        bits.consume(entry.firstBits);
    }
    reader = bits;
    return !reader.overran();
}

}  // namespace

bool huffmanDecode(ByteSpan packed, ByteVector& plain) {
    plain.clear();
    return huffmanDecodeAppending(packed, plain, 0);
}

bool huffmanDecodeAppending(ByteSpan packed, ByteVector& out, std::size_t roomAfter) {
    const std::size_t start = out.size();
    ByteReader head(packed);
    const auto length = head.u32();
    if (!length || *length > kMaxPlainSequenceLength) return false;
    BitReader bits(packed, head.position());
    DecodeTree tree;
    int root = 0;
    if (!readSubtree(bits, tree, root) || bits.overran()) return false;
    if (root < kSymbolCount) {  // a lone leaf: every code is empty
        out.reserve(start + *length + roomAfter);
        out.insert(out.end(), *length, static_cast<std::uint8_t>(root));
        return true;
    }
    // Every code of a real tree takes at least one bit: refuse lengths the
    // input cannot hold before reserving memory for them.
    if (*length > bits.bitsLeft()) return false;
    DecodeTable table;
    buildTable(tree, root, *length, table);
    out.reserve(start + *length + roomAfter);
    out.resize(start + *length);
    if (!decodeCodes(bits, tree, table, out.data() + start, out.data() + out.size())) {
        out.resize(start);
        return false;
    }
    return true;
}

namespace {

struct EncodeTree {
    std::array<std::uint32_t, kNodeCount> count{};
    std::array<int, kNodeCount> left{};
    std::array<int, kNodeCount> right{};
    std::array<int, kNodeCount> parent{};
    std::array<int, kNodeCount> mark{};  // 0 = left child, 1 = right child
};

// Min-heap on the count, positions 1..size. The right child is taken only
// when strictly smaller, and the item stops above a child of equal count.
class NodeHeap {
public:
    explicit NodeHeap(const EncodeTree& tree) : tree_(tree) {}

    int size() const { return size_; }
    int top() const { return items_[1]; }
    void push(int node) { items_[static_cast<std::size_t>(++size_)] = node; }
    void heapify() {
        for (int pos = size_ / 2; pos >= 1; --pos) siftDown(pos);
    }
    void replaceTop(int node) {
        items_[1] = node;
        siftDown(1);
    }
    void popTop() {
        items_[1] = items_[static_cast<std::size_t>(size_--)];
        siftDown(1);
    }

private:
    std::uint32_t countAt(int pos) const {
        return tree_.count[static_cast<std::size_t>(items_[static_cast<std::size_t>(pos)])];
    }
    void siftDown(int pos) {
        const int item = items_[static_cast<std::size_t>(pos)];
        const std::uint32_t itemCount = tree_.count[static_cast<std::size_t>(item)];
        while (2 * pos <= size_) {
            int child = 2 * pos;
            if (child + 1 <= size_ && countAt(child + 1) < countAt(child)) ++child;
            if (countAt(child) >= itemCount) break;
            items_[static_cast<std::size_t>(pos)] = items_[static_cast<std::size_t>(child)];
            pos = child;
        }
        items_[static_cast<std::size_t>(pos)] = item;
    }

    const EncodeTree& tree_;
    std::array<int, kSymbolCount + 1> items_{};
    int size_ = 0;
};

// The tree in pre-order, from an explicit stack of nodes still to write.
void writeTree(const EncodeTree& tree, int root, BitWriter& writer) {
    BitWriter local = writer;
    std::array<int, kNodeCount> pending;  // never more than the nodes of the tree
    std::size_t count = 0;
    pending[count++] = root;
    while (count > 0) {
        const int node = pending[--count];
        if (node < kSymbolCount) {
            local.bits(static_cast<std::uint64_t>(node), 9);  // bit 0, then the byte
            continue;
        }
        local.bits(1, 1);
        pending[count++] = tree.right[static_cast<std::size_t>(node)];
        pending[count++] = tree.left[static_cast<std::size_t>(node)];  // written first
    }
    writer = local;
}

// Bits of the tree in pre-order: one per internal node, nine per leaf.
std::uint64_t treeBits(const EncodeTree& tree, int node) {
    if (node < kSymbolCount) return 9;
    return 1 + treeBits(tree, tree.left[static_cast<std::size_t>(node)]) +
           treeBits(tree, tree.right[static_cast<std::size_t>(node)]);
}

// Counts of each byte value, in four interleaved tallies so that runs of one
// value do not wait on their own previous increment.
std::array<std::uint32_t, kSymbolCount> countBytes(ByteSpan plain) {
    std::array<std::array<std::uint32_t, kSymbolCount>, 4> tallies{};
    std::size_t i = 0;
    for (; plain.size() - i >= 4; i += 4)
        for (std::size_t k = 0; k < 4; ++k) ++tallies[k][plain[i + k]];
    for (; i < plain.size(); ++i) ++tallies[0][plain[i]];
    std::array<std::uint32_t, kSymbolCount> counts{};
    for (const auto& tally : tallies)
        for (std::size_t symbol = 0; symbol < counts.size(); ++symbol) counts[symbol] += tally[symbol];
    return counts;
}

// Root-to-leaf marks of one symbol, the first mark in the highest bit;
// empty for the root itself. Counts are 32-bit, and a leaf that deep needs a
// total count beyond that range, so no code is longer than 56 bits.
struct Code {
    std::uint64_t bits = 0;
    int length = 0;
};

// The codes of all bytes in order. Where any two codes fit one append (56
// bits: codes of up to 28 bits, which takes a freak distribution to exceed),
// two go at a time, which halves the steps that wait on each other.
void writeCodes(ByteSpan plain, const std::array<Code, kSymbolCount>& codes, int longestCode, BitWriter& writer) {
    BitWriter local = writer;
    std::size_t i = 0;
    if (longestCode <= 28) {
        for (; plain.size() - i >= 2; i += 2) {
            const Code& a = codes[plain[i]];
            const Code& b = codes[plain[i + 1]];
            local.bits((a.bits << b.length) | b.bits, a.length + b.length);
        }
    }
    for (; i < plain.size(); ++i) local.bits(codes[plain[i]].bits, codes[plain[i]].length);
    writer = local;
}

Code codeOf(const EncodeTree& tree, int leaf) {
    Code code;
    for (int node = leaf; tree.parent[static_cast<std::size_t>(node)] != kNoNode;
         node = tree.parent[static_cast<std::size_t>(node)]) {
        code.bits |= std::uint64_t(tree.mark[static_cast<std::size_t>(node)]) << code.length;
        ++code.length;
    }
    return code;
}

}  // namespace

ByteVector huffmanEncode(ByteSpan plain) {
    EncodeTree tree;
    tree.parent.fill(kNoNode);
    const auto counts = countBytes(plain);
    std::copy(counts.begin(), counts.end(), tree.count.begin());

    NodeHeap heap(tree);
    for (int symbol = 0; symbol < kSymbolCount; ++symbol)
        if (tree.count[static_cast<std::size_t>(symbol)] != 0) heap.push(symbol);
    heap.heapify();

    int root = heap.size() == 0 ? 0 : heap.top();
    int next = kSymbolCount;
    while (heap.size() > 1) {
        const int x = heap.top();
        heap.popTop();
        const int y = heap.top();
        const auto k = static_cast<std::size_t>(next);
        tree.count[k] = tree.count[static_cast<std::size_t>(x)] + tree.count[static_cast<std::size_t>(y)];
        tree.left[k] = x;
        tree.right[k] = y;
        tree.parent[static_cast<std::size_t>(x)] = next;
        tree.mark[static_cast<std::size_t>(x)] = 0;
        tree.parent[static_cast<std::size_t>(y)] = next;
        tree.mark[static_cast<std::size_t>(y)] = 1;
        heap.replaceTop(next);
        root = next++;
    }

    std::array<Code, kSymbolCount> codes;
    std::uint64_t codeBits = 0;
    int longestCode = 0;
    for (int symbol = 0; symbol < kSymbolCount; ++symbol) {
        const auto s = static_cast<std::size_t>(symbol);
        if (tree.count[s] == 0) continue;
        codes[s] = codeOf(tree, symbol);
        codeBits += std::uint64_t{tree.count[s]} * static_cast<std::uint64_t>(codes[s].length);
        longestCode = std::max(longestCode, codes[s].length);
    }

    // The exact size, so the bits go straight into place: the length, the
    // tree, the codes and the zero padding of the last byte; and the room the
    // writer's eight-byte stores need, dropped at the end.
    const std::uint64_t totalBits = 32 + treeBits(tree, root) + codeBits;
    const auto size = static_cast<std::size_t>((totalBits + 7) / 8);
    ByteVector out(size + 8);
    ByteWriter::patchBE(out, 0, static_cast<std::uint32_t>(plain.size()), 4);
    BitWriter bits(out, 4);
    writeTree(tree, root, bits);
    writeCodes(plain, codes, longestCode, bits);
    out.resize(bits.end());  // == size
    return out;
}

}  // namespace keldro::tavi
