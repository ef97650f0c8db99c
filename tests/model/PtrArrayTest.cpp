// Tests of the reference arrays: element size, identity look-up, and who owns an object
// after each insertion, removal and failure.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/PtrArray.h"

namespace ov {
namespace {

struct TTracked {
    TTracked(int key, std::vector<int>* destroyed) : Key(key), Destroyed(destroyed) {}
    ~TTracked() { Destroyed->push_back(Key); }
    int Key;
    std::vector<int>* Destroyed;
};

// Owning array keyed by TTracked::Key.
class TTrackedByKey : public TOwningPtrArray<TTracked> {
  public:
    TTrackedByKey() { SetSorted(true); }

  protected:
    int Compare(TTracked* a, TTracked* b) const override { return a->Key - b->Key; }
};

TEST(PtrArrayTest, ElementsAreReferencesOfThePlatformSize) {
    EXPECT_EQ(TPtrArray<int>().ItemSize(), static_cast<std::int32_t>(sizeof(void*)));
}

TEST(PtrArrayTest, PlainArrayFindsEntriesByTheReferenceItself) {
    int a = 1, b = 1, c = 2;
    TPtrArray<int> refs;
    refs.Add(&a);
    refs.Add(&b);
    refs.Add(&a);
    EXPECT_EQ(refs.IndexOf(&b), 1);
    EXPECT_EQ(refs.IndexOf(&a), 0);
    EXPECT_EQ(refs.IndexOf(&c), -1);
    EXPECT_EQ(refs.Items(2), &a);
    EXPECT_THROW(refs.Items(3), EArrayError);
}

TEST(PtrArrayTest, OwningArrayDestroysOnDeleteClearAndDestruction) {
    std::vector<int> destroyed;
    {
        TOwningPtrArray<TTracked> owned;
        for (int k = 1; k <= 4; ++k) owned.Add(std::make_unique<TTracked>(k, &destroyed));
        owned.Delete(1);
        EXPECT_EQ(destroyed, (std::vector<int>{2}));
        EXPECT_EQ(owned.Items(1)->Key, 3);
        owned.Clear();
        EXPECT_EQ(destroyed, (std::vector<int>{2, 4, 3, 1}));  // last to first
        owned.Add(std::make_unique<TTracked>(9, &destroyed));
    }
    EXPECT_EQ(destroyed.back(), 9);
}

TEST(PtrArrayTest, ExtractHandsTheObjectBack) {
    std::vector<int> destroyed;
    TOwningPtrArray<TTracked> owned;
    owned.Add(std::make_unique<TTracked>(1, &destroyed));
    owned.Add(std::make_unique<TTracked>(2, &destroyed));
    std::unique_ptr<TTracked> taken = owned.Extract(0);
    EXPECT_EQ(taken->Key, 1);
    EXPECT_EQ(owned.Count(), 1);
    EXPECT_TRUE(destroyed.empty());
    EXPECT_THROW(owned.Extract(1), EArrayError);
}

TEST(PtrArrayTest, DeclinedOrFailedInsertionLeavesTheObjectWithTheCaller) {
    std::vector<int> destroyed;
    TTrackedByKey keyed;
    keyed.Add(std::make_unique<TTracked>(5, &destroyed));
    keyed.Add(std::make_unique<TTracked>(3, &destroyed));

    auto duplicate = std::make_unique<TTracked>(5, &destroyed);
    EXPECT_EQ(keyed.Add(std::move(duplicate)), 1);  // dmIgnore: the present one's position
    ASSERT_NE(duplicate, nullptr);
    EXPECT_EQ(keyed.Count(), 2);

    keyed.SetDuplicates(dmError);
    EXPECT_THROW(keyed.Add(std::move(duplicate)), EArrayError);
    ASSERT_NE(duplicate, nullptr);

    auto stray = std::make_unique<TTracked>(7, &destroyed);
    EXPECT_THROW(keyed.InsertAt(5, std::move(stray)), EArrayError);
    ASSERT_NE(stray, nullptr);
    EXPECT_TRUE(destroyed.empty());

    TTracked key(3, &destroyed);
    std::int32_t index = -1;
    EXPECT_TRUE(keyed.Find(&key, index));
    EXPECT_EQ(index, 0);
}

}  // namespace
}  // namespace ov
