// The core for JavaScript: the byte-level interface of the conversion layer
// as the functions of the WebAssembly module (keldro.mjs + keldro.wasm).
// Uses only the conversion layer and the layers below it; every rule stays
// in C++, so the bytes, messages and result-log entries are keldro's.
//
// The functions a program calls (convert, inspect, modeOfName,
// notConvertibleReason, maxInputBytes; their shapes are in keldro.d.ts) are
// JavaScript in pre.js: they read and check every argument and copy the
// input into the module's memory, then call the plain functions below.
// Nothing here throws to JavaScript: an error thrown there while C++ objects
// are alive would skip their destructors and leak their memory. Memory
// running out inside (std::bad_alloc, unwound with WebAssembly's exceptions)
// ends as the programs end it: the file could not be read.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "conversion/ByteConversion.h"
#include "conversion/FileInspection.h"
#include "conversion/Normalization.h"
#include "conversion/ResultLog.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "volume/Result.h"

using emscripten::val;

namespace keldro::web {
namespace {

// The largest input the module takes, refused in pre.js before any memory is
// taken for it. A conversion's memory grows with its input: at most 52 bytes
// per input byte measured (a VQ-2 file that is one volume change every 4
// bytes: the engine's change records, the log entry's table and the columns
// copied out), 64 with room to spare, within the memory the module may grow
// to (-sMAXIMUM_MEMORY, CMakeLists.txt). Inspecting takes less.
constexpr std::uint64_t kMemoryPerInputByte = 64;
constexpr auto kMaxInputBytes = static_cast<std::uint32_t>(KELDRO_WASM_MAXIMUM_MEMORY / kMemoryPerInputByte);

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// Why `text` is no value of the setting `name`, or "" when it is one: what
// keldro-batch refuses on its command line, in the setting's own name.
std::string settingError(const std::string& name, const std::string& text) {
    if (name == "normalize") {
        if (!isDecimalText(text)) return "normalize needs a number, not " + quoted(text);
        if (!normalizeTargetTenths(text)) return "normalize needs a target from -60 to 60 dB, not " + quoted(text);
    } else if (name == "mv" || channelEntryOf(name) >= 0) {
        if (!isWholeNumberText(text)) return name + " needs a whole number, not " + quoted(text);
    } else if (!isDecimalText(text)) {
        return name + " needs a number, not " + quoted(text);
    }
    return "";
}

// The input the JavaScript side copied into the module's memory.
ByteSpan inputOf(const val& request) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(request["data"].as<std::uintptr_t>());
    return ByteSpan(data, request["length"].as<std::size_t>());
}

FileMode modeOf(const val& request) { return request["mode"].as<int>() == 1 ? FileMode::Mfi : FileMode::Tavi; }

LocalDateTime localTimeOf(const val& date) {
    LocalDateTime t;
    t.year = date[0].as<int>();
    t.month = date[1].as<int>();
    t.day = date[2].as<int>();
    t.hour = date[3].as<int>();
    t.minute = date[4].as<int>();
    t.second = date[5].as<int>();
    return t;
}

// Names and texts alternate: [name, text, name, text, ...], in keldro-batch's order.
std::vector<VolumeOption> volumeOptionsOf(const val& list) {
    const std::size_t count = list["length"].as<std::size_t>();
    std::vector<VolumeOption> options;
    options.reserve(count / 2);
    for (std::size_t i = 0; i + 1 < count; i += 2)
        options.push_back({list[i].as<std::string>(), list[i + 1].as<std::string>()});
    return options;
}

// A JavaScript typed array with its own copy of `values`. No memory of the
// module is taken between making the view and copying it, so the view stays
// on the current buffer.
template <typename T>
val typedArrayOf(const char* arrayType, const std::vector<T>& values) {
    return val::global(arrayType).new_(emscripten::typed_memory_view(values.size(), values.data()));
}

// A Uint8Array with its own copy of `count` bytes from `data`.
val bytesToJs(const std::uint8_t* data, std::size_t count) {
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(count, data));
}

// The change records as columns, one typed array per field, filled in one
// pass: a file can hold hundreds of thousands of changes, and an object for
// each costs more than the conversion.
val changesToJs(FileMode mode, const VolumeChangeList& changes) {
    const std::size_t n = changes.size();
    static constexpr const char* kByteFields[] = {"track",      "channel",   "beforeVolume", "afterVolume",
                                                  "beforeGain", "afterGain", "beforeLevel",  "afterLevel"};
    std::vector<std::uint8_t> bytes(8 * n);  // the byte fields one after another, n each
    std::vector<std::int32_t> action(n);
    std::vector<double> position(n);
    std::vector<double> seconds(n);
    for (std::size_t i = 0; i < n; ++i) {
        const VolumeChangeRecord& r = changes[i];
        const std::uint8_t fields[] = {r.track,      r.channel,   r.beforeVolume, r.afterVolume,
                                       r.beforeGain, r.afterGain, r.beforeLevel,  r.afterLevel};
        for (std::size_t f = 0; f < 8; ++f) bytes[f * n + i] = fields[f];
        action[i] = r.action;
        position[i] = static_cast<double>(r.position);
        seconds[i] = changeSeconds(mode, r);
    }
    val c = val::object();
    c.set("length", n);
    for (std::size_t f = 0; f < 8; ++f) c.set(kByteFields[f], bytesToJs(bytes.data() + f * n, n));
    c.set("action", typedArrayOf("Int32Array", action));
    c.set("position", typedArrayOf("Float64Array", position));
    c.set("seconds", typedArrayOf("Float64Array", seconds));
    return c;
}

// What keldro and keldro-batch make of a file that does not fit in memory:
// one that could not be read, with nothing found in it.
ConversionOutcome outOfMemory() {
    ConversionOutcome o;
    o.result = Result::FileReadError;
    o.message = std::string(resultMessage(o.result));
    o.exitStatus = resultExitStatus(o.result);
    return o;
}

val conversionToJs(FileMode mode, const ConversionOutcome& o, const val& request, bool regulate,
                   const LocalDateTime& now) {
    val out = val::object();
    out.set("result", resultNumber(o.result));
    out.set("message", o.message);
    out.set("exitStatus", o.exitStatus);
    out.set("bytes", bytesToJs(o.bytes.data(), o.bytes.size()));
    out.set("kind", o.kind);
    // The entry sorts its own copy of the changes; the columns keep the engine's
    // order. Its UTF-8 goes out as bytes: pre.js decodes a long table faster.
    const std::string entry =
        resultLogEntry(mode, o, regulate, request["input"].as<std::string>(), request["output"].as<std::string>(), now);
    out.set("logEntry", bytesToJs(reinterpret_cast<const std::uint8_t*>(entry.data()), entry.size()));
    out.set("changes", changesToJs(mode, o.changes));
    return out;
}

// request: { mode (0 TAVI, 1 MFi), data, length, options: [name, text, ...],
// regulate, normalize (a checked target text, or null), date: [year, month,
// day, hour, minute, second], input, output }, every value checked.
val convertChecked(val request) {
    const FileMode mode = modeOf(request);
    const ByteSpan input = inputOf(request);
    const LocalDateTime now = localTimeOf(request["date"]);
    const bool regulate = request["regulate"].as<bool>();
    const val normalize = request["normalize"];
    try {
        if (normalize.isNull())
            return conversionToJs(
                mode, convertBytes(mode, input, ConversionSettings{volumeOptionsOf(request["options"]), regulate}, now),
                request, regulate, now);
        const int target = normalizeTargetTenths(normalize.as<std::string>()).value_or(0);
        const NormalizedOutcome n = normalizeBytes(mode, input, target, regulate, now);
        val out = conversionToJs(mode, n.outcome, request, regulate, now);
        out.set("changeTenths", n.changeTenths ? val(*n.changeTenths) : val::null());
        return out;
    } catch (const std::bad_alloc&) {
        // Everything the conversion held is freed by now.
        val out = conversionToJs(mode, outOfMemory(), request, regulate, now);
        if (!normalize.isNull()) out.set("changeTenths", val::null());
        return out;
    }
}

val optionalInt(const std::optional<int>& v) { return v ? val(*v) : val::null(); }

// request: { mode, data, length } as for convertChecked. Inspected as
// keldro-batch --inspect inspects a file it has read, memory running out included.
val inspectChecked(val request) {
    const Inspection in = inspectReadBytes(inputOf(request), modeOf(request));
    val out = val::object();
    out.set("result", resultNumber(in.outcome));
    out.set("message", in.message);
    out.set("kind", in.kind);
    out.set("kindText", kindText(in));
    out.set("maxGainDb", in.maxGainSteps ? val(*in.maxGainSteps * -0.5) : val::null());
    out.set("masterVolume", optionalInt(in.masterVolume));
    out.set("channelVolume", optionalInt(in.channelVolume));
    out.set("peakDb", in.peakTenths ? val(*in.peakTenths * 0.1) : val::null());
    return out;
}

val modeOfName(std::string name) {
    const std::optional<FileMode> mode = modeOfPath(name);
    if (!mode) return val::null();
    return val(*mode == FileMode::Tavi ? "tavi" : "mfi");
}

}  // namespace
}  // namespace keldro::web

// The checked functions are taken over by pre.js, which removes them from
// the module; modeOfName and notConvertibleReason are the module's own.
EMSCRIPTEN_BINDINGS(keldro) {
    using namespace keldro::web;
    emscripten::function("settingError", &settingError);
    emscripten::function("convertChecked", &convertChecked);
    emscripten::function("inspectChecked", &inspectChecked);
    emscripten::function("modeOfName", &modeOfName);
    emscripten::constant("notConvertibleReason", std::string(keldro::kNotConvertibleReason));
    emscripten::constant("maxInputBytes", kMaxInputBytes);
}
