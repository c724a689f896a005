#include "batch/BatchOptions.h"

#include <algorithm>
#include <string_view>

#include "conversion/Normalization.h"
#include "volume/VolumeSettings.h"
#include "platform/Text.h"
#include "platform/Version.h"

namespace keldro::batch {
namespace {

// The volume options as keldro-batch spells them: lower case only.
bool isVolumeOption(std::string_view name) {
    return isVolumeOptionName(name) &&
           std::none_of(name.begin(), name.end(), [](char ch) { return ch >= 'A' && ch <= 'Z'; });
}

bool takesDecimal(std::string_view name) { return name == "db" || name == "mg" || name == "normalize"; }

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    ParsedOptions run() {
        bool onlyPaths = false;
        for (i_ = 0; i_ < args_.size() && result_.error.empty(); ++i_) {
            const std::string& a = args_[i_];
            if (onlyPaths || a.size() < 3 || a.compare(0, 2, "--") != 0) {
                if (a == "--")
                    onlyPaths = true;
                else
                    result_.options.paths.push_back(a);
                continue;
            }
            option(a.substr(2));
        }
        if (result_.error.empty()) checkCombinations();
        return result_;
    }

private:
    void option(const std::string& body) {
        const std::size_t eq = body.find('=');
        const std::string name = body.substr(0, eq);
        std::optional<std::string> inlineValue;
        if (eq != std::string::npos) inlineValue = body.substr(eq + 1);
        BatchOptions& o = result_.options;
        if (name == "help" || name == "version" || name == "regulate" || name == "inspect" || name == "csv") {
            if (inlineValue) return fail("--" + name + " takes no value");
            if (name == "help") o.help = true;
            if (name == "version") o.version = true;
            if (name == "regulate") o.regulate = true;
            if (name == "inspect") o.inspect = true;
            if (name == "csv") o.csv = true;
            return;
        }
        if (!isVolumeOption(name) && name != "out" && name != "jobs" && name != "normalize")
            return fail("unknown option --" + name);
        std::string value;
        if (!valueOf(name, inlineValue, value)) return;
        if (takesDecimal(name) && !isDecimalText(value))
            return fail("--" + name + " needs a number, not \"" + value + "\"");
        if ((name == "mv" || name == "jobs" || channelEntryOf(name) >= 0) && !isWholeNumberText(value))
            return fail("--" + name + " needs a whole number, not \"" + value + "\"");
        if (name == "out") {
            if (value.empty()) return fail("--out needs a folder");
            o.outDir = value;
        } else if (name == "jobs") {
            o.jobs = atoiSaturating(value);
            if (o.jobs < 1) return fail("--jobs needs at least 1");
            if (o.jobs > kMaxJobs) return fail("--jobs needs at most " + std::to_string(kMaxJobs));
        } else if (name == "normalize") {
            o.normalizeTenths = normalizeTargetTenths(value);
            if (!o.normalizeTenths) return fail("--normalize needs a target from -60 to 60 dB, not \"" + value + "\"");
        } else {
            o.volume.push_back({name, value});
        }
    }

    // The value is "--name=value" or the next argument, taken verbatim (so "--db -3" works).
    bool valueOf(const std::string& name, const std::optional<std::string>& inlineValue, std::string& value) {
        if (inlineValue) {
            value = *inlineValue;
            return true;
        }
        if (i_ + 1 >= args_.size()) {
            fail("--" + name + " needs a value");
            return false;
        }
        value = args_[++i_];
        return true;
    }

    void checkCombinations() {
        const BatchOptions& o = result_.options;
        if (o.help || o.version) return;
        if (o.paths.empty()) return fail("no file or folder given");
        if (o.normalizeTenths && !o.volume.empty())
            return fail("--normalize chooses the change itself: leave out --db, --mv, --mg and the channel options");
        if (o.csv && !o.inspect) return fail("--csv goes with --inspect");
    }

    void fail(const std::string& message) { result_.error = message; }

    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
    ParsedOptions result_;
};

}  // namespace

ParsedOptions parseBatchOptions(const std::vector<std::string>& args) { return Parser(args).run(); }

std::string usageText() {
    return "Usage: keldro-batch [--db X | --mg X | --mv N | --c1 N ... --c16 N | --ca N] [--regulate]\n"
           "                    [--out DIR] [--jobs N] [--inspect [--csv]] [--normalize TARGET_DB] PATH...\n"
           "\n"
           "Converts every TAVI (.mmf) and MFi (.mld) file among PATH (folders are walked recursively)\n"
           "exactly as keldro does, into DIR (default KELDRO_Output) with the same folder structure,\n"
           "and writes one result file DIR/KELDRO_result.txt. Inputs are never modified.\n"
           "\n"
           "  --db X            relative change in dB (-60 ... 60); wins over the absolute options\n"
           "  --mv N            master volume (0 ... 127), TAVI files only\n"
           "  --mg X            MaxGain in dB (-12 ... 0, 0.5 dB steps)\n"
           "  --c1 N ... --c16 N, --ca N\n"
           "                    channel and ADPCM volumes (0 ... 127 TAVI, 0 ... 63 MFi)\n"
           "  --regulate        also regulate chorus (distortion/compressor) levels\n"
           "  --out DIR         output folder (default KELDRO_Output)\n"
           "  --jobs N          number of files converted at once (default: number of processors)\n"
           "  --inspect         write nothing; print kind, MaxGain, loudest volumes and peak level\n"
           "  --csv             with --inspect: print CSV instead of a table\n"
           "  --normalize T     change every file so that its peak level becomes T dB; files\n"
           "                    already within 0.5 dB of T are copied unchanged\n"
           "  --help            print this text\n"
           "  --version         print the version\n"
           "\n"
           "Without volume options the change is 0.0 dB. Exit status: 0 when no file failed,\n"
           "1 when any file failed, 2 for a command line error.\n";
}

// The build passes the project's version; keldro's -v prints the same three
// numbers from its file version, so the two programs of a release agree.
static_assert(KELDRO_VERSION_MAJOR == kFileVersion.major && KELDRO_VERSION_MINOR == kFileVersion.minor &&
                  KELDRO_VERSION_PATCH == kFileVersion.build,
              "the project version in CMakeLists.txt and the file version in platform/Version.h differ");

std::string versionText() { return std::string("keldro-batch ") + KELDRO_VERSION + "\n"; }

}  // namespace keldro::batch
