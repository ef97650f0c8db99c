// The growable array: block management, the memory guard, binary search and the integer and
// double element types.
#include "model/BaseArray.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

#include "util/SortedFind.h"

namespace ov {

EArrayError EArrayError::IndexOutOfRange(std::int32_t index) {
    return EArrayError("Array index out of range : " + std::to_string(index));
}

EArrayError EArrayError::Duplicate() {
    return EArrayError("Duplicate item in array");
}

EArrayError EArrayError::General() {
    return EArrayError("General array error.");
}

ELowCapacityError::ELowCapacityError()
    : Exception(
          "The DecisionCube Capacity is low. Please deactivate dimensions or change the data "
          "set.") {}

namespace {

// Reads "Name:   12345 kB" lines of /proc/meminfo; -1 when the field is missing.
std::int64_t MemInfoBytes(const std::vector<std::string>& lines, std::string_view name) {
    for (const std::string& line : lines) {
        std::string_view v(line);
        if (v.size() <= name.size() || v.substr(0, name.size()) != name || v[name.size()] != ':')
            continue;
        v.remove_prefix(name.size() + 1);
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        std::int64_t kb = 0;
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), kb);
        if (ec != std::errc()) return -1;
        return kb * 1024;
    }
    return -1;
}

std::int64_t ReadMemoryLimit() {
    std::ifstream in("/proc/meminfo");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::int64_t available = MemInfoBytes(lines, "MemAvailable");
    if (available < 0) available = MemInfoBytes(lines, "MemFree");
    if (available < 0) return std::numeric_limits<std::int64_t>::max();
    std::int64_t swapFree = MemInfoBytes(lines, "SwapFree");
    return available + (swapFree > 0 ? swapFree / 2 : 0);
}

// An array under AutoGrow resizes on every insertion: the guard works from a sample of the
// memory in use that is at most a second old; a large request always takes a fresh one.
constexpr std::int64_t kFreshSampleBytes = std::int64_t(16) << 20;
constexpr std::int64_t kSampleAgeNs = 1'000'000'000;
std::atomic<std::int64_t> sampledHeap{-1};  // atomic: arrays of several threads share it
std::atomic<std::int64_t> sampleTimeNs{0};  // atomic, as above

std::int64_t HeapInUseSample(std::int64_t request) {
    std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    std::int64_t heap = sampledHeap.load(std::memory_order_relaxed);
    if (heap < 0 || request >= kFreshSampleBytes ||
        now - sampleTimeNs.load(std::memory_order_relaxed) > kSampleAgeNs) {
        heap = HeapInUse();
        sampledHeap.store(heap, std::memory_order_relaxed);
        sampleTimeNs.store(now, std::memory_order_relaxed);
    }
    return heap;
}

// Refuses a block of request bytes when the heap in use plus the request exceeds the limit.
// Sums are 64-bit: a large request must not slip past the guard by wrapping around.
void CheckMemory(std::int64_t request) {
    if (HeapInUseSample(request) + request > MemoryLimit()) throw ELowCapacityError();
}

}  // namespace

std::int64_t MemoryLimit() {
    static const std::int64_t limit = ReadMemoryLimit();
    return limit;
}

std::int64_t HeapInUse() {
    // The resident size costs one small read however the heap looks. mallinfo2 walks every
    // free list of the heap: after a flood of data has come and gone that took tens of
    // milliseconds, during which the calculation thread stood still.
    // "size resident shared text lib data dt", in pages.
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[128];
        const ssize_t n = ::read(fd, text, sizeof text);
        ::close(fd);
        const char* end = text + (n > 0 ? n : 0);
        const char* blank = std::find(static_cast<const char*>(text), end, ' ');
        std::int64_t resident = 0;
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (blank != end && std::from_chars(blank + 1, end, resident).ec == std::errc() &&
            resident > 0 && pageSize > 0)
            return resident * pageSize;
    }
    struct mallinfo2 info = mallinfo2();
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

// ---- TBaseArray ----

TBaseArray::TBaseArray(std::int32_t initialCapacity, std::int32_t itemSize) : itemSize_(itemSize) {
    if (itemSize <= 0) throw EArrayError::General();
    TBaseArray::SetCapacity(initialCapacity);
}

TBaseArray::~TBaseArray() {
    TBaseArray::Clear();
}

void TBaseArray::SetCapacity(std::int32_t n) {
    if (n < count_ || n > MaxCapacity) throw EArrayError::IndexOutOfRange(n);
    if (n == capacity_) return;
    const std::size_t newBytes = std::size_t(n) * std::size_t(itemSize_);
    if (n > capacity_) CheckMemory(static_cast<std::int64_t>(newBytes));
    if (n == 0) {
        memory_.reset();
        capacity_ = 0;
        return;
    }
    std::byte* old = memory_.release();
    void* grown = std::realloc(old, newBytes);
    if (grown == nullptr) {
        memory_.reset(old);  // the old block and its elements stay intact
        throw ELowCapacityError();
    }
    memory_.reset(static_cast<std::byte*>(grown));
    if (n > capacity_) {
        const std::size_t oldBytes = std::size_t(capacity_) * std::size_t(itemSize_);
        std::memset(memory_.get() + oldBytes, 0, newBytes - oldBytes);
    }
    capacity_ = n;
}

void TBaseArray::Grow() {
    std::int32_t step;
    if (capacity_ > 64)
        step = capacity_ / 4;
    else if (capacity_ > 8)
        step = 16;
    else
        step = 4;
    SetCapacity(capacity_ + step);
}

bool TBaseArray::InBlock(const std::byte* p) const {
    const std::byte* begin = memory_.get();
    if (begin == nullptr) return false;
    const std::byte* end = begin + std::size_t(capacity_) * std::size_t(itemSize_);
    std::less<const std::byte*> less;
    return !less(p, begin) && less(p, end);
}

void TBaseArray::InsertAt(std::int32_t index, const std::byte* element) {
    if (index < 0 || index > count_) throw EArrayError::IndexOutOfRange(index);
    // An element taken from this very block would not survive the resize: copy it first.
    std::vector<std::byte> copy;
    if (InBlock(element)) {
        copy.assign(element, element + itemSize_);
        element = copy.data();
    }
    if (autoGrow_)
        SetCapacity(count_ + 1);
    else if (count_ == capacity_)
        Grow();
    std::memmove(ItemPtr(index + 1), ItemPtr(index), std::size_t(count_ - index) * itemSize_);
    std::memcpy(ItemPtr(index), element, std::size_t(itemSize_));
    ++count_;
}

void TBaseArray::Delete(std::int32_t index) {
    CheckIndex(index);
    std::memmove(ItemPtr(index), ItemPtr(index + 1), std::size_t(count_ - index - 1) * itemSize_);
    --count_;
    std::memset(ItemPtr(count_), 0, std::size_t(itemSize_));  // no stale copy past Count
}

std::int32_t TBaseArray::IndexOf(const std::byte* element) const {
    if (sorted_) {
        std::int32_t index = 0;
        return Find(element, index) ? index : -1;
    }
    for (std::int32_t i = 0; i < count_; ++i)
        if (Compare(ItemPtr(i), element) == 0) return i;
    return -1;
}

void TBaseArray::Clear() {
    if (count_ > 0) {
        count_ = 0;
        memory_.reset();
        capacity_ = 0;
    }
}

void TBaseArray::GetItem(std::int32_t index, std::byte* element) const {
    CheckIndex(index);
    std::memcpy(element, ItemPtr(index), std::size_t(itemSize_));
}

bool TBaseArray::Find(const std::byte* key, std::int32_t& index) const {
    return SortedFind(
        count_, [this, key](std::int32_t i) { return Compare(ItemPtr(i), key); }, index,
        duplicates_ == dmAccept);
}

std::int32_t TBaseArray::Add(const std::byte* element) {
    if (!sorted_) {
        const std::int32_t position = count_;
        InsertAt(position, element);
        return position;
    }
    std::int32_t index = 0;
    if (Find(element, index)) {
        if (duplicates_ == dmIgnore) return index;
        if (duplicates_ == dmError) throw EArrayError::Duplicate();
    }
    InsertAt(index, element);
    return index;
}

void TBaseArray::CheckIndex(std::int32_t index) const {
    if (index < 0 || index >= count_) throw EArrayError::IndexOutOfRange(index);
}

void TBaseArray::PutItem(std::int32_t index, const std::byte* element) {
    if (index < 0 || index > count_) throw EArrayError::IndexOutOfRange(index);
    std::vector<std::byte> copy;
    if (InBlock(element)) {
        copy.assign(element, element + itemSize_);
        element = copy.data();
    }
    if (count_ == capacity_) Grow();
    std::memcpy(ItemPtr(index), element, std::size_t(itemSize_));
    if (index == count_) ++count_;
}

// ---- TIntArray, TDoubleArray ----

int TIntArray::Compare(std::int32_t a, std::int32_t b) const {
    if (a < b) return -1;
    if (a > b) return 1;
    return 0;
}

int TDoubleArray::Compare(double a, double b) const {
    const double d = a - b;
    if (std::fabs(d) < 1e-100) return 0;
    return d >= 0 ? 1 : -1;
}

}  // namespace ov
