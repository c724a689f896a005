#include "conversion/CInterface.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "conversion/ByteConversion.h"

namespace keldro {
namespace {

// Copies text into a fixed array, cut to fit and always terminated.
template <std::size_t N>
void copyText(char (&to)[N], std::string_view text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.data(), n, to);
    to[n] = '\0';
}

bool formatOf(int format, FileMode& mode) {
    if (format != KELDRO_TAVI && format != KELDRO_MFI) return false;
    mode = format == KELDRO_TAVI ? FileMode::Tavi : FileMode::Mfi;
    return true;
}

keldro_change toC(const VolumeChangeRecord& r) {
    keldro_change c{};
    c.track = r.track;
    c.channel = r.channel;
    c.before_volume = r.beforeVolume;
    c.after_volume = r.afterVolume;
    c.before_gain = r.beforeGain;
    c.after_gain = r.afterGain;
    c.before_level = r.beforeLevel;
    c.after_level = r.afterLevel;
    c.action = r.action;
    c.position = r.position;
    c.timebase = r.timebase;
    c.gate_timebase = r.gateTimebase;
    return c;
}

ConversionSettings settingsOf(const keldro_settings* s, LocalDateTime& today) {
    ConversionSettings settings;
    if (s == nullptr) return settings;
    for (std::size_t i = 0; i < s->option_count; ++i) {
        const keldro_option& o = s->options[i];
        settings.volume.push_back({o.name ? o.name : "", o.value ? o.value : ""});
    }
    settings.regulateChorus = s->regulate_chorus != 0;
    today.year = s->year;
    today.month = s->month;
    today.day = s->day;
    return settings;
}

int convertForC(int format, const std::uint8_t* input, std::size_t inputSize, const keldro_settings* s,
                std::uint8_t* output, std::size_t outputCapacity, keldro_change* changes, std::size_t changeCapacity,
                keldro_outcome* outcome) {
    FileMode mode;
    if (outcome == nullptr || !formatOf(format, mode) || (input == nullptr && inputSize != 0) ||
        (s != nullptr && s->options == nullptr && s->option_count != 0))
        return KELDRO_INVALID;
    LocalDateTime today;
    const ConversionSettings settings = settingsOf(s, today);
    const ConversionOutcome o = convertBytes(mode, ByteSpan(input, inputSize), settings, today);
    *outcome = keldro_outcome{};
    outcome->result = resultNumber(o.result);
    outcome->exit_status = o.exitStatus;
    copyText(outcome->message, o.message);
    outcome->kind = o.kind;
    outcome->output_size = o.bytes.size();
    outcome->change_count = o.changes.size();
    if (o.bytes.size() > outputCapacity || o.changes.size() > changeCapacity) return KELDRO_TOO_SMALL;
    if ((output == nullptr && !o.bytes.empty()) || (changes == nullptr && !o.changes.empty())) return KELDRO_INVALID;
    std::copy(o.bytes.begin(), o.bytes.end(), output);
    std::transform(o.changes.begin(), o.changes.end(), changes, toC);
    return KELDRO_OK;
}

int inspectForC(int format, const std::uint8_t* input, std::size_t inputSize, keldro_levels* levels) {
    FileMode mode;
    if (levels == nullptr || !formatOf(format, mode) || (input == nullptr && inputSize != 0)) return KELDRO_INVALID;
    const Inspection in = inspectBytes(ByteSpan(input, inputSize), mode);
    *levels = keldro_levels{};
    levels->result = resultNumber(in.outcome);
    copyText(levels->message, in.message);
    levels->kind = in.kind;
    copyText(levels->kind_text, kindText(in));
    levels->has_max_gain = in.maxGainSteps.has_value();
    levels->max_gain_steps = in.maxGainSteps.value_or(0);
    levels->has_master_volume = in.masterVolume.has_value();
    levels->master_volume = in.masterVolume.value_or(0);
    levels->has_channel_volume = in.channelVolume.has_value();
    levels->channel_volume = in.channelVolume.value_or(0);
    levels->has_peak = in.peakTenths.has_value();
    levels->peak_tenths = in.peakTenths.value_or(0);
    return KELDRO_OK;
}

}  // namespace
}  // namespace keldro

extern "C" int keldro_convert(int format, const uint8_t* input, size_t input_size, const keldro_settings* settings,
                              uint8_t* output, size_t output_capacity, keldro_change* changes, size_t change_capacity,
                              keldro_outcome* outcome) {
    try {
        return keldro::convertForC(format, input, input_size, settings, output, output_capacity, changes,
                                   change_capacity, outcome);
    } catch (const std::bad_alloc&) {
        return KELDRO_NO_MEMORY;
    } catch (...) {
        return KELDRO_INVALID;
    }
}

extern "C" int keldro_inspect(int format, const uint8_t* input, size_t input_size, keldro_levels* levels) {
    try {
        return keldro::inspectForC(format, input, input_size, levels);
    } catch (const std::bad_alloc&) {
        return KELDRO_NO_MEMORY;
    } catch (...) {
        return KELDRO_INVALID;
    }
}
