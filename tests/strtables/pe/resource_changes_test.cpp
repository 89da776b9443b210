#include "strtables/pe/resource_changes.h"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

namespace korva::pe {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

const ResourceId kStrings = ResourceId::Id(6);
const ResourceId kBlock1 = ResourceId::Id(1);

Bytes8 B(const std::string& s) {
    return Bytes8(s.begin(), s.end());
}

// The data at type/name/language, or null.
const ResourceData* At(const ResourceDirectory& root, const ResourceId& type,
                       const ResourceId& name, std::uint16_t language) {
    const ResourceEntry* t = FindEntry(root, type);
    if (t == nullptr || !t->subdirectory) {
        return nullptr;
    }
    const ResourceEntry* n = FindEntry(*t->subdirectory, name);
    if (n == nullptr || !n->subdirectory) {
        return nullptr;
    }
    const ResourceEntry* l = FindEntry(*n->subdirectory, ResourceId::Id(language));
    return l == nullptr ? nullptr : l->data.get();
}

std::string Text(const ResourceData* d) {
    return d == nullptr ? "<none>" : std::string(d->bytes.begin(), d->bytes.end());
}

// The tree a reader would give for block 1 in languages 0 and 0x407, and a
// second block, with the original file's bytes behind it.
class ResourceChangesTest : public testing::Test {
protected:
    void SetUp() override {
        root.info.timeDateStamp = 0x1234;
        ResourceEntry type{kStrings, std::make_unique<ResourceDirectory>(), nullptr};
        type.subdirectory->entries.push_back(MakeName(1, {{0, "neutral"}, {0x407, "german"}}));
        type.subdirectory->entries.push_back(MakeName(2, {{0, "other"}}));
        root.entries.push_back(std::move(type));
    }
    ResourceEntry MakeName(std::uint16_t id,
                           std::vector<std::pair<std::uint16_t, std::string>> copies) {
        ResourceEntry name{ResourceId::Id(id), std::make_unique<ResourceDirectory>(), nullptr};
        for (const auto& [language, text] : copies) {
            const Bytes8& stored = file.emplace_back(B(text));
            auto data = std::make_unique<ResourceData>();
            data->bytes = stored;
            data->codePage = 1252;
            name.subdirectory->entries.push_back(
                {ResourceId::Id(language), nullptr, std::move(data)});
        }
        return name;
    }

    std::list<Bytes8> file;
    ResourceDirectory root;
};

TEST_F(ResourceChangesTest, PutAddsOrReplacesOneCopyAndLeavesTheRest) {
    ResourceChanges changes(root);
    EXPECT_FALSE(changes.changed());
    ASSERT_TRUE(changes.Put(kStrings, kBlock1, 9, B("english")).ok());
    ASSERT_TRUE(changes.Put(kStrings, kBlock1, 0x407, B("deutsch")).ok());
    const ResourceDirectory& t = changes.tree();
    EXPECT_TRUE(changes.changed());
    EXPECT_EQ(Text(At(t, kStrings, kBlock1, 9)), "english");
    EXPECT_EQ(Text(At(t, kStrings, kBlock1, 0x407)), "deutsch");
    EXPECT_EQ(At(t, kStrings, kBlock1, 0x407)->codePage, 0u);
    EXPECT_EQ(Text(At(t, kStrings, kBlock1, 0)), "neutral");
    EXPECT_EQ(At(t, kStrings, kBlock1, 0)->codePage, 1252u);
    EXPECT_EQ(Text(At(t, kStrings, ResourceId::Id(2), 0)), "other");
    EXPECT_EQ(t.info.timeDateStamp, 0x1234u);
    // The original tree is a different object and did not change.
    EXPECT_EQ(Text(At(root, kStrings, kBlock1, 0x407)), "german");
    EXPECT_EQ(At(root, kStrings, kBlock1, 9), nullptr);
}

TEST_F(ResourceChangesTest, PutCreatesMissingTypesAndNamesAndCopiesTheBytes) {
    ResourceChanges changes(root);
    Bytes8 source = B("text");
    const ResourceId named = ResourceId::Name(u"MYTEXTS");
    ASSERT_TRUE(changes.Put(ResourceId::Name(u"CUSTOM"), named, 0x409, source).ok());
    source[0] = 'X';
    EXPECT_EQ(Text(At(changes.tree(), ResourceId::Name(u"CUSTOM"), named, 0x409)), "text");
}

TEST_F(ResourceChangesTest, RemoveDropsTheCopyThenEmptyNamesThenEmptyTypes) {
    ResourceChanges changes(root);
    ASSERT_TRUE(changes.Remove(kStrings, kBlock1, 0).ok());
    EXPECT_TRUE(changes.changed());
    EXPECT_EQ(At(changes.tree(), kStrings, kBlock1, 0), nullptr);
    EXPECT_EQ(Text(At(changes.tree(), kStrings, kBlock1, 0x407)), "german");

    ASSERT_TRUE(changes.Remove(kStrings, kBlock1, 0x407).ok());
    const ResourceDirectory& types = *FindEntry(changes.tree(), kStrings)->subdirectory;
    EXPECT_EQ(FindEntry(types, kBlock1), nullptr) << "an empty name goes";
    ASSERT_TRUE(changes.Remove(kStrings, ResourceId::Id(2), 0).ok());
    EXPECT_TRUE(changes.tree().entries.empty()) << "an empty type goes";
}

TEST_F(ResourceChangesTest, RemovingWhatIsNotThereSucceedsWithoutAChange) {
    struct Case {
        const char* what;
        ResourceId type;
        ResourceId name;
        std::uint16_t language;
    };
    const Case cases[] = {
        {"missing language", kStrings, kBlock1, 0x409},
        {"missing name", kStrings, ResourceId::Id(99), 0},
        {"missing type", ResourceId::Id(4), kBlock1, 0},
        {"a name where an id is", kStrings, ResourceId::Name(u"1"), 0},
    };
    for (const Case& c : cases) {
        ResourceChanges changes(root);
        EXPECT_TRUE(changes.Remove(c.type, c.name, c.language).ok()) << c.what;
        EXPECT_FALSE(changes.changed()) << c.what;
        EXPECT_EQ(Text(At(changes.tree(), kStrings, kBlock1, 0)), "neutral") << c.what;
    }
}

TEST_F(ResourceChangesTest, PutFailsWhereDataSitsInPlaceOfADirectory) {
    // Crafted files can put a data leaf at the type or the name level.
    const Bytes8& stored = file.emplace_back(B("leaf"));
    auto leaf = std::make_unique<ResourceData>();
    leaf->bytes = stored;
    root.entries.push_back({ResourceId::Id(10), nullptr, std::move(leaf)});
    ResourceChanges changes(root);
    const Result<void> put = changes.Put(ResourceId::Id(10), kBlock1, 0x407, B("x"));
    ASSERT_FALSE(put.ok());
    // Named as the copy being staged, so that a writer's message says which.
    EXPECT_EQ(put.error().message,
              "staging type #10 (RCDATA), name #1, language 0x0407: resource data found where a "
              "directory was expected");
    EXPECT_FALSE(changes.changed());
    EXPECT_TRUE(changes.Remove(ResourceId::Id(10), kBlock1, 0).ok());
    EXPECT_FALSE(changes.changed());
}

TEST_F(ResourceChangesTest, PutReplacesADeeperDirectoryAtTheLanguageLevel) {
    ResourceEntry& lang =
        FindEntry(*FindEntry(root, kStrings)->subdirectory, kBlock1)->subdirectory->entries[0];
    lang.data.reset();
    lang.subdirectory = std::make_unique<ResourceDirectory>();
    ResourceChanges changes(root);
    ASSERT_TRUE(changes.Put(kStrings, kBlock1, 0, B("flat")).ok());
    EXPECT_EQ(Text(At(changes.tree(), kStrings, kBlock1, 0)), "flat");
}

} // namespace
} // namespace korva::pe
