#pragma once
// Status bytes of MFi track events, shared by the decoder, the classifier, the
// writer and the volume engine.
#include <cstdint>

namespace keldro::mfi::bytes {

inline constexpr std::uint8_t kStatusEscape = 0x7F;  // five-, four-byte or block events
inline constexpr std::uint8_t kStatusShort = 0xFF;   // short events, or a block after a second 0xFF
inline constexpr std::uint8_t kBlockMark = 0xFF;     // second byte that marks a length-prefixed block
inline constexpr std::uint8_t kBlockLead = 0x11;     // first byte of every classified data block

}  // namespace keldro::mfi::bytes
