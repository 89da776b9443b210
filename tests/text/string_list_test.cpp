#include "text/string_list.h"

#include <gtest/gtest.h>

#include <memory>
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
    SortedStringList<int> dict;
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

// The list keeps its own packed copies of the texts: they must outlive the
// strings they came from and come back byte for byte, however many and
// however long they are.
TEST(StringList, KeepsItsOwnCopiesOfManyAndLongTexts) {
    TStringList<int> list;
    std::vector<std::string> expected;
    for (int i = 0; i < 5000; ++i) {
        std::string text =
            "text " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 40), 'x');
        if (i % 7 == 0) {
            text.push_back('\0');
        }
        if (i == 2500) {
            text = std::string(300 * 1024, 'L'); // more than any chunk
        }
        if (i % 11 == 0) {
            text.clear();
        }
        expected.push_back(text);
        list.Append(text, i);
        text.assign(text.size(), '?'); // the list must not view the caller's string
    }
    ASSERT_EQ(list.Count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(list.Text(i), expected[i]) << i;
        ASSERT_EQ(list.GetObject(i), static_cast<int>(i));
    }
}

TEST(StringList, CopiesAndMovesKeepTheirTextsApart) {
    auto original = std::make_unique<TStringList<int>>();
    original->Append("first", 1);
    original->Append("second", 2);
    TStringList<int> copy = *original;
    TStringList<int> assigned;
    assigned.Append("dropped", 9);
    assigned = *original;
    original.reset(); // the copies must not view the original's texts
    ASSERT_EQ(copy.Count(), 2u);
    EXPECT_EQ(copy.Text(0), "first");
    EXPECT_EQ(copy.Text(1), "second");
    ASSERT_EQ(assigned.Count(), 2u);
    EXPECT_EQ(assigned.Text(0), "first");
    EXPECT_EQ(assigned.GetObject(1), 2);

    TStringList<int> moved = std::move(copy);
    // A list moved from and used again must not write into the room of the
    // list it was moved into.
    for (int i = 0; i < 100; ++i) {
        copy.Append("overwrite", i); // NOLINT(bugprone-use-after-move)
    }
    EXPECT_EQ(copy.Text(0), "overwrite");
    ASSERT_EQ(moved.Count(), 2u);
    EXPECT_EQ(moved.Text(0), "first");
    EXPECT_EQ(moved.Text(1), "second");
    moved.Append("third", 3);
    EXPECT_EQ(moved.Text(2), "third");
}

// Shared texts stay valid as long as the list holds their owner, after
// everyone else let it go; a copy of the list needs neither.
TEST(StringList, SharedTextsLiveWithTheOwnerTheListKeeps) {
    auto store = std::make_shared<std::string>("shared text");
    const std::weak_ptr<std::string> watch = store;
    auto list = std::make_unique<TStringList<int>>();
    list->Append("own", 1);
    list->KeepAlive(store);
    list->KeepAlive(store); // once is enough
    list->AppendShared(*store, 2);
    list->AppendShared(list->Text(0), 3);
    store.reset();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(list->Text(1), "shared text");
    EXPECT_EQ(list->Text(2), "own");

    const TStringList<int> copy = *list;
    list.reset();
    EXPECT_TRUE(watch.expired());
    ASSERT_EQ(copy.Count(), 3u);
    EXPECT_EQ(copy.Text(1), "shared text");
    EXPECT_EQ(copy.Text(2), "own");
}

} // namespace
} // namespace korva
