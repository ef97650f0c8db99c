// Owning collections of objects: TCollection keeps them in insertion order, TSortedCollection
// in key order found by binary search. Rating tables and the live data store build on them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "util/Exception.h"
#include "util/SortedFind.h"

namespace ov {

// A collection never holds more entries than this.
inline constexpr std::int32_t MaxCollectionSize = 536870911;

// Raises run-time error 212 - code: 213 for an index error (code -1), 214 for an overflow
// (code -2), as ERunError.
[[noreturn]] void RaiseCollectionError(int code);
// A capacity request raised to count and capped at MaxCollectionSize.
std::int32_t ClampCollectionCapacity(std::int64_t requested, std::int32_t count);

// Growable array of owned objects. Insertions take the object only on success (the
// std::unique_ptr argument is then empty); RemoveAt hands it back; Clear and the destructor
// destroy the rest. Not thread-safe: an owner that shares one puts its own lock around it.
template <class T>
class TCollection {
  public:
    // Empty collection with room for capacity entries, growing by growBy entries when full
    // (0: never grows).
    TCollection(std::int32_t capacity, std::int32_t growBy) : growBy_(growBy) {
        TCollection::SetCapacity(capacity);
    }
    virtual ~TCollection() {
        Clear();
        TCollection::SetCapacity(0);
    }
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    std::int32_t Count() const { return count_; }
    std::int32_t Capacity() const { return capacity_; }

    // The object at i; run-time error 213 outside 0..Count-1.
    T* ItemAt(std::int32_t i) const {
        if (i < 0 || i >= count_) {
            ReportError(-1, i);
            return nullptr;
        }
        return items_[i].get();
    }

    // Takes the entry at i out, moving the following ones down, and hands its object to the
    // caller; run-time error 213 outside 0..Count-1.
    std::unique_ptr<T> RemoveAt(std::int32_t i) {
        if (i < 0 || i >= count_) {
            ReportError(-1, i);
            return nullptr;
        }
        std::unique_ptr<T>* entries = items_.get();
        std::unique_ptr<T> taken = std::move(entries[i]);
        std::move(entries + i + 1, entries + count_, entries + i);
        --count_;
        return taken;
    }

    // Inserts item at i (0..Count), growing by growBy when full. Run-time error 213 for a bad
    // position, 214 when the collection is full and cannot grow; item then stays with the caller.
    void InsertAt(std::int32_t i, std::unique_ptr<T>& item) {
        if (i < 0 || i > count_) {
            ReportError(-1, i);
            return;
        }
        if (count_ == capacity_) {
            SetCapacity(ClampCollectionCapacity(std::int64_t(count_) + growBy_, count_));
            if (count_ == capacity_) {
                ReportError(-2, i);
                return;
            }
        }
        std::unique_ptr<T>* entries = items_.get();
        std::move_backward(entries + i, entries + count_, entries + count_ + 1);
        entries[i] = std::move(item);
        ++count_;
    }

    // Destroys every object, from the first to the last; the capacity stays.
    void Clear() {
        for (std::int32_t i = 0; i < count_; ++i) items_[i].reset();
        count_ = 0;
    }

    // Position of the entry holding this very object, searching from 0; -1 if absent.
    virtual std::int32_t IndexOf(const T* item) const {
        for (std::int32_t i = 0; i < count_; ++i)
            if (items_[i].get() == item) return i;
        return -1;
    }

    // Appends item (InsertAt Count). Returns whether the collection took it.
    virtual bool Insert(std::unique_ptr<T>& item) {
        const std::int32_t before = count_;
        InsertAt(count_, item);
        return count_ != before;
    }

    // Room for n entries: n is raised to Count and capped at MaxCollectionSize.
    virtual void SetCapacity(std::int32_t n) {
        n = ClampCollectionCapacity(n, count_);
        if (n == capacity_) return;
        std::unique_ptr<std::unique_ptr<T>[]> room;
        if (n > 0) room = std::make_unique<std::unique_ptr<T>[]>(static_cast<std::size_t>(n));
        std::move(items_.get(), items_.get() + count_, room.get());
        items_ = std::move(room);
        capacity_ = n;
    }

  protected:
    // Raises run-time error 213 (code -1) or 214 (code -2); info is the offending position.
    virtual void ReportError(int code, std::int32_t info) const {
        (void)info;
        RaiseCollectionError(code);
    }

  private:
    std::int32_t count_ = 0;
    std::unique_ptr<std::unique_ptr<T>[]> items_;  // Capacity slots, the first Count in use
    std::int32_t capacity_ = 0;
    std::int32_t growBy_;
};

// Collection kept in key order. Subclasses supply Compare and ItemKey (for a collection
// keyed by the object itself, ItemKey returns the object). Without SetAllowDuplicates an object
// whose key is present is not inserted and stays with the caller; with it, a new object goes
// before the entries of equal key.
template <class T, class Key>
class TSortedCollection : public TCollection<T> {
  public:
    TSortedCollection(std::int32_t capacity, std::int32_t growBy)
        : TCollection<T>(capacity, growBy) {}

    // Binary search. Found: index of the equal entry (the first of them with duplicates).
    // Not found: the position where key keeps the order.
    virtual bool Search(const Key& key, std::int32_t& index) const {
        return SortedFind(
            this->Count(),
            [this, &key](std::int32_t i) { return Compare(ItemKey(this->ItemAt(i)), key); }, index,
            allowDuplicates_);
    }

    // Position of an entry with the object's key; with duplicates, of this very object.
    std::int32_t IndexOf(const T* item) const override {
        if (item == nullptr) return -1;
        std::int32_t i = 0;
        if (!Search(ItemKey(item), i)) return -1;
        if (allowDuplicates_) {
            while (i < this->Count() && this->ItemAt(i) != item) ++i;
            if (i >= this->Count()) return -1;
        }
        return i;
    }

    // Files item under its key; false (item kept by the caller) when the key is present and
    // duplicates are not allowed.
    bool Insert(std::unique_ptr<T>& item) override {
        if (!item) return false;
        std::int32_t i = 0;
        if (Search(ItemKey(item.get()), i) && !allowDuplicates_) return false;
        this->InsertAt(i, item);
        return item == nullptr;
    }

  protected:
    void SetAllowDuplicates(bool allow) { allowDuplicates_ = allow; }

    // Negative, 0 or positive as key a sorts before, equal to or after key b.
    virtual int Compare(const Key& a, const Key& b) const = 0;
    // The key of an entry.
    virtual Key ItemKey(const T* item) const = 0;

  private:
    bool allowDuplicates_ = false;
};

}  // namespace ov
