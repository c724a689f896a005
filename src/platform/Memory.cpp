#include "platform/Memory.h"

#include <cstdlib>  // defines __GLIBC__ with the C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace keldro {

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    constexpr int kMappedFrom = 256 << 20;  // blocks below this come from the heap
    constexpr int kTrimAbove = 512 << 20;   // free heap kept up to this size
    mallopt(M_MMAP_THRESHOLD, kMappedFrom);
    mallopt(M_TRIM_THRESHOLD, kTrimAbove);
#endif
}

}  // namespace keldro
