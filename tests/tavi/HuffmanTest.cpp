#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tavi/Huffman.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

ByteVector bytesOf(std::string_view s) { return ByteVector(s.begin(), s.end()); }

// 24 symbols with counts 1, 1, 2, 3, 5, ... in shuffled order: 121 392 bytes.
ByteVector deepTreeBody() {
    ByteVector body;
    for (int symbol = 0, a = 1, b = 1; symbol < 24; ++symbol, std::swap(a, b), b += a)
        body.insert(body.end(), static_cast<std::size_t>(a), static_cast<std::uint8_t>(symbol * 11));
    std::shuffle(body.begin(), body.end(), std::mt19937(5));
    return body;
}

ByteVector expand(const ByteVector& packed) {
    ByteVector plain{0xEE};
    EXPECT_TRUE(huffmanDecode(packed, plain));
    return plain;
}

// "ABACAD": counts A3 B1 C1 D1. The heap pairs B with D first (the right
// child wins only when strictly smaller), then C with that node, then the
// pair with A, giving A=1, C=00, B=010, D=011.
TEST(Huffman, EncodesTieOrderExactlyAsWorkedOutByHand) {
    const ByteVector packed = huffmanEncode(bytesOf("ABACAD"));
    const ByteVector expected{0x00, 0x00, 0x00, 0x06, 0xC8, 0x72, 0x11, 0x10, 0x83, 0x52, 0xC0};
    EXPECT_EQ(packed, expected);
    EXPECT_EQ(expand(packed), bytesOf("ABACAD"));
}

TEST(Huffman, OneSymbolTreeHasNoCodeBits) {
    // Length 4, then the single leaf: bit 0 and 0x5A, padded.
    const ByteVector packed = huffmanEncode(bytesOf("ZZZZ"));
    EXPECT_EQ(packed, (ByteVector{0x00, 0x00, 0x00, 0x04, 0x2D, 0x00}));
    EXPECT_EQ(expand(packed), bytesOf("ZZZZ"));
    // The same tree expands to any length without further input.
    EXPECT_EQ(expand(ByteVector{0x00, 0x00, 0x01, 0x00, 0x2D, 0x00}), ByteVector(256, 'Z'));
}

TEST(Huffman, EmptyBodyUsesTheLeafOfByteZero) {
    const ByteVector packed = huffmanEncode({});
    EXPECT_EQ(packed, (ByteVector{0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(expand(packed).empty());
}

TEST(Huffman, RoundTripsVariedData) {
    std::mt19937 random(11);
    std::vector<ByteVector> inputs;
    ByteVector all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    inputs.push_back(all);
    ByteVector skewed(20000);
    std::geometric_distribution<int> geometric(0.3);
    for (auto& b : skewed) b = static_cast<std::uint8_t>(geometric(random) % 256);
    inputs.push_back(skewed);
    ByteVector fibonacci;  // counts 1,1,2,3,5,8,... build a deep tree
    for (int symbol = 0, a = 1, b = 1; symbol < 20; ++symbol, std::swap(a, b), b += a)
        fibonacci.insert(fibonacci.end(), static_cast<std::size_t>(a), static_cast<std::uint8_t>(symbol));
    inputs.push_back(fibonacci);
    inputs.push_back({0x00, 0xFF});
    // Long enough for the larger decode table, with codes of up to 23 bits
    // (longer than any table index) spread between the short ones.
    inputs.push_back(deepTreeBody());
    for (const ByteVector& input : inputs) EXPECT_EQ(expand(huffmanEncode(input)), input) << input.size();
}

// Bytes after the codes are not read, so the input does not stop the fast
// loop early: only its bound on the output keeps its two-byte stores inside.
// Each plain body goes into a fresh buffer of exactly its length, where the
// sanitizer sees any store past the end.
TEST(Huffman, BytesAfterTheCodesChangeNothing) {
    std::vector<ByteVector> inputs;
    const ByteVector text = bytesOf("ABACADABRA AND SO ON, A LINE OF TEXT THAT REPEATS ITSELF; ");
    for (std::size_t length = 1; length <= 40; ++length) inputs.emplace_back(text.begin(), text.begin() + length);
    // Two symbols: every lookup gives two bytes. Lengths of every remainder
    // modulo 8 end the fast loop with every amount of room left.
    std::mt19937 random(3);
    for (std::size_t length = 1000; length < 1008; ++length) {
        ByteVector paired(length);
        for (auto& b : paired) b = static_cast<std::uint8_t>(random() % 2);
        inputs.push_back(paired);
    }
    inputs.push_back(deepTreeBody());
    for (const ByteVector& input : inputs) {
        ByteVector packed = huffmanEncode(input);
        packed.insert(packed.end(), 16, 0xA5);
        ByteVector plain;
        EXPECT_TRUE(huffmanDecode(packed, plain)) << input.size();
        EXPECT_EQ(plain, input) << input.size();
    }
}

TEST(Huffman, RefusesDataThatCannotBeHonestlyExpanded) {
    const ByteVector abacad = huffmanEncode(bytesOf("ABACAD"));
    ByteVector truncatedCodes(abacad.begin(), abacad.end() - 2);
    const ByteVector deep = huffmanEncode(deepTreeBody());
    ByteVector truncatedDeep(deep.begin(), deep.end() - 3);
    ByteVector tooManyNodes{0x00, 0x00, 0x00, 0x01};
    tooManyNodes.insert(tooManyNodes.end(), 40, 0xFF);  // 320 internal-node bits
    ByteVector lengthBeyondBits = abacad;
    lengthBeyondBits[3] = 0xFF;  // 255 codes from a handful of bits
    const struct {
        const char* name;
        ByteVector packed;
    } cases[] = {
        {"empty", {}},
        {"length cut short", {0x00, 0x00, 0x01}},
        {"no tree", {0x00, 0x00, 0x00, 0x01}},
        {"leaf cut short", {0x00, 0x00, 0x00, 0x01, 0x2D}},
        {"codes cut short", truncatedCodes},
        {"codes of a deep tree cut short", truncatedDeep},
        {"more than 255 internal nodes", tooManyNodes},
        {"length the bits cannot hold", lengthBeyondBits},
        {"huge length", {0xFF, 0xFF, 0xFF, 0xFF, 0x2D, 0x00}},
        {"just above 16 MiB", {0x01, 0x00, 0x00, 0x01, 0x2D, 0x00}},
    };
    for (const auto& c : cases) {
        ByteVector plain;
        EXPECT_FALSE(huffmanDecode(c.packed, plain)) << c.name;
        EXPECT_TRUE(plain.empty()) << c.name;
    }
    ByteVector plain;
    EXPECT_TRUE(huffmanDecode(ByteVector{0x01, 0x00, 0x00, 0x00, 0x2D, 0x00}, plain));  // exactly 16 MiB
    EXPECT_EQ(plain.size(), kMaxPlainSequenceLength);
}

}  // namespace
}  // namespace keldro
