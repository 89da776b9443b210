#include "common/string_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace korva {
namespace {

TEST(StringList, KeepsInsertionOrderAndDeletesByIndex) {
    TStringList<int> list;
    EXPECT_EQ(list.Append("b", 1), 0u);
    EXPECT_EQ(list.Append("a", 2), 1u);
    EXPECT_EQ(list.Append(std::string("\0", 1), 3), 2u);
    list.SetObject(1, 20);
    list.Delete(0);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Text(0), "a");
    EXPECT_EQ(list.GetObject(0), 20);
    EXPECT_EQ(list.Text(1), std::string("\0", 1));
}

TEST(SortedStringList, IgnoresDuplicatesUnderTheCaseFold) {
    TSortedStringList<int> dict;
    EXPECT_EQ(dict.Add("Open", 1), 0u);
    EXPECT_EQ(dict.Add("Exit", 2), 0u);
    EXPECT_EQ(dict.Add("OPEN", 3), 1u); // the existing item, unchanged
    ASSERT_EQ(dict.Count(), 2u);
    EXPECT_EQ(dict.Text(1), "Open");
    EXPECT_EQ(dict.GetObject(1), 1);
    std::size_t index = 99;
    EXPECT_TRUE(dict.Find("oPeN", index));
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(dict.Find("Ope", index));
    EXPECT_EQ(index, 1u); // where it would go
    EXPECT_FALSE(dict.Find("zz", index));
    EXPECT_EQ(index, 2u);
}

// Building at once must give what adding one by one gives, with the first
// text kept and the merge seeing every later duplicate in order.
TEST(SortedStringList, AssignMatchesAddingOneByOne) {
    std::mt19937 rng(11);
    const std::string letters = "aAbBcC";
    std::vector<TStringList<int>::Item> items;
    for (int i = 0; i < 500; ++i) {
        std::string t;
        for (std::size_t n = 1 + rng() % 3; n > 0; --n) {
            t.push_back(letters[rng() % letters.size()]);
        }
        items.push_back({t, i});
    }
    TSortedStringList<int> added;
    for (const auto& item : items) {
        const std::size_t index = added.Add(item.text, item.object);
        added.SetObject(index, item.object); // the last object wins
    }
    TSortedStringList<int> assigned;
    assigned.Assign(items, [](auto& kept, auto& later) { kept.object = later.object; });
    ASSERT_EQ(assigned.Count(), added.Count());
    for (std::size_t i = 0; i < added.Count(); ++i) {
        EXPECT_EQ(assigned.Text(i), added.Text(i));
        EXPECT_EQ(assigned.GetObject(i), added.GetObject(i));
    }
}

} // namespace
} // namespace korva
