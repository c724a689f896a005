#include "batch/BatchReport.h"

#include <algorithm>
#include <array>
#include <map>

#include "volume/Result.h"
#include "platform/Text.h"

namespace keldro::batch {
namespace {

constexpr std::size_t kColumns = 7;
using Row = std::array<std::string, kColumns>;

const Row kHeader = {"File", "Kind", "MaxGain[dB]", "Master", "Channel", "Peak[dB]", "Note"};
const Row kCsvHeader = {"file", "kind", "maxgain_db", "master_volume", "channel_volume", "peak_db", "error"};

std::string tenthsText(int tenths) { return formatText("%.1f", tenths * 0.1); }

std::string orDash(const std::optional<int>& value, std::string (*text)(int)) { return value ? text(*value) : "-"; }
std::string numberText(int value) { return std::to_string(value); }
std::string gainText(int steps) { return tenthsText(-5 * steps); }

Row rowOf(const BatchItem& item, const Inspection& in) {
    return {item.input,
            kindText(in),
            orDash(in.maxGainSteps, gainText),
            orDash(in.masterVolume, numberText),
            orDash(in.channelVolume, numberText),
            orDash(in.peakTenths, tenthsText),
            in.ok() ? std::string() : in.message};
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char ch : text) {
        if (ch == '"') quoted += '"';
        quoted += ch;
    }
    return quoted + "\"";
}

// A failure's message, with what the system ran short of where that failed the file.
std::string failureText(const std::string& message, Shortage shortage) {
    switch (shortage) {
        case Shortage::None: break;
        case Shortage::OpenFiles: return message + " (too many open files)";
        case Shortage::Memory: return message + " (out of memory)";
    }
    return message;
}

void addUnreadable(FailureGroups& failures, const BatchInputs& inputs) {
    for (const std::string& p : inputs.unreadable) failures.add(std::string(resultMessage(Result::FileReadError)), p);
}

// A name as one line of the table: tabs, line breaks and backslashes spelt
// out (\t, \n, \r, \\), so a name cannot break the columns or the lines.
std::string tableText(const std::string& name) { return spelledOut(name); }

}  // namespace

void FailureGroups::add(const std::string& message, std::string_view path) {
    auto [it, added] = paths.try_emplace(message);
    if (added) order.push_back(message);
    it->second.push_back(path);
}

std::size_t FailureGroups::count() const {
    std::size_t n = 0;
    for (const auto& [message, list] : paths) n += list.size();
    return n;
}

std::string FailureGroups::text() const {
    std::string out;
    for (const std::string& message : order) {
        const std::vector<std::string_view>& list = paths.at(message);
        out += formatText("  %6zu  %s\n", list.size(), message.c_str());
        for (std::string_view p : list) {
            out += "            ";
            out += p;
            out += '\n';
        }
    }
    return out;
}

std::string inspectionTable(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows) {
    const std::size_t count = std::min(items.size(), rows.size());
    // Each row's text is made twice, once for the widths and once for the
    // line, rather than held for every file until the widths are known.
    const auto tableRow = [&](std::size_t i) {
        Row r = rowOf(items[i], rows[i]);
        r[0] = tableText(r[0]);
        return r;
    };
    std::array<std::size_t, kColumns> width{};
    const auto widen = [&width](const Row& r) {
        for (std::size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], r[c].size());
    };
    widen(kHeader);
    for (std::size_t i = 0; i < count; ++i) widen(tableRow(i));
    std::string out;
    const auto addLine = [&](const Row& r) {
        std::string line;
        for (std::size_t c = 0; c < kColumns; ++c) {
            // Names left-aligned, numbers right-aligned, the note as it is.
            const std::size_t pad = width[c] - r[c].size();
            if (c == kColumns - 1)
                line += r[c];
            else if (c < 2)
                line += r[c] + std::string(pad, ' ') + "  ";
            else
                line += std::string(pad, ' ') + r[c] + "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    };
    addLine(kHeader);
    for (std::size_t i = 0; i < count; ++i) addLine(tableRow(i));
    return out;
}

std::string inspectionCsv(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows) {
    auto line = [](const Row& r) {
        std::string out;
        for (std::size_t c = 0; c < kColumns; ++c) out += (c ? "," : "") + csvField(r[c]);
        return out + "\n";
    };
    std::string out = line(kCsvHeader);
    for (std::size_t i = 0; i < items.size() && i < rows.size(); ++i) {
        Row r = rowOf(items[i], rows[i]);
        for (std::size_t c = 2; c < 6; ++c)
            if (r[c] == "-") r[c].clear();  // an empty field reads as "no value" in spreadsheets
        out += line(r);
    }
    return out;
}

std::string skippedText(const BatchInputs& inputs) {
    std::string out;
    for (const SkippedPath& s : inputs.skipped) out += "skipped: " + s.path + " (" + s.reason + ")\n";
    for (const std::string& p : inputs.unreadable) out += "cannot read: " + p + "\n";
    return out;
}

ConversionSummary::ConversionSummary(bool normalize) : normalize_(normalize) {}

void ConversionSummary::add(const BatchItem& item, const FileOutcome& o) {
    if (o.failed())
        failures_.add(failureText(o.message, o.shortage), item.input);
    else if (o.result == Result::Converted)
        ++converted_;
    else
        ++unchanged_;
    if (normalize_ && !o.failed()) {
        const std::string change =
            o.changeTenths ? formatText("%+.1f dB", *o.changeTenths * 0.1) : std::string("unchanged");
        if (changes_.empty()) changes_ = "Change per file:\n";
        changes_ += formatText("  %-10s  %s\n", change.c_str(), item.input.c_str());
    }
}

std::string ConversionSummary::take(const BatchInputs& inputs) {
    FailureGroups& failures = failures_;
    addUnreadable(failures, inputs);
    // The per-file lines become the text itself: they are not copied.
    std::string out = std::move(changes_);
    out += formatText("Converted: %zu\nUnchanged: %zu\nFailed:    %zu\n", converted_, unchanged_, failures.count());
    out += failures.text();
    if (!inputs.skipped.empty()) out += formatText("Skipped:   %zu\n", inputs.skipped.size());
    return out;
}

std::string inspectionSummary(const std::vector<BatchItem>& items, const std::vector<Inspection>& rows,
                              const BatchInputs& inputs, const std::vector<Shortage>& shortages) {
    FailureGroups failures;
    std::size_t inspected = 0;
    for (std::size_t i = 0; i < items.size() && i < rows.size(); ++i) {
        if (rows[i].ok())
            ++inspected;
        else
            failures.add(failureText(rows[i].message, i < shortages.size() ? shortages[i] : Shortage::None),
                         items[i].input);
    }
    addUnreadable(failures, inputs);
    std::string out = formatText("Inspected: %zu\nFailed:    %zu\n", inspected, failures.count());
    out += failures.text();
    if (!inputs.skipped.empty()) out += formatText("Skipped:   %zu\n", inputs.skipped.size());
    return out;
}

}  // namespace keldro::batch
