// The text list: adding many texts at once gives the list that adding them one by one gives,
// sorted or not, with the first spelling of equal texts kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/StringList.h"

namespace ov {
namespace {

std::vector<std::string> OneByOne(bool sorted, const std::vector<std::string>& before,
                                  const std::vector<std::string>& texts) {
    TStringList list(sorted);
    for (const std::string& s : before) list.Add(s);
    for (const std::string& s : texts) list.Add(s);
    return list.Items();
}

std::vector<std::string> AllAtOnce(bool sorted, const std::vector<std::string>& before,
                                   const std::vector<std::string>& texts) {
    TStringList list(sorted);
    for (const std::string& s : before) list.Add(s);
    list.AddAll(texts);
    return list.Items();
}

TEST(StringList, AddAllAddsAsAddDoes) {
    struct Case {
        std::vector<std::string> before, texts;
    };
    const std::vector<Case> cases{
        {{}, {}},
        {{}, {"B", "a", "C"}},
        {{}, {"b", "B", "a", "A", "b"}},  // equal without regard to case: the first stays
        {{"Beta", "alpha"}, {"ALPHA", "gamma", "beta", "Delta"}},  // the list's own stay
        {{}, {"a_1", "A0", "", "~", "\xE4", "Z"}},  // "_" and bytes above "Z" sort after it
        {{"x"}, {"x", "X", "x"}},
    };
    for (bool sorted : {true, false}) {
        for (const Case& c : cases) {
            EXPECT_EQ(AllAtOnce(sorted, c.before, c.texts), OneByOne(sorted, c.before, c.texts))
                << sorted << " " << c.texts.size();
        }
    }
    TStringList list(true);
    list.AddAll({"b", "A", "a"});
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"A", "b"}));
    EXPECT_EQ(list.IndexOf("B"), 1);
    EXPECT_EQ(list.Add("c"), 2);
}

}  // namespace
}  // namespace ov
