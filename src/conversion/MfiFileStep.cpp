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

class MfiFileStep final : public FileEngineStep {
public:
    FileMode mode() const override { return FileMode::Mfi; }
    std::string_view extension() const override { return ".mld"; }
    Result wrongInput() const override { return Result::NoMfiFile; }
    std::size_t headBytes() const override { return mfi::kFileHeadBytes; }
    Result checkHead(ByteSpan head, std::uint64_t size) const override { return mfi::checkFileHead(head, size); }

    Result convert(ConversionJob& job, const VolumeSettings& settings, ByteSpan input, FileResult& result,
                   ByteVector& output) override {
        mfi::VolumeFile source;
        if (const Result read = source.parse(input); !ok(read)) return job.reportFile(result, read);
        const int version = mfiVersionOfVers(source.infoRecord().versText());
        if (version == 0) return job.reportFile(result, Result::MfiNonsupportVersion);
        result.kind = version;

        // The report compares the converted file with the input's volume
        // points, taken now: the pass then converts the input's model itself.
        const InputVolumes before(source, InputVolumes::contentsFor(version, settings));
        // The converted file may take twice the input and 200 bytes.
        const std::size_t capacity = 2 * input.size() + 200;
        const std::optional<mfi::Date> today = todaysDate(job);
        ConvertedFile converted;
        const Result pass =
            runConversionPass(std::move(source), version, capacity, converted, settings, today ? &*today : nullptr);
        if (!ok(pass)) return job.reportFile(result, pass);
        // The second read of the converted file, made by the pass where its
        // model cannot tell; its failure fails the file.
        if (!ok(converted.reread)) return job.reportFile(result, converted.reread);

        VolumeChangeList changes;
        const ChangeSink sink = job.changesWanted() ? ChangeSink(changes) : ChangeSink::counting();
        const Result outcome = version == kMfiVersion20
                                   ? reportChannelVolumeChanges(version, before, converted.model, settings, sink)
                                   : reportMaxGainChanges(before, converted.model, settings, sink);
        // A file the report fails keeps no records.
        if (!isSuccess(outcome)) return job.reportFile(result, outcome);
        reportEffectChanges(version, before, converted.model, settings, sink);
        job.reportFile(result, outcome);
        result.changes = std::move(changes);
        if (outcome == Result::Converted) output = std::move(converted.bytes);
        return outcome;
    }

private:
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
