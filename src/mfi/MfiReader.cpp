#include "mfi/MfiFile.h"

namespace keldro {

int MfiFile::read(const std::uint8_t* bytes, std::int64_t length) {
    (void)bytes;
    (void)length;
    return ErrFormat;
}

int MfiFile::read(ByteSpan bytes) { return read(bytes.data(), static_cast<std::int64_t>(bytes.size())); }

int decodeTrackEvents(ByteSpan, std::size_t, std::size_t, MfiTrack&) { return ErrFormat; }

}  // namespace keldro
