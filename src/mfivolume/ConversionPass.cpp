#include "mfivolume/ConversionPass.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "mfivolume/VolumeFile.h"
#include "mfivolume/Rules.h"
#include "platform/Version.h"
#include "volume/FileKinds.h"

namespace keldro::mfi {
namespace {

// The handsets the pass knows; the names only label the rows.
struct HandsetFormat {
    int code;
    const char* name;
    int family;
};

constexpr std::array<HandsetFormat, 8> kHandsetFormats = {{
    {1, "N503", 1},
    {2, "N504", 2},
    {3, "N505", 3},
    {4, "N506", 3},
    {5, "MFi/N900", 3},
    {6, "MFi/N901", 4},
    {7, "MFi/N902", 4},
    {8, "N2102", 2},
}};

// Conversions are only permitted within one handset format.
constexpr std::array<std::array<int, 2>, 8> kPermittedPairs = {
    {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}}};

const HandsetFormat* formatRow(int code) {
    for (const HandsetFormat& row : kHandsetFormats)
        if (row.code == code) return &row;
    return nullptr;
}

bool isPermittedPair(int source, int target) {
    return std::any_of(kPermittedPairs.begin(), kPermittedPairs.end(),
                       [&](const std::array<int, 2>& pair) { return pair[0] == source && pair[1] == target; });
}

bool familiesFit(int source, int target) {
    switch (source) {
        case 1: return target == 1;
        case 2: return target == 2 || target == 3;
        case 3: return target == 3;
        case 4: return target == 4;
        default: return false;
    }
}

int generationOfFamily(int family) {
    switch (family) {
        case 1: return 1;
        case 2: return 2;
        case 3: return 3;
        case 4: return 5;
        default: return -1;
    }
}

// "vers" text of a generation; empty outside 1 ... 5.
std::string_view versionOfGeneration(int generation) {
    switch (generation) {
        case 1: return mfiVersText(kMfiVersion20);
        case 2: return mfiVersText(kMfiVersion30);
        case 3: return mfiVersText(kMfiVersion31);
        case 4:
        case 5: return mfiVersText(kMfiVersion40);
        default: return {};
    }
}

std::string dateText(const Date& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
    return text;
}

// Each step of the pass reads the file the previous step wrote. Where those
// bytes would read back as the model itself (File::rereadsAsWritten), the
// step goes on with the model; otherwise it writes and reads them, as the
// step always did. Either way it sees the model a read would give and fails
// where the read fails.
// `kept` says whether the model went on as it was. `eventsStand`: the events
// are known to read back as written, so only the header needs a look.
bool carryOver(VolumeFile& model, const Date& today, bool& kept, bool eventsStand = false) {
    kept = eventsStand ? model.headerRereadsAsWritten() : model.rereadsAsWritten();
    if (kept) return ok(model.analyseAgain());
    ByteVector bytes;
    if (!model.write(bytes, today)) return false;
    // The bytes hold all the step needs: the model goes before they are read,
    // so that two models are never held at once.
    model = VolumeFile();
    return ok(model.parse(bytes));
}

RuleSettings ruleSettings(const PassSettings& settings) {
    RuleSettings rule;
    rule.relative = settings.relative;
    rule.db = settings.db;
    rule.absolute = settings.absolute;
    rule.maxGainSteps = settings.maxGainSteps;
    rule.channelValues = settings.channelValues;
    rule.regulate = settings.regulate;
    return rule;
}

void applyVolumeRule(VolumeFile& model, int targetFormat, const PassSettings& settings) {
    const RuleSettings rule = ruleSettings(settings);
    if (targetFormat == kFormatMfi20)
        applyChannelVolumeRule(model, rule);
    else
        applyMaxGainRule(model, rule);
}

// "supt", "date" and "vers" of the target format; false when the source's
// version is not the one its format says or the target has none.
bool updateHeader(VolumeFile& model, const HandsetFormat& source, const HandsetFormat& target, const Date* today) {
    const int sourceGeneration = generationOfFamily(source.family);
    const int targetGeneration = generationOfFamily(target.family);
    Info& info = model.infoRecord();
    if (targetGeneration != 1) info.supt.assign(std::string_view(programSupportText()));
    if (!today) return false;
    info.setDate(dateText(*today));
    if (sourceGeneration >= 1 && sourceGeneration <= 5 && !info.versIs(versionOfGeneration(sourceGeneration)))
        return false;
    const std::string_view targetVersion = versionOfGeneration(targetGeneration);
    if (targetVersion.empty()) return false;
    info.setVers(targetVersion);
    return true;
}

}  // namespace

int formatOfMfiVersion(int version) {
    switch (version) {
        case kMfiVersion20: return kFormatMfi20;
        case kMfiVersion30: return kFormatMfi30;
        case kMfiVersion31: return kFormatMfi31;
        case kMfiVersion40: return kFormatMfi40;
        default: return 0;
    }
}

PassSettings snapshotSettings(JobHost* host) {
    PassSettings settings;
    if (!host) return settings;
    const bool absolute = host->isAbsoluteMode();
    settings.relative = absolute ? 0 : 1;
    settings.absolute = absolute ? 1 : 0;
    settings.db = host->dbTenths() * 0.1;
    settings.maxGainSteps = host->maxGainSteps();
    settings.masterVolume = host->masterVolume();
    for (int entry = 0; entry < static_cast<int>(settings.channelValues.size()); ++entry)
        settings.channelValues[static_cast<std::size_t>(entry)] = host->channelValue(entry);
    settings.regulate = host->isRegulateChorus() ? 1 : 0;
    return settings;
}

const char* programSupportText() {
    static const std::string text = [] {
        char version[48];
        std::snprintf(version, sizeof version, "Ver.%d.%d.%d", kFileVersion.major, kFileVersion.minor,
                      kFileVersion.build);
        return std::string("KELDRO ") + version;
    }();
    return text.c_str();
}

namespace {

// The formats of a pass, once the pair is known to be permitted.
struct PassFormats {
    const HandsetFormat* source = nullptr;
    const HandsetFormat* target = nullptr;
};

// The checks every pass starts with: MfiNoBuffer for empty input or output,
// MfiStepFailed for a pair of formats that cannot be converted.
Result checkPass(ByteSpan input, std::size_t capacity, int sourceFormat, int targetFormat, PassFormats& formats) {
    if (input.empty() || capacity == 0) return Result::MfiNoBuffer;
    formats.source = formatRow(sourceFormat);
    formats.target = formatRow(targetFormat);
    if (!isPermittedPair(sourceFormat, targetFormat) || !formats.source || !formats.target ||
        !familiesFit(formats.source->family, formats.target->family))
        return Result::MfiStepFailed;
    return Result::Converted;
}

// The three steps on the model of the input: re-encode, volume rule, header.
// `stamped` receives the converted file; `model` is left as its last step saw
// it, and `eventsKept` says that the volume rule's step went on with the model,
// whose events then read back as they are written.
Result convertModel(VolumeFile& model, const PassFormats& formats, int targetFormat, const PassSettings& settings,
                    const Date* today, ByteVector& stamped, bool& eventsKept) {
    // The writer fills a malformed date with today's; without a date the
    // header update fails anyway, so any stand-in will do until then.
    const Date writerDate = today ? *today : Date{};
    // Re-encode: the input as the reader and writer see it.
    bool kept = false;
    if (!carryOver(model, writerDate, kept)) return Result::MfiStepFailed;
    // The volume rule of the target format. It edits through the model's
    // own edits only: where the events read back as written before it, they
    // still do unless one of its inserts says otherwise.
    model.watchInserts();
    applyVolumeRule(model, targetFormat, settings);
    model.dropSearchLists();
    if (!carryOver(model, writerDate, eventsKept, kept && model.insertsKeptShape())) return Result::MfiStepFailed;
    // The header of the target format.
    if (!updateHeader(model, *formats.source, *formats.target, today) || !model.write(stamped, *today))
        return Result::MfiStepFailed;
    return Result::Converted;
}

}  // namespace

Result runConversionPass(ByteSpan input, int sourceFormat, int targetFormat, std::span<std::uint8_t> output,
                         std::size_t& length, JobHost* host, const Date* today) {
    length = 0;
    const PassSettings settings = snapshotSettings(host);
    PassFormats formats;
    if (const Result checked = checkPass(input, output.size(), sourceFormat, targetFormat, formats); !ok(checked))
        return checked;

    VolumeFile model;
    if (!ok(model.parse(input))) return Result::MfiStepFailed;
    ByteVector stamped;
    bool eventsKept = false;
    if (const Result pass = convertModel(model, formats, targetFormat, settings, today, stamped, eventsKept); !ok(pass))
        return pass;

    if (stamped.size() > output.size()) return Result::MfiOutputTooSmall;
    std::copy(stamped.begin(), stamped.end(), output.begin());
    length = stamped.size();
    return Result::Converted;
}

Result runConversionPass(ByteSpan input, const VolumeFile& source, int sourceFormat, int targetFormat,
                         std::size_t capacity, ConvertedFile& converted, JobHost* host, const Date* today) {
    // The same model a read of the input gives, indexes included.
    VolumeFile model = source;
    return runConversionPass(input, std::move(model), sourceFormat, targetFormat, capacity, converted, host, today);
}

Result runConversionPass(ByteSpan input, VolumeFile&& source, int sourceFormat, int targetFormat, std::size_t capacity,
                         ConvertedFile& converted, JobHost* host, const Date* today) {
    converted.bytes.clear();
    const PassSettings settings = snapshotSettings(host);
    PassFormats formats;
    if (const Result checked = checkPass(input, capacity, sourceFormat, targetFormat, formats); !ok(checked))
        return checked;

    VolumeFile model = std::move(source);
    ByteVector stamped;
    bool eventsKept = false;
    if (const Result pass = convertModel(model, formats, targetFormat, settings, today, stamped, eventsKept); !ok(pass))
        return pass;
    if (stamped.size() > capacity) return Result::MfiOutputTooSmall;

    // Reading the converted bytes gives the last step's model where the model
    // says so. The header update touched no event: the events' half of that
    // check stands when the last step made it, and so do the indexes.
    const bool rereads = eventsKept ? model.headerRereadsAsWritten() : model.rereadsAsWritten();
    if (rereads) {
        converted.model = std::move(model);
        converted.reread = converted.model.analyseAgain();
    } else {
        model = VolumeFile();  // the one model held at a time
        converted.model = VolumeFile();
        converted.reread = converted.model.parse(stamped);
    }
    converted.bytes = std::move(stamped);
    return Result::Converted;
}

}  // namespace keldro::mfi
