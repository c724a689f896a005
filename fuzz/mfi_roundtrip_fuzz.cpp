// The MFi model: read any bytes, analyse, write with a fixed date, read the
// written file again and write it once more. What the writer produced must
// read back, and writing that model again must give the same bytes. Two
// models are written in a form the reader refuses, by design: one without a
// "note" sub-chunk (written with the value 0) and one with an audio item
// that has an empty part (left out, while "ainf" keeps its count).
#include <cstdint>
#include <cstdlib>

#include "mfi/File.h"
#include "mfivolume/VolumeFile.h"

using namespace keldro::mfi;

using namespace keldro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const mfi::Date today{2024, 2, 29};
    mfi::VolumeFile file;
    if (!ok(file.read(ByteSpan(data, size)))) return 0;
    (void)file.analyse();

    ByteVector first;
    if (!file.write(first, today)) return 0;

    bool readable = file.infoRecord().note == 1;
    for (int i = 0; i < file.body().audioCount(); ++i) {
        const mfi::AudioData* item = file.body().audio(i);
        if (item->audioHeaderSize() == 0 || item->audioDataSize() == 0) readable = false;
    }
    mfi::VolumeFile reread;
    const Result again = reread.read(ByteSpan(first));
    if (!readable) return 0;
    if (!ok(again)) std::abort();
    (void)reread.analyse();
    ByteVector second;
    if (!reread.write(second, today)) std::abort();
    if (second != first) std::abort();
    return 0;
}
