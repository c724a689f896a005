#include "conversion/MfiFileStep.h"

#include <optional>
#include <string_view>

#include "volume/Result.h"
#include "conversion/ConversionJob.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/VolumeFile.h"
#include "platform/Clock.h"
#include "volume/FileKinds.h"

using namespace keldro::mfi;

namespace keldro {
namespace {

struct MfiVersion {
    int version;  // 20, 30, 31, 40 as the result log shows it
    int format;   // handset format code of the conversion pass
};

std::optional<MfiVersion> supportedVersion(const mfi::Info& info) {
    const int version = mfiVersionOfVers(info.versText());
    if (version == 0) return std::nullopt;
    return MfiVersion{version, formatOfMfiVersion(version)};
}

class MfiFileStep final : public FileEngineStep {
public:
    FileMode mode() const override { return FileMode::Mfi; }
    std::string_view extension() const override { return ".mld"; }
    Result wrongInput() const override { return Result::NoMfiFile; }

    Result convert(ConversionJob& job, const VolumeSettings&, JobHost* host, ByteSpan input, FileResult& result,
                   ByteVector& output) override {
        job.clearChanges();
        mfi::VolumeFile source;
        if (const Result read = source.parse(input); !ok(read)) return job.reportFile(result, read);
        const std::optional<MfiVersion> version = supportedVersion(source.infoRecord());
        if (!version) return job.reportFile(result, Result::MfiNonsupportVersion);
        result.kind = version->version;

        // The report compares the converted file with the input's volume
        // points, taken now: the pass then converts the input's model itself.
        const InputVolumes before(source, InputVolumes::contentsFor(version->version, host));
        // The converted file may take twice the input and 200 bytes.
        const std::size_t capacity = 2 * input.size() + 200;
        const std::optional<mfi::Date> today = todaysDate(job);
        ConvertedFile converted;
        const Result pass = runConversionPass(input, std::move(source), version->format, version->format, capacity,
                                              converted, host, today ? &*today : nullptr);
        if (!ok(pass)) return job.reportFile(result, pass);
        // The second read of the converted file, made by the pass where its
        // model cannot tell; its failure fails the file.
        if (!ok(converted.reread)) return job.reportFile(result, converted.reread);

        VolumeChangeList changes;
        const Result outcome =
            version->version == kMfiVersion20
                ? reportChannelVolumeChanges(version->version, before, converted.model, host, changes)
                : reportMaxGainChanges(version->version, before, converted.model, host, changes);
        if (!isSuccess(outcome)) {
            addChanges(job, changes);
            return job.reportFile(result, outcome);
        }
        reportEffectChanges(version->version, before, converted.model, host, changes);
        // The model has served: let it go before the records are copied to the job.
        converted.model = mfi::VolumeFile();
        addChanges(job, changes);
        job.reportFile(result, outcome);
        result.changes = std::move(changes);  // the job's list holds the same records
        if (outcome == Result::Converted) output = std::move(converted.bytes);
        return outcome;
    }

private:
    static void addChanges(ConversionJob& job, const VolumeChangeList& changes) {
        for (const VolumeChangeRecord& record : changes) job.addChange(record);
    }

    // The engine reads no clock: today's date comes from the job's clock and
    // is passed in.
    static std::optional<mfi::Date> todaysDate(const ConversionJob& job) {
        LocalDateTime now;
        if (!job.now(now)) return std::nullopt;
        return mfi::Date{now.year, now.month, now.day};
    }
};

}  // namespace

std::unique_ptr<FileEngineStep> makeMfiFileStep() { return std::make_unique<MfiFileStep>(); }

}  // namespace keldro
