#pragma once
// Storage of the large per-model vectors (a track's events, the volume
// engine's indexes), kept per thread when a model goes away and handed to the
// next model that needs one. A fresh vector of several hundred kilobytes costs
// a page fault for every 4 KiB page it touches, which on a file of a few
// kilobytes up to megabytes is more than reading the file itself; a kept
// vector's pages are already mapped. So a run over many files, or the models
// an engine step reads one after another, pay for the pages once.
//
// What is kept is bounded: at most kMaxKept vectors and kMaxKeptBytes of
// capacity per element type and thread, so a thread never holds more than the
// largest models it has worked on needed at once, and never more than the
// bound. Kept vectors are empty: nothing of one file is visible to the next.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace keldro::mfi {

template <typename T>
class VectorPool {
public:
    // An empty vector with room for at least `count` elements: the smallest
    // kept one that is large enough, else a new one.
    static std::vector<T> take(std::size_t count) {
        Kept& kept = keptVectors();
        auto best = kept.vectors.end();
        for (auto it = kept.vectors.begin(); it != kept.vectors.end(); ++it)
            if (it->capacity() >= count && (best == kept.vectors.end() || it->capacity() < best->capacity())) best = it;
        std::vector<T> result;
        if (best != kept.vectors.end()) {
            result = std::move(*best);
            kept.bytes -= bytesOf(result);
            kept.vectors.erase(best);
        }
        result.reserve(count);
        return result;
    }

    // Destroys the elements of `v` and keeps its storage for a later take();
    // `v` is left empty, without storage.
    static void give(std::vector<T>& v) {
        v.clear();
        if (v.capacity() == 0) return;
        Kept& kept = keptVectors();
        kept.bytes += bytesOf(v);
        kept.vectors.push_back(std::move(v));
        v = std::vector<T>();
        // Over the bound: let the smallest go first, the large ones are the
        // ones whose pages are worth keeping.
        while (kept.vectors.size() > kMaxKept || kept.bytes > kMaxKeptBytes) {
            auto smallest = std::min_element(kept.vectors.begin(), kept.vectors.end(),
                                             [](const std::vector<T>& a, const std::vector<T>& b) {
                                                 return a.capacity() < b.capacity();
                                             });
            kept.bytes -= bytesOf(*smallest);
            kept.vectors.erase(smallest);
        }
    }

private:
    static constexpr std::size_t kMaxKept = 16;
    static constexpr std::size_t kMaxKeptBytes = std::size_t{128} << 20;

    struct Kept {
        std::vector<std::vector<T>> vectors;
        std::size_t bytes = 0;
    };

    static std::size_t bytesOf(const std::vector<T>& v) { return v.capacity() * sizeof(T); }
    static Kept& keptVectors() {
        thread_local Kept kept;
        return kept;
    }
};

}  // namespace keldro::mfi
