#include "mfivolume/ConversionPass.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "mfivolume/VolumeFile.h"
#include "mfivolume/Rules.h"
#include "platform/Version.h"
#include "volume/FileKinds.h"

namespace keldro::mfi {
namespace {

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
bool carryOver(VolumeFile& model, const Date& today, PassRoute route, bool& kept, bool eventsStand = false) {
    kept = route == PassRoute::KeepModelWhereExact &&
           (eventsStand ? model.headerRereadsAsWritten() : model.rereadsAsWritten());
    if (kept) return ok(model.analyseAgain());
    ByteVector bytes;
    if (!model.write(bytes, today)) return false;
    // The bytes hold all the step needs: the model goes before they are read,
    // so that two models are never held at once.
    model = VolumeFile();
    return ok(model.parse(bytes));
}

void applyVolumeRule(VolumeFile& model, int version, const VolumeSettings& settings) {
    if (version == kMfiVersion20)
        applyChannelVolumeRule(model, settings);
    else
        applyMaxGainRule(model, settings);
}

// "supt", "date" and "vers": the file keeps its version (the pass converts
// to the same version it reads); false when the file's "vers" is not that
// version or there is no date to stamp.
bool updateHeader(VolumeFile& model, int version, const Date* today) {
    Info& info = model.infoRecord();
    if (version != kMfiVersion20) info.supt.assign(std::string_view(programSupportText()));
    if (!today) return false;
    info.setDate(dateText(*today));
    const std::string_view vers = mfiVersText(version);
    if (!info.versIs(vers)) return false;
    info.setVers(vers);
    return true;
}

}  // namespace

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

// The three steps on the model of the input: re-encode, volume rule, header.
// `stamped` receives the converted file; `model` is left as its last step saw
// it, and `eventsKept` says that the volume rule's step went on with the model,
// whose events then read back as they are written.
Result convertModel(VolumeFile& model, int version, const VolumeSettings& settings, const Date* today, PassRoute route,
                    ByteVector& stamped, bool& eventsKept) {
    // The writer fills a malformed date with today's; without a date the
    // header update fails anyway, so any stand-in will do until then.
    const Date writerDate = today ? *today : Date{};
    // Re-encode: the input as the reader and writer see it.
    bool kept = false;
    if (!carryOver(model, writerDate, route, kept)) return Result::MfiStepFailed;
    // The volume rule of the version. It edits through the model's own edits
    // only: where the events read back as written before it, they still do
    // unless one of its inserts says otherwise.
    model.watchInserts();
    applyVolumeRule(model, version, settings);
    model.dropSearchLists();
    if (!carryOver(model, writerDate, route, eventsKept, kept && model.insertsKeptShape()))
        return Result::MfiStepFailed;
    if (!updateHeader(model, version, today) || !model.write(stamped, *today)) return Result::MfiStepFailed;
    return Result::Converted;
}

}  // namespace

Result runConversionPass(VolumeFile&& source, int version, std::size_t capacity, ConvertedFile& converted,
                         const VolumeSettings& settings, const Date* today, PassRoute route) {
    converted.bytes.clear();
    if (capacity == 0) return Result::MfiNoBuffer;
    if (mfiVersText(version).empty()) return Result::MfiStepFailed;

    VolumeFile model = std::move(source);
    ByteVector stamped;
    bool eventsKept = false;
    if (const Result pass = convertModel(model, version, settings, today, route, stamped, eventsKept); !ok(pass))
        return pass;
    if (stamped.size() > capacity) return Result::MfiOutputTooSmall;

    // Reading the converted bytes gives the last step's model where the model
    // says so. The header update touched no event: the events' half of that
    // check stands when the last step made it, and so do the indexes.
    const bool rereads = route == PassRoute::KeepModelWhereExact &&
                         (eventsKept ? model.headerRereadsAsWritten() : model.rereadsAsWritten());
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
