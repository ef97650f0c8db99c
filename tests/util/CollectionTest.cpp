// Tests of the owning collections: run-time errors 213 and 214, growth, ownership on every
// path, and the sorted collection's search, duplicates and identity look-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "util/Collection.h"

namespace ov {
namespace {

struct TTracked {
    TTracked(std::string name, std::vector<std::string>* destroyed)
        : Name(std::move(name)), Destroyed(destroyed) {}
    ~TTracked() {
        if (Destroyed != nullptr) Destroyed->push_back(Name);
    }
    std::string Name;
    std::vector<std::string>* Destroyed;
};

std::unique_ptr<TTracked> Make(std::string name, std::vector<std::string>* destroyed = nullptr) {
    return std::make_unique<TTracked>(std::move(name), destroyed);
}

// Keyed by name, compared byte-wise; optionally with duplicates.
class TByName : public TSortedCollection<TTracked, std::string_view> {
  public:
    explicit TByName(bool duplicates = false) : TSortedCollection(4, 4) {
        SetAllowDuplicates(duplicates);
    }

  protected:
    int Compare(const std::string_view& a, const std::string_view& b) const override {
        return a.compare(b);
    }
    std::string_view ItemKey(const TTracked* item) const override { return item->Name; }
};

struct TPoint {
    double X, Y;
};

class TPointsByX : public TSortedCollection<TPoint, double> {
  public:
    TPointsByX() : TSortedCollection(0, 8) {}

  protected:
    int Compare(const double& a, const double& b) const override { return a < b ? -1 : (a > b); }
    double ItemKey(const TPoint* p) const override { return p->X; }
};

template <class F>
int RunErrorOf(F&& f) {
    try {
        f();
    } catch (const ERunError& e) {
        return e.ErrorCode();
    }
    return 0;
}

std::vector<std::string> Names(const TCollection<TTracked>& c) {
    std::vector<std::string> v;
    for (std::int32_t i = 0; i < c.Count(); ++i) v.push_back(c.ItemAt(i)->Name);
    return v;
}

TEST(CollectionTest, PositionsOutsideTheEntriesRaise213) {
    TCollection<TTracked> c(4, 4);
    auto a = Make("a");
    c.Insert(a);
    EXPECT_EQ(RunErrorOf([&] { c.ItemAt(-1); }), 213);
    EXPECT_EQ(RunErrorOf([&] { c.ItemAt(1); }), 213);
    EXPECT_EQ(RunErrorOf([&] { c.RemoveAt(1); }), 213);
    EXPECT_EQ(RunErrorOf([&] { c.RemoveAt(-1); }), 213);
    auto b = Make("b");
    EXPECT_EQ(RunErrorOf([&] { c.InsertAt(2, b); }), 213);
    EXPECT_EQ(RunErrorOf([&] { c.InsertAt(-1, b); }), 213);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(Names(c), std::vector<std::string>{"a"});
    try {
        c.ItemAt(5);
    } catch (const ERunError& e) {
        EXPECT_STREQ(e.what(), "Collection index out of range");
    }
}

TEST(CollectionTest, FullCollectionThatCannotGrowRaises214AndKeepsTheItemWithTheCaller) {
    std::vector<std::string> destroyed;
    TCollection<TTracked> c(2, 0);
    auto a = Make("a", &destroyed), b = Make("b", &destroyed), x = Make("x", &destroyed);
    c.Insert(a);
    c.Insert(b);
    try {
        c.Insert(x);
        FAIL() << "no ERunError";
    } catch (const ERunError& e) {
        EXPECT_EQ(e.ErrorCode(), 214);
        EXPECT_STREQ(e.what(), "Collection overflow error");
    }
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->Name, "x");
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(c.Capacity(), 2);
    EXPECT_TRUE(destroyed.empty());
}

TEST(CollectionTest, GrowsInStepsOfGrowByAndNeverShrinksOnItsOwn) {
    TCollection<TTracked> c(2, 3);
    for (const char* n : {"a", "b", "c"}) {
        auto item = Make(n);
        EXPECT_TRUE(c.Insert(item));
        EXPECT_EQ(item, nullptr);
    }
    EXPECT_EQ(c.Capacity(), 5);
    c.RemoveAt(0);
    c.RemoveAt(0);
    EXPECT_EQ(c.Capacity(), 5);
    c.SetCapacity(0);  // raised to Count
    EXPECT_EQ(c.Capacity(), 1);
    EXPECT_EQ(Names(c), std::vector<std::string>{"c"});
}

TEST(CollectionTest, CapacityRequestsAreRaisedToCountAndCapped) {
    EXPECT_EQ(ClampCollectionCapacity(3, 5), 5);
    EXPECT_EQ(ClampCollectionCapacity(-1, 0), 0);
    EXPECT_EQ(ClampCollectionCapacity(std::int64_t(MaxCollectionSize) + 16, 0), 536870911);
    EXPECT_EQ(ClampCollectionCapacity(std::int64_t(MaxCollectionSize), 7), MaxCollectionSize);
}

TEST(CollectionTest, InsertAtAndRemoveAtMoveTheFollowingEntries) {
    std::vector<std::string> destroyed;
    TCollection<TTracked> c(0, 4);
    for (const char* n : {"a", "c"}) {
        auto item = Make(n, &destroyed);
        c.Insert(item);
    }
    auto b = Make("b", &destroyed);
    c.InsertAt(1, b);
    auto front = Make("0", &destroyed);
    c.InsertAt(0, front);
    EXPECT_EQ(Names(c), (std::vector<std::string>{"0", "a", "b", "c"}));
    std::unique_ptr<TTracked> taken = c.RemoveAt(2);
    EXPECT_EQ(taken->Name, "b");
    EXPECT_EQ(Names(c), (std::vector<std::string>{"0", "a", "c"}));
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(c.IndexOf(c.ItemAt(2)), 2);
    EXPECT_EQ(c.IndexOf(taken.get()), -1);
}

TEST(CollectionTest, ClearDestroysEveryEntryAndTheDestructorTheRest) {
    std::vector<std::string> destroyed;
    {
        TCollection<TTracked> c(8, 4);
        for (const char* n : {"a", "b", "c"}) {
            auto item = Make(n, &destroyed);
            c.Insert(item);
        }
        c.Clear();
        EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(c.Count(), 0);
        EXPECT_EQ(c.Capacity(), 8);
        auto d = Make("d", &destroyed);
        c.Insert(d);
    }
    EXPECT_EQ(destroyed.back(), "d");
}

TEST(CollectionTest, SearchGivesTheInsertionPositionWhenAbsent) {
    TByName c;
    std::int32_t index = -1;
    EXPECT_FALSE(c.Search("m", index));
    EXPECT_EQ(index, 0);
    for (const char* n : {"m", "c", "x"}) {
        auto item = Make(n);
        c.Insert(item);
    }
    EXPECT_EQ(Names(c), (std::vector<std::string>{"c", "m", "x"}));
    const struct {
        const char* key;
        bool found;
        std::int32_t index;
    } cases[] = {{"a", false, 0}, {"c", true, 0}, {"d", false, 1},
                 {"m", true, 1},  {"x", true, 2}, {"z", false, 3}};
    for (const auto& k : cases) {
        EXPECT_EQ(c.Search(k.key, index), k.found) << k.key;
        EXPECT_EQ(index, k.index) << k.key;
    }
}

TEST(CollectionTest, PresentKeyWithoutDuplicatesLeavesTheItemWithTheCaller) {
    std::vector<std::string> destroyed;
    TByName c;
    auto first = Make("k", &destroyed);
    TTracked* present = first.get();
    EXPECT_TRUE(c.Insert(first));
    auto second = Make("k", &destroyed);
    EXPECT_FALSE(c.Insert(second));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.ItemAt(0), present);
    EXPECT_TRUE(destroyed.empty());
    // Without duplicates an object is found by its key.
    EXPECT_EQ(c.IndexOf(second.get()), 0);
    EXPECT_EQ(c.IndexOf(nullptr), -1);
}

TEST(CollectionTest, DuplicatesGoBeforeTheirEqualsAndAreFoundByIdentity) {
    TByName c(true);
    for (const char* n : {"b", "k", "k", "z"}) {
        auto item = Make(n);
        c.Insert(item);
    }
    const TTracked* old1 = c.ItemAt(1);
    const TTracked* old2 = c.ItemAt(2);
    auto fresh = Make("k");
    const TTracked* added = fresh.get();
    EXPECT_TRUE(c.Insert(fresh));
    EXPECT_EQ(c.ItemAt(1), added);
    EXPECT_EQ(c.ItemAt(2), old1);
    EXPECT_EQ(c.ItemAt(3), old2);
    EXPECT_EQ(c.IndexOf(added), 1);
    EXPECT_EQ(c.IndexOf(old2), 3);
    TTracked stranger("k", nullptr);
    EXPECT_EQ(c.IndexOf(&stranger), -1);
    std::int32_t index = -1;
    EXPECT_TRUE(c.Search("k", index));
    EXPECT_EQ(index, 1);
}

TEST(CollectionTest, SortedInsertKeepsKeyOrderForAnyInput) {
    std::mt19937 rng(7);
    std::vector<double> xs;
    for (int i = 0; i < 200; ++i) xs.push_back(i * 0.5);
    std::shuffle(xs.begin(), xs.end(), rng);
    TPointsByX points;
    for (double x : xs) {
        auto p = std::make_unique<TPoint>(TPoint{x, -x});
        ASSERT_TRUE(points.Insert(p));
    }
    ASSERT_EQ(points.Count(), 200);
    for (std::int32_t i = 0; i < points.Count(); ++i) EXPECT_EQ(points.ItemAt(i)->X, i * 0.5);
    EXPECT_EQ(points.Capacity(), 200);
    std::int32_t index = -1;
    EXPECT_FALSE(points.Search(1000.0, index));
    EXPECT_EQ(index, points.Count());
}

}  // namespace
}  // namespace ov
