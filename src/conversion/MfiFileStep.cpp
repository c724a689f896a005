#include "conversion/MfiFileStep.h"

#include <optional>
#include <string_view>

#include "volume/ResultCodes.h"
#include "conversion/ConversionJob.h"
#include "mfivolume/ChangeReport.h"
#include "mfivolume/ConversionPass.h"
#include "mfivolume/StepFailures.h"
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
    int wrongInputCode() const override { return kNoMfiFile; }

    int convert(ConversionJob& job, JobHost* host, ByteSpan input, FileResult& result, ByteVector& output) override {
        job.clearChanges();
        mfi::VolumeFile source;
        const int read = source.parse(input);
        if (read != 0) return job.reportFile(result, mfiFailureToResultCode(read));
        const std::optional<MfiVersion> version = supportedVersion(source.infoRecord());
        if (!version) return job.reportFile(result, kMfiNonsupportVersion);
        result.kind = version->version;

        ByteVector work(2 * input.size() + 200, 0);
        const std::optional<mfi::Date> today = todaysDate(job);
        const int length = convertMfi(input.data(), static_cast<std::int64_t>(input.size()), version->format, work.data(),
                                      static_cast<std::int64_t>(work.size()), version->format, host,
                                      today ? &*today : nullptr);
        if (length <= 0) return job.reportFile(result, mfiFailureToResultCode(length));
        work.resize(static_cast<std::size_t>(length));

        mfi::VolumeFile converted;
        const int reread = converted.parse(work);
        if (reread != 0) return job.reportFile(result, mfiFailureToResultCode(reread));

        VolumeChangeList changes;
        const int outcome = version->version == kMfiVersion20
                                ? reportChannelVolumeChanges(version->version, source, converted, host, changes)
                                : reportMaxGainChanges(version->version, source, converted, host, changes);
        if (outcome != 0 && outcome != -1) {
            addChanges(job, changes);
            return job.reportFile(result, -outcome);
        }
        reportEffectChanges(version->version, source, converted, host, changes);
        addChanges(job, changes);
        job.reportFile(result, -outcome);
        result.changes = job.changes();
        if (outcome == 0) output = std::move(work);
        return result.status;
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

// Each step failure has its own write-error result.
static_assert(kMfiWriteLast - kMfiWriteFirst + 1 == kMfiStepFailureCodes);

int mfiFailureToResultCode(int failure) {
    if (failure <= kMfiStepFailed && failure > kMfiStepFailed - kMfiStepFailureCodes)
        return kMfiWriteFirst + (kMfiStepFailed - failure);
    if (failure >= -975 && failure <= -969) return kMfiNonsupportFileId + (failure + 975);
    if (failure >= -967 && failure <= -962) return kMfiAudioCount + (failure + 967);
    return kNoMfiFile;
}

}  // namespace keldro
