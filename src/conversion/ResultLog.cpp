#include "conversion/ResultLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "app/ResultCodes.h"
#include "platform/Text.h"

namespace keldro {
namespace {

bool isTaviKind(int kind) { return kind == 2 || kind == 3 || kind == 5 || kind == 7; }
bool isMfiKind(int kind) { return kind == 20 || kind == 30 || kind == 31 || kind == 40; }

std::string kindCell(FileMode mode, int kind) {
    if (mode == FileMode::Tavi) return isTaviKind(kind) ? formatText("TAVI/VQ-%d\t", kind) : "---\t";
    return isMfiKind(kind) ? formatText("MFi/%1.1f\t", kind * 0.1) : "---\t";
}

std::string pointCell(FileMode mode, const VolumeChangeRecord& r) {
    if (mode == FileMode::Tavi) {
        std::uint64_t ticks = static_cast<std::uint64_t>(r.timebase & 0xFF) * r.position;
        return formatText("%.3lf", static_cast<double>(ticks) * 0.001);
    }
    return formatText("%.3lf", static_cast<double>(r.position) * 0.001);
}

bool isChorusAction(int action) { return action >= 9 && action <= 12; }

// Cells the Part leaves undefined (track bytes the engines never produce) print "---".
std::string channelCell(FileMode mode, int kind, const VolumeChangeRecord& r) {
    const int t = r.track;
    const int c = r.channel;
    if (mode == FileMode::Tavi) {
        switch (kind) {
            case 2:
                if (t >= 1 && t <= 4) return formatText("%d(MTR%d)", c + 4 * t - 3, t);
                return "ATR0";
            case 3: return "MTR5";
            case 5: return "MTR6";
            case 7:
                if (isChorusAction(r.action)) return formatText("%d(MTR7)", c + 1);
                return "MTR7";
            default: return "---";
        }
    }
    switch (kind) {
        case 20:
            if (t <= 3) return formatText("%d(trac%d)", c + 4 * t + 1, t);
            if (t == 255) return "ADPCM(trac0)";
            return "---";
        case 30:
        case 31: return "trac0";
        case 40:
            if (isChorusAction(r.action)) {
                if (c < 16) return formatText("%d(trac%d)", c + 4 * t + 1, t);
                return formatText("%d(trac%d:A)", c + 4 * t - 15, t);
            }
            return "trac0";
        default: return "---";
    }
}

void appendRow(std::string& out, const LogContext& ctx, int kind, const VolumeChangeRecord& r, bool gain,
               bool level) {
    const int a = r.action;
    out += pointCell(ctx.mode, r) + "\t";
    out += channelCell(ctx.mode, kind, r) + "\t";
    out += (a % 2 != 0) ? formatText("Relative(%.1fdB)", ctx.dbTenths * 0.1) : std::string("Absolute");
    out += "\t";
    if (a == 1 || a == 2) out += formatText("%d", r.beforeVolume);
    else if (a == 3) out += formatText("[%d]", r.beforeVolume);
    else out += "---";
    out += "\t";
    out += (a >= 1 && a <= 4) ? formatText("%d", r.afterVolume) : std::string("---");
    out += "\t";
    if (gain) {
        out += (a == 5 || a == 6) ? formatText("%d\t%d\t", r.beforeGain, r.afterGain) : std::string("---\t---\t");
    }
    if (level) {
        if (a == 7 || a == 8) out += formatText("%d(R)\t%d(R)\t", r.beforeLevel, r.afterLevel);
        else if (a == 9 || a == 10) out += formatText("%d(S)\t%d(S)\t", r.beforeLevel, r.afterLevel);
        else if (a == 11 || a == 12) out += formatText("[%d(S)]\t%d(S)\t", r.beforeLevel, r.afterLevel);
        else out += "---\t---\t";
    }
    out += "\r\n";
}

void appendTable(std::string& out, const LogContext& ctx, FileResult& result) {
    const int kind = result.kind;
    const bool gain = ctx.mode == FileMode::Tavi ? kind == 7 : kind != 20;
    const bool level = ctx.regulateChorus && (ctx.mode == FileMode::Tavi ? kind == 7 : kind == 40);
    out += "Point[sec]\tChannel/Track\tAction\tBefore Volume\tAfter Volume";
    if (gain) out += "\tBefore Gain\tAfter Gain";
    if (level) out += "\tBefore Level\tAfter Level";
    out += "\r\n";
    sortChangesByPosition(result.changes);
    for (const auto& r : result.changes) {
        if (r.action < 1 || r.action > 12) continue;
        if (r.action >= 7 && !ctx.regulateChorus) continue;
        appendRow(out, ctx, kind, r, gain, level);
    }
}

}  // namespace

void sortChangesByPosition(VolumeChangeList& changes) {
    const std::size_t count = changes.size();
    for (std::size_t n = 0; n < count; ++n)
        for (std::size_t i = n; i < count; ++i)
            if (changes[i].position < changes[n].position) std::swap(changes[n], changes[i]);
}

std::string buildLogEntry(const LogContext& ctx, FileResult& result, const LocalDateTime& now) {
    const bool ok = result.status == 0 || result.status == -1;
    std::string out = "IN:" + ctx.inputFileName + "\t";
    out += kindCell(ctx.mode, result.kind);
    out += std::string("Result:") + (ok ? "OK" : "NG") + "\t";
    out += std::string(ok ? "Detail:" : "Error:") + result.message;
    out += formatText("(%d)", resultExitStatus(-result.status)) + "\t";
    out += formatText("Data:%04d/%02d/%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour, now.minute,
                      now.second);
    out += "\r\n";
    if (ctx.console) out += "OUT:" + ctx.outputFileName + "\r\n";
    out += std::string(86, '=') + "\r\n";
    if (result.status == 0) appendTable(out, ctx, result);
    out += "\r\n";
    return out;
}

int writeLogText(const std::string& path, const std::string& entry, bool first) {
    constexpr int kFailed = -25;
    if (path.empty()) return kFailed;
    // Like the Windows original, a read-only log (owner write bit clear) cannot be opened for writing.
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0) return kFailed;
    int flags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | (first ? (O_CREAT | O_TRUNC) : O_APPEND);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kFailed;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kFailed;
    }
    ssize_t n;
    do {
        n = ::write(fd, entry.data(), entry.size());
    } while (n < 0 && errno == EINTR);
    bool ok = n >= 0 && static_cast<std::size_t>(n) == entry.size();
    if (::close(fd) != 0) ok = false;
    return ok ? 0 : kFailed;
}

}  // namespace keldro
