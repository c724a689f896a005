#pragma once
// The kind of a file as results, logs and --inspect show it: the chip
// generation of a TAVI file (2, 3, 5, 7 for VQ-2 ... VQ-7) or the version of
// an MFi file (20, 30, 31, 40 for 2.0 ... 4.0).
#include <string>
#include <string_view>

namespace keldro {

inline constexpr int kMfiVersion20 = 20;
inline constexpr int kMfiVersion30 = 30;
inline constexpr int kMfiVersion31 = 31;
inline constexpr int kMfiVersion40 = 40;

bool isTaviGeneration(int kind);
bool isMfiVersion(int kind);

// An MFi header names its version in four ASCII digits ("0200", "0300",
// "0301", "0400"). The version those digits name, 0 for any other text.
int mfiVersionOfVers(std::string_view vers);
// The four digits of a version; empty for anything but the four versions.
std::string_view mfiVersText(int version);

// "TAVI/VQ-7" and "MFi/3.1"; the kind is printed as it is, unchecked.
std::string taviKindText(int generation);
std::string mfiKindText(int version);

}  // namespace keldro
