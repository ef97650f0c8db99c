// Growable arrays of fixed-size elements in one contiguous block, with an optional sorted
// mode (binary search driven by Compare) and a policy for duplicate keys. Every keyed
// container of the engine (group list and indexes, schedule queue, value cache) builds on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "util/Exception.h"

namespace ov {

// What Add does with a key already present in a sorted array.
enum TDuplicatesMode { dmIgnore = 0, dmAccept = 1, dmError = 2 };

// Position or capacity out of range, a refused duplicate, or a general failure.
class EArrayError : public Exception {
  public:
    using Exception::Exception;
    static EArrayError IndexOutOfRange(std::int32_t index);  // "Array index out of range : 3"
    static EArrayError Duplicate();                          // "Duplicate item in array"
    static EArrayError General();                            // "General array error."
};

// Raised when growing an array would take more memory than the system can give.
class ELowCapacityError : public Exception {
  public:
    ELowCapacityError();
};

// The memory an array may grow into: available physical memory plus half the free swap, in
// bytes, read once from /proc/meminfo (no limit when it cannot be read).
std::int64_t MemoryLimit();
// Bytes the program currently has in use: its resident size (/proc/self/statm), or where that
// cannot be read the heap's bytes in use (mallinfo2: uordblks + hblkhd, which walks the heap).
std::int64_t HeapInUse();

// The untyped array. Elements are raw blocks of ItemSize bytes, copied with memcpy/memmove,
// so only trivially copyable values may be stored (the typed fronts check this). Positions
// are zero-based. Not thread-safe: one thread at a time uses an array.
class TBaseArray {
  public:
    static constexpr std::int32_t MaxCapacity = 134217727;  // 2^27 - 1 elements

    // Empty array with room for initialCapacity elements of itemSize bytes each.
    TBaseArray(std::int32_t initialCapacity, std::int32_t itemSize);
    virtual ~TBaseArray();
    TBaseArray(const TBaseArray&) = delete;
    TBaseArray& operator=(const TBaseArray&) = delete;

    // Resizes the block to n elements; new space is zero-filled. Raises EArrayError for
    // n < Count or n > MaxCapacity and ELowCapacityError when the memory guard refuses.
    virtual void SetCapacity(std::int32_t n);
    // Capacity += 4 below 9, 16 from 9 to 64, Capacity / 4 above 64.
    virtual void Grow();
    // Inserts a copy of the ItemSize bytes at element, 0 <= index <= Count. With AutoGrow the
    // block is resized to exactly Count + 1 elements first.
    virtual void InsertAt(std::int32_t index, const std::byte* element);
    // Removes the element at index (0 <= index < Count); the capacity does not shrink.
    virtual void Delete(std::int32_t index);
    // Not Sorted: first position comparing equal, scanning up. Sorted: Find. -1 when absent.
    virtual std::int32_t IndexOf(const std::byte* element) const;
    // Count 0 and the block released, when there were elements. Elements are not released:
    // owning containers override this to release them first.
    virtual void Clear();

    // Copies the element at index (0 <= index < Count) to element.
    void GetItem(std::int32_t index, std::byte* element) const;
    // Binary search with Compare. Found: index of an equal element (with dmAccept the first
    // of them). Not found: the position where key keeps the order.
    bool Find(const std::byte* key, std::int32_t& index) const;
    // Not Sorted: appends. Sorted: inserts at the Find position, except that a present key is
    // returned unchanged with dmIgnore and raises EArrayError with dmError. Returns the position.
    std::int32_t Add(const std::byte* element);

    std::int32_t Count() const { return count_; }
    std::int32_t Capacity() const { return capacity_; }
    std::int32_t ItemSize() const { return itemSize_; }
    bool Sorted() const { return sorted_; }
    // Set before the first element goes in; an array does not reorder itself.
    void SetSorted(bool sorted) { sorted_ = sorted; }
    bool AutoGrow() const { return autoGrow_; }
    TDuplicatesMode Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicatesMode mode) { duplicates_ = mode; }

  protected:
    // Negative, zero or positive as the element at a sorts before, equal to or after b.
    virtual int Compare(const std::byte* a, const std::byte* b) const = 0;

    // Raises "Array index out of range" unless 0 <= index < Count.
    void CheckIndex(std::int32_t index) const;
    // Unchecked address of the element at index (index <= Capacity).
    std::byte* ItemPtr(std::int32_t index) {
        return memory_.get() + std::size_t(index) * itemSize_;
    }
    const std::byte* ItemPtr(std::int32_t index) const {
        return memory_.get() + std::size_t(index) * itemSize_;
    }
    // Overwrites position index (0 <= index <= Count); index = Count appends. Grows first when
    // the block is full.
    void PutItem(std::int32_t index, const std::byte* element);

  private:
    struct FreeBlock {
        void operator()(std::byte* p) const { std::free(p); }
    };
    bool InBlock(const std::byte* p) const;

    std::unique_ptr<std::byte, FreeBlock> memory_;  // Capacity * ItemSize bytes, or none
    std::int32_t capacity_ = 0;
    std::int32_t itemSize_;
    std::int32_t count_ = 0;
    bool sorted_ = false;
    bool autoGrow_ = true;  // nothing clears it
    TDuplicatesMode duplicates_ = dmIgnore;
};

// Typed front over TBaseArray for values of type V (integers, doubles, pointers): every
// element operation takes and returns V. Subclasses supply the typed Compare.
template <class V>
class TTypedArray : public TBaseArray {
    static_assert(std::is_trivially_copyable_v<V>, "array elements are copied as raw bytes");

  public:
    explicit TTypedArray(std::int32_t initialCapacity) : TBaseArray(initialCapacity, sizeof(V)) {}

    using TBaseArray::Add;
    using TBaseArray::Find;
    using TBaseArray::IndexOf;
    using TBaseArray::InsertAt;

    // The element at index; range-checked.
    V GetAt(std::int32_t index) const {
        CheckIndex(index);
        return Load(ItemPtr(index));
    }
    // The element at 0 <= index < Count, unchecked: for searches that keep to the range.
    V GetUnchecked(std::int32_t index) const { return Load(ItemPtr(index)); }
    // Writes value at 0 <= index <= Count; index = Count appends.
    void PutAt(std::int32_t index, V value) { PutItem(index, Bytes(value)); }
    void InsertAt(std::int32_t index, V value) { InsertAt(index, Bytes(value)); }
    std::int32_t Add(V value) { return Add(Bytes(value)); }
    bool Find(V key, std::int32_t& index) const { return Find(Bytes(key), index); }
    std::int32_t IndexOf(V value) const { return IndexOf(Bytes(value)); }

  protected:
    virtual int Compare(V a, V b) const = 0;

    int Compare(const std::byte* a, const std::byte* b) const final {
        return Compare(Load(a), Load(b));
    }
    // Clear, then Add every element of source in order, under this array's own Sorted and
    // Duplicates rules.
    void AssignFrom(const TTypedArray& source) {
        if (&source == this) return;
        Clear();
        for (std::int32_t i = 0; i < source.Count(); ++i) Add(source.GetAt(i));
    }

    static V Load(const std::byte* p) {
        V v;
        std::memcpy(&v, p, sizeof(V));
        return v;
    }
    static const std::byte* Bytes(const V& v) { return reinterpret_cast<const std::byte*>(&v); }
};

// 32-bit integers in ascending order.
class TIntArray final : public TTypedArray<std::int32_t> {
  public:
    explicit TIntArray(std::int32_t initialCapacity = 0) : TTypedArray(initialCapacity) {}
    // Clear, then Add of every element of source, under this array's own rules.
    TIntArray& operator=(const TIntArray& source) {
        AssignFrom(source);
        return *this;
    }
    void Assign(const TIntArray& source) { AssignFrom(source); }

  protected:
    int Compare(std::int32_t a, std::int32_t b) const override;
};

// Doubles; two values closer than 1e-100 count as equal.
class TDoubleArray final : public TTypedArray<double> {
  public:
    explicit TDoubleArray(std::int32_t initialCapacity = 0) : TTypedArray(initialCapacity) {}
    // Clear, then Add of every element of source, under this array's own rules.
    TDoubleArray& operator=(const TDoubleArray& source) {
        AssignFrom(source);
        return *this;
    }
    void Assign(const TDoubleArray& source) { AssignFrom(source); }

  protected:
    int Compare(double a, double b) const override;
};

}  // namespace ov
