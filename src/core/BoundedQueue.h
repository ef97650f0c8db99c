// A first-in, first-out queue between threads with a fixed number of slots: a producer that
// finds it full waits instead of growing it. The input buffer (station data) and the output
// buffer (status lines) are both one of these.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <semaphore>
#include <utility>

namespace ov {

template <class T, std::ptrdiff_t Slots>
class TBoundedQueue {
  public:
    TBoundedQueue() = default;
    // A queue of fewer slots than Slots (at least 1): for tests of what a full queue does.
    explicit TBoundedQueue(std::ptrdiff_t slots)
        : freeSlots_(std::clamp<std::ptrdiff_t>(slots, 1, Slots)) {}
    TBoundedQueue(const TBoundedQueue&) = delete;
    TBoundedQueue& operator=(const TBoundedQueue&) = delete;

    // Waits for a free slot in steps of slotWait, calling whileFull() after each step that
    // found none; appends item once a slot is free. False (item dropped) when whileFull()
    // answers false. Errors of whileFull pass on.
    template <class WhileFull>
    bool Push(T item, std::chrono::milliseconds slotWait, WhileFull&& whileFull) {
        // The slot is taken outside the lock, so a full queue never blocks the consumer's Pop.
        while (!freeSlots_.try_acquire_for(slotWait)) {
            if (!whileFull()) return false;
        }
        std::lock_guard<std::mutex> guard(lock_);
        items_.push_back(std::move(item));
        return true;
    }

    // The head element, left in the queue; valid until the next Pop or Clear. Null if empty.
    T* Front() {
        std::lock_guard<std::mutex> guard(lock_);
        return items_.empty() ? nullptr : &items_.front();
    }

    // Removes the head element, hands it to the caller and frees its slot.
    bool Pop(T& item) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (items_.empty()) return false;
            item = std::move(items_.front());
            items_.pop_front();
        }
        freeSlots_.release();
        return true;
    }

    bool Empty() {
        std::lock_guard<std::mutex> guard(lock_);
        return items_.empty();
    }

    int Count() {
        std::lock_guard<std::mutex> guard(lock_);
        return static_cast<int>(items_.size());
    }

    // Destroys every element, the last first, freeing one slot per element.
    void Clear() {
        std::ptrdiff_t released = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            while (!items_.empty()) {
                items_.pop_back();
                ++released;
            }
        }
        if (released > 0) freeSlots_.release(released);
    }

  private:
    std::mutex lock_;
    std::deque<T> items_;  // guarded by lock_; the head at the front
    // Taken outside lock_ by Push, given back by Pop and Clear: free slots + elements = the
    // queue's slots.
    std::counting_semaphore<Slots> freeSlots_{Slots};
};

}  // namespace ov
