#include "tavi/Huffman.h"

#include <array>

namespace keldro {
namespace {

constexpr int kSymbolCount = 256;
constexpr int kMaxInternalNodes = 255;
constexpr int kNodeCount = kSymbolCount + kMaxInternalNodes;
constexpr int kNoNode = -1;

// Reads bits most significant first; every read checks the end.
class BitReader {
public:
    explicit BitReader(ByteSpan data, std::size_t startByte) : data_(data), bit_(startByte * 8) {}

    std::uint64_t bitsLeft() const { return std::uint64_t{data_.size()} * 8 - bit_; }
    bool bit(int& out) {
        if (bit_ >= std::uint64_t{data_.size()} * 8) return false;
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

private:
    ByteSpan data_;
    std::uint64_t bit_;
};

class BitWriter {
public:
    explicit BitWriter(ByteVector& out) : out_(out) {}
    void bit(int b) {
        if (used_ == 0) out_.push_back(0);
        if (b) out_.back() = static_cast<std::uint8_t>(out_.back() | (0x80u >> used_));
        used_ = (used_ + 1) & 7;
    }
    void byte(int value) {
        for (int i = 7; i >= 0; --i) bit((value >> i) & 1);
    }

private:
    ByteVector& out_;
    int used_ = 0;  // bits already used in the last byte; 0 = start a new one
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

}  // namespace

bool HuffmanDecode(ByteSpan packed, ByteVector& plain) {
    plain.clear();
    auto length = readBE(packed, 0, 4);
    if (!length || *length > kMaxPlainSequenceLength) return false;
    BitReader bits(packed, 4);
    DecodeTree tree;
    int root = 0;
    if (!readSubtree(bits, tree, root)) return false;
    const bool singleLeaf = root < kSymbolCount;
    // Every code of a real tree takes at least one bit: refuse lengths the
    // input cannot hold before reserving memory for them.
    if (!singleLeaf && *length > bits.bitsLeft()) return false;
    plain.reserve(*length);
    for (std::uint32_t i = 0; i < *length; ++i) {
        int node = root;
        while (node >= kSymbolCount) {
            int b = 0;
            if (!bits.bit(b)) {
                plain.clear();
                return false;
            }
            node = b ? tree.right[static_cast<std::size_t>(node)] : tree.left[static_cast<std::size_t>(node)];
        }
        plain.push_back(static_cast<std::uint8_t>(node));
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
        bits.bit(0);
        bits.byte(node);
        return;
    }
    bits.bit(1);
    writeSubtree(tree, tree.left[static_cast<std::size_t>(node)], bits);
    writeSubtree(tree, tree.right[static_cast<std::size_t>(node)], bits);
}

// Root-to-leaf marks of one symbol; empty for the root itself.
struct Code {
    std::array<std::uint8_t, kMaxInternalNodes> bits{};
    int length = 0;
};

Code codeOf(const EncodeTree& tree, int leaf) {
    Code code;
    for (int node = leaf; tree.parent[static_cast<std::size_t>(node)] != kNoNode;
         node = tree.parent[static_cast<std::size_t>(node)])
        code.bits[static_cast<std::size_t>(code.length++)] =
            static_cast<std::uint8_t>(tree.mark[static_cast<std::size_t>(node)]);
    for (int i = 0, j = code.length - 1; i < j; ++i, --j)
        std::swap(code.bits[static_cast<std::size_t>(i)], code.bits[static_cast<std::size_t>(j)]);
    return code;
}

}  // namespace

ByteVector HuffmanEncode(ByteSpan plain) {
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
    for (std::uint8_t b : plain) {
        const Code& code = codes[b];
        for (int i = 0; i < code.length; ++i) bits.bit(code.bits[static_cast<std::size_t>(i)]);
    }
    // The seven zero padding bits only ever complete the last partial byte,
    // which BitWriter already holds as zeros.
    return out;
}

}  // namespace keldro
