#include <gtest/gtest.h>

#include <random>

#include "support/TaviChunkBuilder.h"
#include "tavi/Crc16.h"

using namespace keldro::tavi;

namespace keldro {
namespace {

TEST(Crc16, CheckValueAndEmptyInput) {
    const std::string_view check = "123456789";
    EXPECT_EQ(crc16(ByteSpan(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())), 0xD64E);
    EXPECT_EQ(crc16({}), 0x0000);  // initial value inverted
}

TEST(Crc16, TableMatchesBitwiseDefinitionOnEveryByteValue) {
    ByteVector data(4096);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i < 256 ? i : random());
    // Lengths around the 16-byte steps of the fast loop as well.
    for (std::size_t length : {1u, 2u, 15u, 16u, 17u, 33u, 255u, 256u, 4095u, 4096u})
        EXPECT_EQ(crc16(ByteSpan(data).first(length)), tavitest::referenceCrc16(ByteSpan(data).first(length)))
            << length;
}

TEST(Crc16, StreamInPiecesEqualsOnePass) {
    ByteVector data(1000);
    std::mt19937 random(11);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
    const std::uint16_t whole = tavitest::referenceCrc16(data);
    for (std::size_t split : {0u, 1u, 7u, 16u, 500u, 999u, 1000u}) {
        Crc16Stream crc;
        crc.add(ByteSpan(data).first(split));
        crc.add(ByteSpan(data).subspan(split));
        EXPECT_EQ(crc.value(), whole) << split;
    }
}

}  // namespace
}  // namespace keldro
