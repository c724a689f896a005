#pragma once
// The program's file version and this release's build stamp, as constants so
// that every build prints the same version line (reproducible builds).

namespace keldro {

struct FileVersion {
    int major;
    int minor;
    int build;
    int revision;
};

inline constexpr FileVersion kFileVersion{1, 1, 0, 2};
inline constexpr const char* kBuildDate = "Feb  6 2006";  // as __DATE__ forms it
inline constexpr const char* kBuildTime = "18:33:19";     // as __TIME__ forms it

}  // namespace keldro
