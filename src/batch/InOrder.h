#pragma once
// Hands on items that arrive out of order (workers finish in any order) in
// the order of their indices: an item is handed on as soon as every earlier
// one has been, and only the items still waiting for an earlier one are held.
// Not thread-safe: its callers share one lock.
#include <cstddef>
#include <functional>
#include <map>
#include <utility>

namespace keldro::batch {

template <class T>
class InOrder {
public:
    explicit InOrder(std::function<void(std::size_t, T&)> handOn) : handOn_(std::move(handOn)) {}

    // Each index once, from 0 on without gaps.
    void put(std::size_t index, T item) {
        if (index != next_) {
            waiting_.emplace(index, std::move(item));
            return;
        }
        handOn_(next_++, item);
        for (auto it = waiting_.begin(); it != waiting_.end() && it->first == next_; it = waiting_.erase(it))
            handOn_(next_++, it->second);
    }

    // The number of items handed on: 0 ... next() - 1.
    std::size_t next() const { return next_; }

private:
    std::function<void(std::size_t, T&)> handOn_;
    std::map<std::size_t, T> waiting_;
    std::size_t next_ = 0;
};

}  // namespace keldro::batch
