// Tests of the growable arrays: growth steps, capacity rules, binary search, the duplicate
// policies, assignment and the memory guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/BaseArray.h"

namespace ov {
namespace {

// An array of raw blocks ordered by memcmp, to reach the untyped interface.
class TRawArray : public TBaseArray {
  public:
    TRawArray(std::int32_t capacity, std::int32_t itemSize) : TBaseArray(capacity, itemSize) {}
    using TBaseArray::ItemPtr;

  protected:
    int Compare(const std::byte* a, const std::byte* b) const override {
        return std::memcmp(a, b, std::size_t(ItemSize()));
    }
};

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const EArrayError& e) {
        return e.what();
    }
    return "(no EArrayError)";
}

std::vector<std::int32_t> Contents(const TIntArray& a) {
    std::vector<std::int32_t> v;
    for (std::int32_t i = 0; i < a.Count(); ++i) v.push_back(a.GetAt(i));
    return v;
}

TEST(BaseArrayTest, GrowStepsDependOnCapacity) {
    const struct {
        std::int32_t from, to;
    } cases[] = {{0, 4}, {8, 12}, {9, 25}, {64, 80}, {65, 81}, {100, 125}};
    for (const auto& c : cases) {
        TIntArray a(c.from);
        a.Grow();
        EXPECT_EQ(a.Capacity(), c.to) << "from " << c.from;
    }
}

TEST(BaseArrayTest, InsertAtResizesToExactlyOneMoreThanInUse) {
    TIntArray a(20);
    EXPECT_EQ(a.Capacity(), 20);
    a.InsertAt(0, 7);
    EXPECT_EQ(a.Capacity(), 1);
    a.InsertAt(0, 5);
    a.InsertAt(2, 9);
    EXPECT_EQ(a.Capacity(), 3);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{5, 7, 9}));
}

TEST(BaseArrayTest, CapacityOutsideRangeIsRefusedWithTheRequestedNumber) {
    TIntArray a(0);
    for (std::int32_t v : {1, 2, 3, 4, 5}) a.Add(v);
    EXPECT_EQ(MessageOf([&] { a.SetCapacity(3); }), "Array index out of range : 3");
    EXPECT_EQ(MessageOf([&] { a.SetCapacity(TBaseArray::MaxCapacity + 1); }),
              "Array index out of range : 134217728");
    EXPECT_EQ(MessageOf([] { TIntArray b(-1); }), "Array index out of range : -1");
    EXPECT_EQ(a.Count(), 5);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    a.SetCapacity(5);
    EXPECT_EQ(a.Capacity(), 5);
    a.SetCapacity(40);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
}

TEST(BaseArrayTest, PositionsOutsideRangeAreRefusedWithThePosition) {
    TIntArray a(0);
    for (std::int32_t v : {10, 20, 30}) a.Add(v);
    EXPECT_EQ(MessageOf([&] { a.GetAt(3); }), "Array index out of range : 3");
    EXPECT_EQ(MessageOf([&] { a.Delete(3); }), "Array index out of range : 3");
    EXPECT_EQ(MessageOf([&] { a.GetAt(-1); }), "Array index out of range : -1");
    EXPECT_EQ(MessageOf([&] { a.InsertAt(4, 1); }), "Array index out of range : 4");
    EXPECT_EQ(MessageOf([&] { a.InsertAt(-1, 1); }), "Array index out of range : -1");
    EXPECT_EQ(MessageOf([&] { a.PutAt(4, 1); }), "Array index out of range : 4");
    std::int32_t out = 0;
    EXPECT_EQ(MessageOf([&] { a.GetItem(3, reinterpret_cast<std::byte*>(&out)); }),
              "Array index out of range : 3");
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{10, 20, 30}));
}

TEST(BaseArrayTest, DeleteMovesFollowingElementsDownAndKeepsCapacity) {
    TIntArray a(0);
    for (std::int32_t v : {1, 2, 3, 4}) a.Add(v);
    const std::int32_t capacity = a.Capacity();
    a.Delete(1);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{1, 3, 4}));
    a.Delete(2);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{1, 3}));
    EXPECT_EQ(a.Capacity(), capacity);
}

TEST(BaseArrayTest, ClearReleasesTheBlockOnlyWhenThereWereElements) {
    TIntArray empty(20);
    empty.Clear();
    EXPECT_EQ(empty.Capacity(), 20);

    TIntArray a(0);
    a.Add(1);
    a.Add(2);
    a.Clear();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Capacity(), 0);
    a.Add(3);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{3}));
}

TEST(BaseArrayTest, IndexOfScansUnsortedAndSearchesSorted) {
    TIntArray a(0);
    EXPECT_EQ(a.IndexOf(5), -1);
    for (std::int32_t v : {9, 5, 7, 5}) a.Add(v);
    EXPECT_EQ(a.IndexOf(5), 1);
    EXPECT_EQ(a.IndexOf(9), 0);
    EXPECT_EQ(a.IndexOf(6), -1);

    TIntArray s(0);
    s.SetSorted(true);
    for (std::int32_t v : {9, 5, 7}) s.Add(v);
    EXPECT_EQ(s.IndexOf(7), 1);
    EXPECT_EQ(s.IndexOf(8), -1);
}

TEST(BaseArrayTest, FindGivesTheInsertionPositionWhenAbsent) {
    TIntArray a(0);
    a.SetSorted(true);
    std::int32_t index = -5;
    EXPECT_FALSE(a.Find(3, index));
    EXPECT_EQ(index, 0);
    for (std::int32_t v : {10, 20, 30}) a.Add(v);
    const struct {
        std::int32_t key;
        bool found;
        std::int32_t index;
    } cases[] = {{5, false, 0}, {10, true, 0}, {15, false, 1},
                 {20, true, 1}, {30, true, 2}, {35, false, 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(a.Find(c.key, index), c.found) << c.key;
        EXPECT_EQ(index, c.index) << c.key;
    }
}

TEST(BaseArrayTest, AddHonoursTheDuplicatesMode) {
    TIntArray ignore(0);
    ignore.SetSorted(true);
    for (std::int32_t v : {30, 10, 20}) ignore.Add(v);
    EXPECT_EQ(ignore.Add(20), 1);
    EXPECT_EQ(ignore.Count(), 3);

    TIntArray error(0);
    error.SetSorted(true);
    error.SetDuplicates(dmError);
    for (std::int32_t v : {30, 10, 20}) error.Add(v);
    EXPECT_EQ(MessageOf([&] { error.Add(10); }), "Duplicate item in array");
    EXPECT_EQ(Contents(error), (std::vector<std::int32_t>{10, 20, 30}));

    // dmAccept files a new equal value before the present ones, and Find reports the first.
    TIntArray accept(0);
    accept.SetSorted(true);
    accept.SetDuplicates(dmAccept);
    for (std::int32_t v : {20, 10, 20, 30, 20}) accept.Add(v);
    EXPECT_EQ(Contents(accept), (std::vector<std::int32_t>{10, 20, 20, 20, 30}));
    EXPECT_EQ(accept.Add(20), 1);
    std::int32_t index = -1;
    EXPECT_TRUE(accept.Find(20, index));
    EXPECT_EQ(index, 1);

    TIntArray unsorted(0);
    unsorted.SetDuplicates(dmError);
    unsorted.Add(4);
    EXPECT_EQ(unsorted.Add(4), 1);
}

TEST(BaseArrayTest, SortedAddKeepsOrderForAnyInput) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<std::int32_t> dist(-50, 50);
    for (TDuplicatesMode mode : {dmIgnore, dmAccept}) {
        TIntArray a(0);
        a.SetSorted(true);
        a.SetDuplicates(mode);
        std::vector<std::int32_t> expected;
        for (int i = 0; i < 300; ++i) {
            const std::int32_t v = dist(rng);
            const std::int32_t pos = a.Add(v);
            EXPECT_EQ(a.GetAt(pos), v);
            if (mode == dmAccept ||
                std::find(expected.begin(), expected.end(), v) == expected.end())
                expected.push_back(v);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Contents(a), expected);
    }
}

TEST(BaseArrayTest, DoubleComparisonToleratesOnlyDifferencesBelow1e100) {
    TDoubleArray a(0);
    a.Add(1.0);
    a.Add(0.0);
    EXPECT_EQ(a.IndexOf(1.0 + 1e-101), 0);
    EXPECT_EQ(a.IndexOf(1.0 + 1e-15), -1);
    // At small magnitudes the tolerance shows: 1e-101 equals 0, 1e-99 does not.
    EXPECT_EQ(a.IndexOf(1e-101), 1);
    EXPECT_EQ(a.IndexOf(-1e-101), 1);
    EXPECT_EQ(a.IndexOf(1e-99), -1);

    TDoubleArray s(0);
    s.SetSorted(true);
    s.SetDuplicates(dmError);
    for (double v : {2.5, -1.0, 1e-99, 0.0}) s.Add(v);
    EXPECT_EQ(s.GetAt(0), -1.0);
    EXPECT_EQ(s.GetAt(1), 0.0);
    EXPECT_EQ(s.GetAt(2), 1e-99);
    EXPECT_EQ(s.GetAt(3), 2.5);
    EXPECT_THROW(s.Add(5e-101), EArrayError);
}

TEST(BaseArrayTest, PutAtOverwritesOrAppendsAndGrowsWhenFull) {
    TIntArray a(0);
    a.PutAt(0, 11);
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Capacity(), 4);
    a.PutAt(1, 12);
    a.PutAt(0, 10);
    EXPECT_EQ(Contents(a), (std::vector<std::int32_t>{10, 12}));
    for (std::int32_t v = 13; v <= 15; ++v) a.PutAt(a.Count(), v);
    EXPECT_EQ(a.Count(), 5);
    EXPECT_EQ(a.Capacity(), 8);
    EXPECT_THROW(a.PutAt(6, 1), EArrayError);
}

TEST(BaseArrayTest, AssignmentClearsThenAddsUnderTheTargetsRules) {
    TIntArray source(0);
    for (std::int32_t v : {3, 1, 3, 2}) source.Add(v);

    TIntArray sorted(0);
    sorted.SetSorted(true);
    sorted.Add(99);
    sorted = source;
    EXPECT_EQ(Contents(sorted), (std::vector<std::int32_t>{1, 2, 3}));

    TIntArray plain(0);
    plain.Assign(source);
    EXPECT_EQ(Contents(plain), (std::vector<std::int32_t>{3, 1, 3, 2}));

    TIntArray strict(0);
    strict.SetSorted(true);
    strict.SetDuplicates(dmError);
    EXPECT_THROW(strict = source, EArrayError);

    // Assigning an array to itself keeps its elements.
    TIntArray& alias = plain;
    plain = alias;
    EXPECT_EQ(Contents(plain), (std::vector<std::int32_t>{3, 1, 3, 2}));

    TDoubleArray d(0), e(0);
    d.Add(1.5);
    d.Add(-2.0);
    e = d;
    ASSERT_EQ(e.Count(), 2);
    EXPECT_EQ(e.GetAt(1), -2.0);
}

TEST(BaseArrayTest, InsertingAnElementOfTheSameBlockSurvivesTheResize) {
    TRawArray a(0, 24);
    std::byte item[24];
    for (int i = 0; i < 3; ++i) {
        std::memset(item, 'a' + i, sizeof item);
        a.InsertAt(a.Count(), item);
    }
    a.InsertAt(0, a.ItemPtr(2));  // the resize moves the block under the argument
    ASSERT_EQ(a.Count(), 4);
    a.GetItem(0, item);
    EXPECT_EQ(item[0], std::byte('c'));
    EXPECT_EQ(item[23], std::byte('c'));
    a.GetItem(3, item);
    EXPECT_EQ(item[0], std::byte('c'));
}

// Every bit of a value survives the raw copies, through the growth of a new array: an element
// block narrower than the type, or a move of the wrong length, would cut or mix values.
TEST(BaseArrayTest, NewArraysKeepEveryValueOfTheirTypeInOrder) {
    const std::int32_t ints[] = {std::numeric_limits<std::int32_t>::max(), -1,
                                 std::numeric_limits<std::int32_t>::min(), 0, 0x01020304};
    TIntArray intArray;
    for (int round = 0; round < 20; ++round)
        for (std::int32_t v : ints) intArray.Add(v);
    ASSERT_EQ(intArray.Count(), 100);
    for (std::int32_t i = 0; i < intArray.Count(); ++i) EXPECT_EQ(intArray.GetAt(i), ints[i % 5]);

    const double doubles[] = {std::numeric_limits<double>::max(),
                              -std::numeric_limits<double>::denorm_min(), -0.0, 1.0 / 3, 1e-300};
    TDoubleArray doubleArray;
    for (int round = 0; round < 20; ++round)
        for (double v : doubles) doubleArray.Add(v);
    ASSERT_EQ(doubleArray.Count(), 100);
    for (std::int32_t i = 0; i < doubleArray.Count(); ++i) {
        const double got = doubleArray.GetAt(i);
        EXPECT_EQ(std::memcmp(&got, &doubles[i % 5], sizeof got), 0) << i;
    }
}

TEST(BaseArrayTest, MemoryGuardRefusesGrowthBeyondWhatTheSystemCanGive) {
    ASSERT_GT(MemoryLimit(), 0);
    // 64 elements of 1 GiB each: more than the machine has, and more than 2^31 bytes, so a
    // 32-bit sum would wrap around.
    TRawArray a(0, 1 << 30);
    try {
        a.SetCapacity(64);
        FAIL() << "no ELowCapacityError";
    } catch (const ELowCapacityError& e) {
        EXPECT_STREQ(e.what(),
                     "The DecisionCube Capacity is low. Please deactivate dimensions or change "
                     "the data set.");
    }
    EXPECT_EQ(a.Capacity(), 0);

    TIntArray ints(0);
    ints.Add(1);
    ints.SetCapacity(1000);  // a modest request passes
    EXPECT_EQ(ints.GetAt(0), 1);
}

TEST(BaseArrayTest, MemoryInUseCountsAFilledBlock) {
    const std::int64_t before = HeapInUse();
    ASSERT_GT(before, 0);
    // 64 MiB written through: memory in use, however it is measured.
    std::vector<char> block(std::size_t(64) << 20, 'x');
    const std::int64_t after = HeapInUse();
    EXPECT_GE(after - before, std::int64_t(48) << 20) << before << " -> " << after;
    EXPECT_EQ(block[block.size() / 2], 'x');
}

TEST(BaseArrayTest, ErrorsDeriveFromTheEngineException) {
    TIntArray a(0);
    EXPECT_THROW(a.Delete(0), Exception);
    EXPECT_STREQ(EArrayError::General().what(), "General array error.");
}

}  // namespace
}  // namespace ov
