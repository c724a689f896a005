// The core for JavaScript: the byte-level interface of the conversion layer
// as the functions of the WebAssembly module (keldro.mjs + keldro.wasm).
// Uses only the conversion layer and the layers below it; every rule stays
// in C++, so the bytes, messages and result-log entries are keldro's.
//
//   convert(format, bytes, settings = {}, context = {})
//     format    "tavi" or "mfi" (or 0 / 1 as the C interface numbers them)
//     bytes     Uint8Array of one file
//     settings  { db, mg, mv, c1 ... c16, ca, regulate, normalize } named as
//               keldro-batch's options; numbers or texts as on its command
//               line. "normalize" (a target in dB) chooses the change itself.
//     context   { now: Date, input, output }: today's date for MFi files that
//               carry one and the time stamp of the log entry (default: now),
//               and the names the entry gives the input and the output.
//   -> { result, message, exitStatus, bytes, kind, changes, logEntry,
//        changeTenths (normalize only: the change applied, null if none) }
//
//   inspect(format, bytes)
//   -> { result, message, kind, kindText, maxGainDb, masterVolume,
//        channelVolume, peakDb } (null where the file has no such value)
//
//   modeOfName(name) -> "tavi", "mfi" or null;  notConvertibleReason
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <string>
#include <vector>

#include "conversion/ByteConversion.h"
#include "conversion/Normalization.h"
#include "conversion/ResultLog.h"

using emscripten::val;

namespace keldro::web {
namespace {

[[noreturn]] void throwError(const char* type, const std::string& text) { val::global(type).new_(text).throw_(); }

bool isGiven(const val& v) { return !v.isUndefined() && !v.isNull(); }

FileMode modeOf(const val& format) {
    if (format.isString()) {
        const std::string name = format.as<std::string>();
        if (name == "tavi") return FileMode::Tavi;
        if (name == "mfi") return FileMode::Mfi;
    } else if (format.isNumber()) {
        const double number = format.as<double>();
        if (number == 0) return FileMode::Tavi;
        if (number == 1) return FileMode::Mfi;
    }
    throwError("TypeError", "format must be \"tavi\" or \"mfi\"");
}

std::string modeName(FileMode mode) { return mode == FileMode::Tavi ? "tavi" : "mfi"; }

// A value as the command line would carry it: JavaScript's own text of it.
std::string textOf(const val& v) { return val::global("String")(v).as<std::string>(); }

ByteVector bytesOf(const val& bytes) {
    if (!bytes.instanceof(val::global("Uint8Array"))) throwError("TypeError", "bytes must be a Uint8Array");
    ByteVector out(bytes["length"].as<std::size_t>());
    val(emscripten::typed_memory_view(out.size(), out.data())).call<void>("set", bytes);
    return out;
}

val bytesToJs(const ByteVector& bytes) {
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

LocalDateTime localTimeOf(const val& context) {
    val date = isGiven(context) ? context["now"] : val::undefined();
    if (!isGiven(date)) date = val::global("Date").new_();
    LocalDateTime t;
    t.year = date.call<int>("getFullYear");
    t.month = date.call<int>("getMonth") + 1;
    t.day = date.call<int>("getDate");
    t.hour = date.call<int>("getHours");
    t.minute = date.call<int>("getMinutes");
    t.second = date.call<int>("getSeconds");
    return t;
}

std::string nameIn(const val& context, const char* key) {
    if (!isGiven(context) || !isGiven(context[key])) return "";
    return textOf(context[key]);
}

// The volume options in keldro-batch's order of its usage text; the
// controller settles which wins, as on the command line.
std::vector<VolumeOption> volumeOptionsOf(const val& settings) {
    std::vector<std::string> names = {"db", "mv", "mg"};
    for (int ch = 1; ch <= 16; ++ch) names.push_back("c" + std::to_string(ch));
    names.push_back("ca");
    std::vector<VolumeOption> options;
    for (const std::string& name : names) {
        const val v = settings[name];
        if (isGiven(v) && !(v.isString() && v.as<std::string>().empty())) options.push_back({name, textOf(v)});
    }
    return options;
}

val changesToJs(FileMode mode, const VolumeChangeList& changes) {
    val list = val::array();
    for (const VolumeChangeRecord& r : changes) {
        val c = val::object();
        c.set("track", r.track);
        c.set("channel", r.channel);
        c.set("beforeVolume", r.beforeVolume);
        c.set("afterVolume", r.afterVolume);
        c.set("beforeGain", r.beforeGain);
        c.set("afterGain", r.afterGain);
        c.set("beforeLevel", r.beforeLevel);
        c.set("afterLevel", r.afterLevel);
        c.set("action", r.action);
        c.set("position", static_cast<double>(r.position));
        c.set("seconds", changeSeconds(mode, r));
        list.call<void>("push", c);
    }
    return list;
}

val convert4(val format, val bytes, val settings, val context) {
    const FileMode mode = modeOf(format);
    const ByteVector input = bytesOf(bytes);
    if (!isGiven(settings)) settings = val::object();
    const LocalDateTime now = localTimeOf(context);
    const bool regulate = isGiven(settings["regulate"]) && settings["regulate"].as<bool>();
    const std::vector<VolumeOption> options = volumeOptionsOf(settings);

    ConversionOutcome o;
    val changeTenths = val::undefined();
    if (isGiven(settings["normalize"])) {
        const std::string targetText = textOf(settings["normalize"]);
        const std::optional<int> target = normalizeTargetTenths(targetText);
        if (!target) throwError("RangeError", "normalize needs a target from -60 to 60 dB, not \"" + targetText + "\"");
        if (!options.empty())
            throwError("TypeError", "normalize chooses the change itself: leave out db, mv, mg and the channel options");
        NormalizedOutcome n = normalizeBytes(mode, ByteSpan(input), *target, regulate, now);
        o = std::move(n.outcome);
        changeTenths = n.changeTenths ? val(*n.changeTenths) : val::null();
    } else {
        o = convertBytes(mode, ByteSpan(input), ConversionSettings{options, regulate}, now);
    }

    val out = val::object();
    out.set("result", resultNumber(o.result));
    out.set("message", o.message);
    out.set("exitStatus", o.exitStatus);
    out.set("bytes", bytesToJs(o.bytes));
    out.set("kind", o.kind);
    // The entry sorts its own copy of the changes; the list keeps the engine's order.
    out.set("logEntry", resultLogEntry(mode, o, regulate, nameIn(context, "input"), nameIn(context, "output"), now));
    out.set("changes", changesToJs(mode, o.changes));
    if (!changeTenths.isUndefined()) out.set("changeTenths", changeTenths);
    return out;
}

val convert2(val format, val bytes) { return convert4(format, bytes, val::object(), val::object()); }
val convert3(val format, val bytes, val settings) { return convert4(format, bytes, settings, val::object()); }

val optionalInt(const std::optional<int>& v) { return v ? val(*v) : val::null(); }

val inspect(val format, val bytes) {
    const FileMode mode = modeOf(format);
    const ByteVector input = bytesOf(bytes);
    const Inspection in = keldro::inspect(mode, ByteSpan(input));
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
    return mode ? val(modeName(*mode)) : val::null();
}

}  // namespace
}  // namespace keldro::web

EMSCRIPTEN_BINDINGS(keldro) {
    using namespace keldro::web;
    emscripten::function("convert", &convert2);
    emscripten::function("convert", &convert3);
    emscripten::function("convert", &convert4);
    emscripten::function("inspect", &inspect);
    emscripten::function("modeOfName", &modeOfName);
    emscripten::constant("notConvertibleReason", std::string(keldro::kNotConvertibleReason));
}
