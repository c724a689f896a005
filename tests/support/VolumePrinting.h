#pragma once
// Test failures show results by number and message and the change records
// and settings field by field, every byte as a number (gtest would print a
// byte as a character, and a struct or enum class as "N-byte object <..>").
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "PlatformPrinting.h"  // beside this header: benchmarks include the builders by path
#include "volume/Result.h"
#include "volume/VolumeChangeRecord.h"
#include "volume/VolumeSettings.h"

namespace keldro {

inline void PrintTo(Result r, std::ostream* os) { *os << resultNumber(r) << " \"" << resultMessage(r) << "\""; }

// An action code with its meaning: "5 (MaxGain relative)"; a code outside
// 1 ... 12 is "no change".
inline void printAction(std::int32_t action, std::ostream* os) {
    static constexpr const char* kNames[] = {"volume",       "inserted volume", "MaxGain",
                                             "effect depth", "chorus send",     "chorus send before a note"};
    *os << action << " (";
    if (action >= kActionVolumeRelative && action <= kActionChorusBeforeNoteAbsolute)
        *os << kNames[static_cast<std::size_t>((action - 1) / 2)] << (action % 2 == 1 ? " relative" : " absolute");
    else
        *os << "no change";
    *os << ")";
}

inline void PrintTo(ActionCode action, std::ostream* os) { printAction(action, os); }

inline void PrintTo(const VolumeChangeRecord& r, std::ostream* os) {
    *os << "{track " << int{r.track} << ", channel " << int{r.channel} << ", volume " << int{r.beforeVolume} << "->"
        << int{r.afterVolume} << ", gain " << int{r.beforeGain} << "->" << int{r.afterGain} << ", level "
        << int{r.beforeLevel} << "->" << int{r.afterLevel} << ", action ";
    printAction(r.action, os);
    *os << ", position " << r.position << ", timebase " << int{r.timebase} << ", gate timebase " << int{r.gateTimebase}
        << "}";
}

// The channel entries print only where a value is given or set: "channel 5 80
// (given)"; entry 16 is the ADPCM entry.
inline void PrintTo(const VolumeSettings& s, std::ostream* os) {
    *os << "{" << (s.absoluteMode ? "absolute" : "relative") << " (" << s.absoluteMode << "), dB tenths " << s.dbTenths
        << ", master volume " << s.masterVolume << ", MaxGain tenths " << s.maxGainTenths;
    for (std::size_t e = 0; e < s.channelVolume.size(); ++e) {
        if (s.channelVolume[e] == 0 && s.channelGiven[e] == 0) continue;
        if (e == kAdpcmEntry)
            *os << ", ADPCM ";
        else
            *os << ", channel " << e + 1 << " ";
        *os << s.channelVolume[e] << (s.channelGiven[e] ? " (given)" : " (not given)");
    }
    *os << "}";
}

}  // namespace keldro
