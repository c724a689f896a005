#pragma once
// The volume arithmetic both formats share: the channel volume grid, the
// chorus-like effect types and the scaling of effect levels.
#include <cstdint>

namespace keldro {

// Channel volume (0 ... 127) moved by `db` decibels on the 32-step channel
// volume grid; a value above 127 is not a volume and stays as it is.
int relativeChannelVolume(int volume, double db);

// Effect blocks are 32 bytes, each starting with its 16-bit effect type; the
// level of the effect sits at byte 12.
inline constexpr int kEffectBlockSize = 32;
inline constexpr int kEffectLevelByte = 12;

inline int effectTypeOfBlock(const std::uint8_t* block) { return (block[0] << 8) | block[1]; }

// The chorus-like effect types, those "-e" (Regulate Chorus) changes: their
// level follows the volume change and the effect send under them moves the
// opposite way.
bool isChorusLikeEffect(int effectType);

// An effect level or send scaled by `factor`, kept within 1 ... 127: a
// regulated level never becomes 0, which would switch the effect off.
int scaleEffectLevel(int level, double factor);

}  // namespace keldro
