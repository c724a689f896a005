#pragma once
// Failures of the MFi volume steps (the rules and the conversion pass), apart
// from the reader's own codes. The conversion maps the eight codes from
// kMfiStepFailed down to kMfiStepFailed - 7 to its write-error results.

namespace keldro::mfi {

inline constexpr int kMfiStepFailed = -1000;
inline constexpr int kMfiStepOutputTooSmall = -1001;
inline constexpr int kMfiStepNoBuffer = -1003;
inline constexpr int kMfiStepFailureCodes = 8;

}  // namespace keldro::mfi
