// Arrays of object references on top of TBaseArray: TPtrArray refers to objects it does not
// own (indexes), TOwningPtrArray owns them (group list, index items, queues, caches).
#pragma once

#include <functional>
#include <memory>

#include "model/BaseArray.h"

namespace ov {

// Array of T* that does not own its objects. Without an overriding Compare, entries are
// ordered and found by the reference itself. Keyed subclasses override Compare and search
// with a key object: Find(&key, index).
template <class T>
class TPtrArray : public TTypedArray<T*> {
  public:
    explicit TPtrArray(std::int32_t initialCapacity = 0) : TTypedArray<T*>(initialCapacity) {}

    // The reference at index; range-checked.
    T* Items(std::int32_t index) const { return this->GetAt(index); }

  protected:
    // The reference at index without the range check, for searches that keep
    // 0 <= index < Count themselves.
    T* ItemUnchecked(std::int32_t index) const { return this->Load(this->ItemPtr(index)); }

    int Compare(T* a, T* b) const override {
        std::less<const T*> less;
        return less(a, b) ? -1 : (less(b, a) ? 1 : 0);
    }
};

// Array of T* that owns its objects: Delete and Clear destroy them, the destructor clears.
// Objects go in only as std::unique_ptr, and an insertion that fails or is declined (a
// present key under dmIgnore) leaves the object with the caller.
template <class T>
class TOwningPtrArray : public TPtrArray<T> {
    using Base = TPtrArray<T>;
    // Raw references would leave the ownership unclear.
    using Base::Add;
    using Base::InsertAt;
    using Base::PutAt;

  public:
    explicit TOwningPtrArray(std::int32_t initialCapacity = 0) : Base(initialCapacity) {}
    ~TOwningPtrArray() override { TOwningPtrArray::Clear(); }

    // Inserts at index and takes the object; on an error item still owns it.
    void InsertAt(std::int32_t index, std::unique_ptr<T>&& item) {
        Base::InsertAt(index, item.get());
        item.release();
    }
    // Appends (or, when Sorted, files under the duplicates rule) and returns the position.
    // The object is taken only if it was inserted.
    std::int32_t Add(std::unique_ptr<T>&& item) {
        const std::int32_t before = this->Count();
        const std::int32_t position = Base::Add(item.get());
        if (this->Count() != before) item.release();
        return position;
    }
    // Removes the entry at index and destroys its object.
    void Delete(std::int32_t index) override {
        std::unique_ptr<T> released(this->GetAt(index));
        TBaseArray::Delete(index);
    }
    // Removes the entry at index and hands its object to the caller.
    std::unique_ptr<T> Extract(std::int32_t index) {
        std::unique_ptr<T> taken(this->GetAt(index));
        TBaseArray::Delete(index);
        return taken;
    }
    // Destroys every object, from the last to the first.
    void Clear() override {
        while (this->Count() > 0) Delete(this->Count() - 1);
    }
};

}  // namespace ov
