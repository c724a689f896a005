// The MFi model: read any bytes, analyse, write with a fixed date, read the
// written file again and write it once more. What the writer produced must
// read back, and writing that model again must give the same bytes.
#include <cstdint>
#include <cstdlib>

#include "mfi/MfiFile.h"
#include "mfivolume/MfiVolumeFile.h"

using namespace keldro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MfiDate today{2024, 2, 29};
    MfiVolumeFile file;
    if (file.read(ByteSpan(data, size)) != 0) return 0;
    (void)file.analyse();

    ByteVector first;
    if (file.write(first, today) != 0) return 0;

    MfiVolumeFile reread;
    if (reread.read(ByteSpan(first)) != 0) std::abort();
    (void)reread.analyse();
    ByteVector second;
    if (reread.write(second, today) != 0) std::abort();
    if (second != first) std::abort();
    return 0;
}
