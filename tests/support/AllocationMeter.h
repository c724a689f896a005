#pragma once
// Measures the heap a piece of code uses: the replaceable global operator new
// and delete keep a count of the bytes in use and the highest count reached.
// Replacement functions may be defined only once per program, so include this
// header in exactly one source file of a test executable. Every form that
// pairs with the plain delete is replaced (the sanitizers bring their own
// otherwise); the over-aligned forms keep their own pairs.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace keldro::testing {

struct AllocationCounters {
    std::atomic<std::size_t> inUse{0};
    std::atomic<std::size_t> peak{0};
};

inline AllocationCounters& allocationCounters() {
    static AllocationCounters counters;
    return counters;
}

// The most heap in use at any time between construction and peakBytes(),
// above what was in use at construction.
class AllocationMeter {
public:
    AllocationMeter() : base_(allocationCounters().inUse.load()) { allocationCounters().peak.store(base_); }
    std::size_t peakBytes() const {
        const std::size_t peak = allocationCounters().peak.load();
        return peak > base_ ? peak - base_ : 0;
    }

private:
    std::size_t base_;
};

}  // namespace keldro::testing

namespace keldro::testing::detail {

// Every block carries its size in a header of the largest fundamental alignment.
constexpr std::size_t kHeader = alignof(std::max_align_t);

inline void* allocate(std::size_t size) {
    void* raw = std::malloc(size + kHeader);
    if (raw == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(raw) = size;
    AllocationCounters& c = allocationCounters();
    const std::size_t now = c.inUse.fetch_add(size) + size;
    std::size_t peak = c.peak.load();
    while (now > peak && !c.peak.compare_exchange_weak(peak, now)) {}
    return static_cast<char*>(raw) + kHeader;
}

inline void release(void* p) noexcept {
    if (p == nullptr) return;
    void* raw = static_cast<char*>(p) - kHeader;
    allocationCounters().inUse.fetch_sub(*static_cast<std::size_t*>(raw));
    std::free(raw);
}

}  // namespace keldro::testing::detail

void* operator new(std::size_t size) { return keldro::testing::detail::allocate(size); }
void* operator new[](std::size_t size) { return keldro::testing::detail::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return keldro::testing::detail::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return keldro::testing::detail::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { keldro::testing::detail::release(p); }
void operator delete[](void* p) noexcept { keldro::testing::detail::release(p); }
void operator delete(void* p, std::size_t) noexcept { keldro::testing::detail::release(p); }
void operator delete[](void* p, std::size_t) noexcept { keldro::testing::detail::release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { keldro::testing::detail::release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { keldro::testing::detail::release(p); }
