#include "conversion/ResultLog.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string_view>
#include <utility>
#include <vector>

#include "volume/Result.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "volume/FileKinds.h"

namespace keldro {
namespace {

void appendKindCell(std::string& out, FileMode mode, int kind) {
    if (mode == FileMode::Tavi)
        out += isTaviGeneration(kind) ? taviKindText(kind) : "---";
    else
        out += isMfiVersion(kind) ? mfiKindText(kind) : "---";
    out += '\t';
}

// One table row, written into a buffer of its own and added to the entry at
// once: a long table is mostly rows, and its time went to the many small
// appends to a string (in WebAssembly above all). No row comes near the
// buffer's size: its widest cells are the seconds (at most 21 characters)
// and the relative change (at most 25).
class RowText {
public:
    RowText& operator+=(char c) {
        *end_++ = c;
        return *this;
    }
    RowText& operator+=(std::string_view s) {
        end_ = std::copy(s.begin(), s.end(), end_);
        return *this;
    }
    void decimal(long long value, int zeroPaddedWidth = 0) { end_ = writeDecimal(end_, value, zeroPaddedWidth); }
    std::string_view text() const { return {buffer_, static_cast<std::size_t>(end_ - buffer_)}; }

private:
    char buffer_[256];
    char* end_ = buffer_;
};

using keldro::appendDecimal;
void appendDecimal(RowText& out, long long value, int zeroPaddedWidth = 0) { out.decimal(value, zeroPaddedWidth); }

bool isChorusAction(int action) { return action >= 9 && action <= 12; }

// "<number>(<track>)" and "<number>(<track>:A)": a channel number and the track it is in.
void appendNumbered(RowText& out, long long number, std::string_view track, long long trackNumber,
                    std::string_view suffix = {}) {
    appendDecimal(out, number);
    out += '(';
    out += track;
    appendDecimal(out, trackNumber);
    out += suffix;
    out += ')';
}

// Track bytes the engines never produce have no column name: their cells print "---".
void appendChannelCell(RowText& out, FileMode mode, int kind, const VolumeChangeRecord& r) {
    const int t = r.track;
    const int c = r.channel;
    if (mode == FileMode::Tavi) {
        switch (kind) {
            case 2:
                if (t >= 1 && t <= 4) return appendNumbered(out, c + 4 * t - 3, "MTR", t);
                out += "ATR0";
                return;
            case 3: out += "MTR5"; return;
            case 5: out += "MTR6"; return;
            case 7:
                if (isChorusAction(r.action)) return appendNumbered(out, c + 1, "MTR", 7);
                out += "MTR7";
                return;
            default: out += "---"; return;
        }
    }
    switch (kind) {
        case 20:
            if (t <= 3) return appendNumbered(out, c + 4 * t + 1, "trac", t);
            out += t == 255 ? "ADPCM(trac0)" : "---";
            return;
        case 30:
        case 31: out += "trac0"; return;
        case 40:
            if (isChorusAction(r.action)) {
                if (c < 16) return appendNumbered(out, c + 4 * t + 1, "trac", t);
                return appendNumbered(out, c + 4 * t - 15, "trac", t, ":A");
            }
            out += "trac0";
            return;
        default: out += "---"; return;
    }
}

// "<before><mark>\t<after>\t" with the before value in brackets when `bracketed`.
void appendPair(RowText& out, int before, int after, std::string_view mark, bool bracketed = false) {
    if (bracketed) out += '[';
    appendDecimal(out, before);
    out += mark;
    if (bracketed) out += ']';
    out += '\t';
    appendDecimal(out, after);
    out += mark;
    out += '\t';
}

// TAVI positions count ticks of `timebase` milliseconds; MFi's are milliseconds.
std::uint64_t changeMilliseconds(FileMode mode, const VolumeChangeRecord& r) {
    if (mode == FileMode::Tavi) return static_cast<std::uint64_t>(r.timebase) * r.position;
    return r.position;
}

// The "Point[sec]" cell: "%.3f" of changeSeconds(). Below 2^40 ms the double
// ms * 0.001 lies within 2^-22 of ms / 1000, far inside the 0.0005 that
// would round it to another third decimal, so the digits are those of ms,
// written without printf (the slow part of a long table in WebAssembly).
void appendSecondsCell(RowText& out, FileMode mode, const VolumeChangeRecord& r) {
    const std::uint64_t milliseconds = changeMilliseconds(mode, r);
    if (milliseconds >= (std::uint64_t{1} << 40)) {
        std::string seconds;
        appendFixed(seconds, changeSeconds(mode, r), 3);
        out += seconds;
        return;
    }
    appendDecimal(out, static_cast<long long>(milliseconds / 1000));
    out += '.';
    appendDecimal(out, static_cast<long long>(milliseconds % 1000), 3);
}

// `relativeCell` is "Relative(<dB>dB)", the same on every row.
void appendRow(RowText& out, const LogContext& ctx, int kind, const VolumeChangeRecord& r, bool gain, bool level,
               const std::string& relativeCell) {
    const int a = r.action;
    appendSecondsCell(out, ctx.mode, r);
    out += '\t';
    appendChannelCell(out, ctx.mode, kind, r);
    out += '\t';
    out += a % 2 != 0 ? relativeCell : std::string_view("Absolute");
    out += '\t';
    if (a == 1 || a == 2) {
        appendDecimal(out, r.beforeVolume);
    } else if (a == 3) {
        out += '[';
        appendDecimal(out, r.beforeVolume);
        out += ']';
    } else {
        out += "---";
    }
    out += '\t';
    if (a >= 1 && a <= 4)
        appendDecimal(out, r.afterVolume);
    else
        out += "---";
    out += '\t';
    if (gain) {
        if (a == 5 || a == 6)
            appendPair(out, r.beforeGain, r.afterGain, "");
        else
            out += "---\t---\t";
    }
    if (level) {
        if (a == 7 || a == 8)
            appendPair(out, r.beforeLevel, r.afterLevel, "(R)");
        else if (a == 9 || a == 10)
            appendPair(out, r.beforeLevel, r.afterLevel, "(S)");
        else if (a == 11 || a == 12)
            appendPair(out, r.beforeLevel, r.afterLevel, "(S)", true);
        else
            out += "---\t---\t";
    }
    out += "\r\n";
}

// Where a long table goes while it is made: the text so far is handed on
// and `out` starts afresh (see streamLogEntry).
using Spill = std::function<void(std::string&)>;
constexpr std::size_t kSpillBytes = 64 << 10;

void appendTable(std::string& out, const LogContext& ctx, FileResult& result, const Spill* spill) {
    const int kind = result.kind;
    const bool gain = ctx.mode == FileMode::Tavi ? kind == 7 : kind != 20;
    const bool level = ctx.regulateChorus && (ctx.mode == FileMode::Tavi ? kind == 7 : kind == 40);
    out += "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume";
    if (gain) out += "\tBefore Gain\tAfter Gain";
    if (level) out += "\tBefore Level\tAfter Level";
    out += "\r\n";
    std::string relativeCell = "Relative(";
    appendFixed(relativeCell, ctx.dbTenths * 0.1, 1);
    relativeCell += "dB)";
    sortChangesByPosition(result.changes);
    for (const auto& r : result.changes) {
        if (r.action < 1 || r.action > 12) continue;
        if (r.action >= 7 && !ctx.regulateChorus) continue;
        RowText row;
        appendRow(row, ctx, kind, r, gain, level, relativeCell);
        out += row.text();
        if (spill && out.size() >= kSpillBytes) {
            (*spill)(out);
            out.clear();
        }
    }
}

}  // namespace

double changeSeconds(FileMode mode, const VolumeChangeRecord& r) {
    return static_cast<double>(changeMilliseconds(mode, r)) * 0.001;
}

// The log's order: ascending by position, and within one position the order
// a swap sort leaves ("for each slot n, for each later record i: if record i
// is before record n, swap them"), which is not the input order. A short list
// is sorted by that loop itself; a longer one gets the same order in
// O(n log n), so that a file with hundreds of thousands of changes cannot
// stall the log:
//
// Records of different positions come out ascending. Within one position p,
// take the records of position p or less in input order: each record of a
// smaller position turns the queue of p-records met so far by one (the front
// goes to the back), and each p-record joins the queue at its back. The queue
// at the end of the input is their order.
namespace {

// Lists of up to this many changes are sorted by the swap loop itself.
constexpr std::size_t kSwapSortLimit = 32;

// Counts over 0 ... n-1; also finds the k-th set slot.
class FenwickTree {
public:
    explicit FenwickTree(std::size_t n) : tree_(n + 1, 0) {}
    void add(std::size_t at, int delta) {
        for (std::size_t i = at + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
    }
    // Sum over [0, end).
    int prefix(std::size_t end) const {
        int sum = 0;
        for (std::size_t i = end; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }
    // The slot holding the k-th count (k from 0); every count is 0 or 1.
    std::size_t findKth(int k) const {
        std::size_t at = 0;
        std::size_t step = 1;
        while (step * 2 < tree_.size()) step *= 2;
        for (; step > 0; step /= 2) {
            if (at + step < tree_.size() && tree_[at + step] <= k) {
                at += step;
                k -= tree_[at];
            }
        }
        return at;
    }

private:
    std::vector<int> tree_;
};

// The queue of one position's records: member j (input order) joins at the
// back, then the queue turns left by turns[j]. Returns the members in queue order.
std::vector<std::size_t> queueOrder(const std::vector<std::size_t>& members, const std::vector<std::size_t>& turns) {
    // The queue as a line with a front index f: queue = line[f..] + line[..f].
    // Joining at the back inserts at f and moves f on; turning moves f. The
    // insertion places are replayed backwards to find each member's final slot.
    const std::size_t count = members.size();
    std::vector<std::size_t> insertAt(count);
    std::size_t front = 0;
    for (std::size_t j = 0; j < count; ++j) {
        insertAt[j] = front;
        const std::size_t size = j + 1;
        front = (front + 1 + turns[j] % size) % size;
    }
    FenwickTree free(count);
    for (std::size_t i = 0; i < count; ++i) free.add(i, 1);
    std::vector<std::size_t> line(count);
    for (std::size_t j = count; j-- > 0;) {
        const std::size_t slot = free.findKth(static_cast<int>(insertAt[j]));
        line[slot] = members[j];
        free.add(slot, -1);
    }
    std::vector<std::size_t> order;
    order.reserve(count);
    for (std::size_t i = 0; i < count; ++i) order.push_back(line[(front + i) % count]);
    return order;
}

// A file name in an entry: as it is, unless it holds a control character (a
// line break would split the entry or forge another): then every control
// character and backslash is spelt out, as the --inspect table does.
void appendName(std::string& out, const std::string& name) {
    if (hasControlCharacter(name))
        out += spelledOut(name, true);
    else
        out += name;
}

// Three numbers joined by `separator`, the first at least `firstWidth`
// digits wide and the others two, zeros in front.
void appendThreeNumbers(std::string& out, std::array<int, 3> numbers, int firstWidth, char separator) {
    appendDecimal(out, numbers[0], firstWidth);
    out += separator;
    appendDecimal(out, numbers[1], 2);
    out += separator;
    appendDecimal(out, numbers[2], 2);
}

}  // namespace

void sortChangesByPosition(VolumeChangeList& changes) {
    const std::size_t count = changes.size();
    const auto before = [&](std::size_t a, std::size_t b) { return changes[a].position < changes[b].position; };
    bool ascending = true;
    for (std::size_t i = 1; i < count && ascending; ++i) ascending = !before(i, i - 1);
    if (ascending) return;  // the swap loop would swap nothing
    // A short list (a file's usual few changes) takes the swap loop itself:
    // its few steps cost less than the bookkeeping below.
    if (count <= kSwapSortLimit) {
        for (std::size_t n = 0; n < count; ++n)
            for (std::size_t i = n + 1; i < count; ++i)
                if (before(i, n)) std::swap(changes[n], changes[i]);
        return;
    }

    // The order is worked out on record numbers, four bytes a record, and
    // the records are then moved into it in place: a list with a change at
    // every event of a long file is larger than the file, and no second copy
    // of it is made. (A record takes at least a byte of a file of at most
    // 4 GiB, so its number fits in 32 bits.)
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    // Ascending positions; input order within a position.
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return before(a, b); });

    FenwickTree smaller(count);  // records of the positions already placed
    std::vector<std::size_t> members;
    std::vector<std::size_t> turns;
    for (std::size_t g = 0; g < count;) {
        const std::uint64_t position = changes[order[g]].position;
        std::size_t end = g + 1;
        while (end < count && changes[order[end]].position == position) ++end;
        if (end == g + 1) {
            // A position of one record: its queue is that record (most positions).
            smaller.add(order[g], 1);
            g = end;
            continue;
        }
        members.assign(order.begin() + static_cast<std::ptrdiff_t>(g),
                       order.begin() + static_cast<std::ptrdiff_t>(end));
        // Records of smaller positions after each member, up to the next one.
        turns.assign(members.size(), 0);
        for (std::size_t j = 0; j < members.size(); ++j) {
            const std::size_t upTo = j + 1 < members.size() ? members[j + 1] : count;
            turns[j] = static_cast<std::size_t>(smaller.prefix(upTo) - smaller.prefix(members[j] + 1));
        }
        std::size_t at = g;
        for (std::size_t index : queueOrder(members, turns)) order[at++] = static_cast<std::uint32_t>(index);
        for (std::size_t index : members) smaller.add(index, 1);
        g = end;
    }
    // Record order[k] goes to slot k: each cycle of the permutation is
    // followed once, and a slot filled is marked by order[k] == k.
    for (std::size_t k = 0; k < count; ++k) {
        if (order[k] == k) continue;
        VolumeChangeRecord first = changes[k];
        std::size_t slot = k;
        while (order[slot] != k) {
            const std::size_t from = order[slot];
            changes[slot] = changes[from];
            order[slot] = static_cast<std::uint32_t>(slot);
            slot = from;
        }
        changes[slot] = first;
        order[slot] = static_cast<std::uint32_t>(slot);
    }
}

namespace {

// The entry's text into `out`; with a `spill`, what is left of it once the
// table has been handed on.
std::string buildEntry(const LogContext& ctx, FileResult& result, const LocalDateTime& now, const Spill* spill) {
    const bool ok = isSuccess(result.outcome);
    std::string out;
    out.reserve(256 + ctx.inputFileName.size() + ctx.outputFileName.size() +
                (spill ? kSpillBytes : 64 * result.changes.size()));
    out += "IN:";
    appendName(out, ctx.inputFileName);
    out += '\t';
    appendKindCell(out, ctx.mode, result.kind);
    out += ok ? "Result:OK\t" : "Result:NG\t";
    out += ok ? "Detail:" : "Error:";
    out += result.message;
    out += '(';
    appendDecimal(out, resultExitStatus(result.outcome));
    out += ")\tData:";
    // "%04d/%02d/%02d %02d:%02d:%02d"
    appendThreeNumbers(out, {now.year, now.month, now.day}, 4, '/');
    out += ' ';
    appendThreeNumbers(out, {now.hour, now.minute, now.second}, 2, ':');
    out += "\r\n";
    out += "OUT:";
    appendName(out, ctx.outputFileName);
    out += "\r\n";
    out.append(86, '=');
    out += "\r\n";
    if (result.outcome == Result::Converted) appendTable(out, ctx, result, spill);
    out += "\r\n";
    return out;
}

}  // namespace

std::string buildLogEntry(const LogContext& ctx, FileResult& result, const LocalDateTime& now) {
    return buildEntry(ctx, result, now, nullptr);
}

namespace {

ByteSpan bytesOf(const std::string& text) {
    return ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The log is replaced whole, like an output: an interrupted or failing write,
// or another run writing the same log, never leaves a torn one. The earlier
// entries (unless this is the run's first) go first, then what `entry` appends.
bool replaceLog(const std::string& path, bool first, const std::function<bool(SafeFileWriter&)>& entry) {
    // A log whose owner write bit is clear is read-only: it is not written, even by root.
    if (path.empty() || isReadOnly(path)) return false;
    ByteVector earlier;
    if (!first && !readWholeFile(path, earlier)) return false;
    SafeFileWriter log(path);
    log.append(ByteSpan(earlier));
    earlier = {};
    return entry(log) && log.commit();
}

}  // namespace

bool writeLogText(const std::string& path, const std::string& entry, bool first) {
    return replaceLog(path, first, [&entry](SafeFileWriter& log) { return log.append(bytesOf(entry)); });
}

bool streamLogEntry(const std::string& path, const LogContext& ctx, FileResult& result, const LocalDateTime& now,
                    bool first) {
    return replaceLog(path, first, [&](SafeFileWriter& log) {
        const Spill spill = [&log](std::string& text) { log.append(bytesOf(text)); };
        const std::string rest = buildEntry(ctx, result, now, &spill);
        return log.append(bytesOf(rest));
    });
}

}  // namespace keldro
