#include "mfi/MfiFile.h"

namespace keldro {

int MfiFile::write(ByteVector& out, const MfiDate&) {
    out.clear();
    return ErrFormat;
}

}  // namespace keldro
