// The MFi model: read any bytes, analyse, write with a fixed date, read the
// written file again and write it once more. What the writer produced must
// read back, and writing that model again must give the same bytes. Two
// models are written in a form the reader refuses, by design: one without a
// "note" sub-chunk (written with the value 0) and one with an audio item
// that has an empty part (left out, while "ainf" keeps its count). Where the
// model says its bytes read back as itself (rereadsAsWritten), the events read
// back must be the model's, field for field.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "mfi/File.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

using namespace keldro;

namespace {

bool sameEvents(const mfi::File& a, const mfi::File& b) {
    if (a.body().trackCount() != b.body().trackCount()) return false;
    for (int t = 0; t < a.body().trackCount(); ++t) {
        const auto& x = a.body().track(t)->events();
        const auto& y = b.body().track(t)->events();
        if (x.size() != y.size()) return false;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const mfi::Event& e = x[i];
            const mfi::Event& f = y[i];
            if (e.time() != f.time() || e.status() != f.status() || e.byte1() != f.byte1() ||
                e.extMark() != f.extMark() || e.param1() != f.param1() || e.param2() != f.param2() ||
                !std::equal(e.extData().begin(), e.extData().end(), f.extData().begin(), f.extData().end()))
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const mfi::Date today{2024, 2, 29};
    mfi::VolumeFile file;
    if (!ok(file.read(ByteSpan(data, size)))) return 0;
    (void)file.analyse();

    const bool claimed = file.rereadsAsWritten();
    ByteVector first;
    if (!file.write(first, today)) {
        if (claimed) std::abort();
        return 0;
    }

    bool readable = file.infoRecord().note == 1;
    for (int i = 0; i < file.body().audioCount(); ++i) {
        const mfi::AudioData* item = file.body().audio(i);
        if (item->audioHeaderSize() == 0 || item->audioDataSize() == 0) readable = false;
    }
    mfi::VolumeFile reread;
    const Result again = reread.read(ByteSpan(first));
    if (claimed && !readable) std::abort();
    if (!readable) return 0;
    if (!ok(again)) std::abort();
    if (claimed && !sameEvents(file, reread)) std::abort();
    (void)reread.analyse();
    ByteVector second;
    if (!reread.write(second, today)) std::abort();
    if (second != first) std::abort();
    return 0;
}
