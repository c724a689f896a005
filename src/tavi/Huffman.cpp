#include "tavi/Huffman.h"

#include <array>

namespace keldro::tavi {
namespace {

constexpr int kSymbolCount = 256;
constexpr int kMaxInternalNodes = 255;
constexpr int kNodeCount = kSymbolCount + kMaxInternalNodes;
constexpr int kNoNode = -1;

// Reads bits most significant first; every read checks the end.
class BitReader {
public:
    explicit BitReader(ByteSpan data, std::size_t startByte) : data_(data), bit_(startByte * 8) {}

    std::uint64_t bitsLeft() const { return totalBits() - bit_; }
    bool bit(int& out) {
        if (bit_ >= totalBits()) return false;
        out = (data_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1;
        ++bit_;
        return true;
    }
    bool byte(int& out) {
        out = 0;
        for (int i = 0; i < 8; ++i) {
            int b = 0;
            if (!bit(b)) return false;
            out = (out << 1) | b;
        }
        return true;
    }
    // The next 8 bits without consuming them; zeros stand in past the end.
    unsigned peekByte() const {
        const std::size_t at = static_cast<std::size_t>(bit_ >> 3);
        const unsigned high = at < data_.size() ? data_[at] : 0u;
        const unsigned low = at + 1 < data_.size() ? data_[at + 1] : 0u;
        return (((high << 8) | low) >> (8 - (bit_ & 7))) & 0xFFu;
    }
    bool skip(unsigned count) {
        if (count > bitsLeft()) return false;
        bit_ += count;
        return true;
    }

private:
    std::uint64_t totalBits() const { return std::uint64_t{data_.size()} * 8; }

    ByteSpan data_;
    std::uint64_t bit_;
};

// Collects up to 64 bits before storing whole bytes.
class BitWriter {
public:
    explicit BitWriter(ByteVector& out) : out_(out) {}

    // Appends the low `count` bits of `value` (count <= 56), most significant first.
    void bits(std::uint64_t value, int count) {
        pending_ = (pending_ << count) | (value & ((std::uint64_t{1} << count) - 1));
        pendingCount_ += count;
        while (pendingCount_ >= 8) {
            pendingCount_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(pending_ >> pendingCount_));
        }
    }
    // Completes a partly filled last byte with zero bits.
    void flush() {
        if (pendingCount_ > 0) out_.push_back(static_cast<std::uint8_t>(pending_ << (8 - pendingCount_)));
        pendingCount_ = 0;
    }

private:
    ByteVector& out_;
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
// recursion stays shallow whatever the data says.
bool readSubtree(BitReader& bits, DecodeTree& tree, int& node) {
    int kind = 0;
    if (!bits.bit(kind)) return false;
    if (kind == 0) return bits.byte(node);
    if (tree.nextInternal >= kNodeCount) return false;
    node = tree.nextInternal++;
    int child = 0;
    if (!readSubtree(bits, tree, child)) return false;
    tree.left[static_cast<std::size_t>(node)] = child;
    if (!readSubtree(bits, tree, child)) return false;
    tree.right[static_cast<std::size_t>(node)] = child;
    return true;
}

// Where the next 8 bits lead from the root: the node reached and the bits
// used to reach it (fewer than 8 when a leaf comes first).
struct ByteStep {
    int node = 0;
    unsigned bitsUsed = 0;
};
using StepTable = std::array<ByteStep, 256>;

StepTable buildStepTable(const DecodeTree& tree, int root) {
    StepTable table;
    for (unsigned value = 0; value < 256; ++value) {
        ByteStep step{root, 0};
        while (step.node >= kSymbolCount && step.bitsUsed < 8) {
            const bool right = (value >> (7 - step.bitsUsed)) & 1u;
            const auto at = static_cast<std::size_t>(step.node);
            step.node = right ? tree.right[at] : tree.left[at];
            ++step.bitsUsed;
        }
        table[value] = step;
    }
    return table;
}

// One code: a byte at a time through the table, then bit by bit for codes
// longer than 8 bits.
bool decodeSymbol(BitReader& bits, const DecodeTree& tree, const StepTable& table, int& node) {
    const ByteStep step = table[bits.peekByte()];
    if (!bits.skip(step.bitsUsed)) return false;
    node = step.node;
    while (node >= kSymbolCount) {
        int b = 0;
        if (!bits.bit(b)) return false;
        const auto at = static_cast<std::size_t>(node);
        node = b ? tree.right[at] : tree.left[at];
    }
    return true;
}

}  // namespace

bool huffmanDecode(ByteSpan packed, ByteVector& plain) {
    plain.clear();
    ByteReader head(packed);
    const auto length = head.u32();
    if (!length || *length > kMaxPlainSequenceLength) return false;
    BitReader bits(packed, head.position());
    DecodeTree tree;
    int root = 0;
    if (!readSubtree(bits, tree, root)) return false;
    if (root < kSymbolCount) {  // a lone leaf: every code is empty
        plain.assign(*length, static_cast<std::uint8_t>(root));
        return true;
    }
    // Every code of a real tree takes at least one bit: refuse lengths the
    // input cannot hold before reserving memory for them.
    if (*length > bits.bitsLeft()) return false;
    const StepTable table = buildStepTable(tree, root);
    plain.resize(*length);
    for (std::uint8_t& out : plain) {
        int node = 0;
        if (!decodeSymbol(bits, tree, table, node)) {
            plain.clear();
            return false;
        }
        out = static_cast<std::uint8_t>(node);
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

void writeSubtree(const EncodeTree& tree, int node, BitWriter& bits) {
    if (node < kSymbolCount) {
        bits.bits(static_cast<std::uint64_t>(node), 9);  // bit 0, then the byte
        return;
    }
    bits.bits(1, 1);
    writeSubtree(tree, tree.left[static_cast<std::size_t>(node)], bits);
    writeSubtree(tree, tree.right[static_cast<std::size_t>(node)], bits);
}

// Root-to-leaf marks of one symbol, the first mark in the highest bit;
// empty for the root itself. Counts are 32-bit, and a leaf that deep needs a
// total count beyond that range, so no code is longer than 56 bits.
struct Code {
    std::uint64_t bits = 0;
    int length = 0;
};

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
    for (std::uint8_t b : plain) ++tree.count[b];

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

    ByteVector out;
    out.reserve(plain.size() / 2 + 64);
    ByteWriter(out).u32(static_cast<std::uint32_t>(plain.size()));
    BitWriter bits(out);
    writeSubtree(tree, root, bits);

    std::array<Code, kSymbolCount> codes;
    for (int symbol = 0; symbol < kSymbolCount; ++symbol)
        if (tree.count[static_cast<std::size_t>(symbol)] != 0)
            codes[static_cast<std::size_t>(symbol)] = codeOf(tree, symbol);
    for (std::uint8_t b : plain) bits.bits(codes[b].bits, codes[b].length);
    // The seven zero padding bits only ever complete a partly filled last byte.
    bits.flush();
    return out;
}

}  // namespace keldro::tavi
