#include "strtables/pe/resource_serializer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

namespace korva::pe {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

// Builds trees by hand, owning the data the leaves view.
class TreeFixture {
public:
    ResourceDirectory& Dir(ResourceDirectory& parent, ResourceId id, DirectoryInfo info = {}) {
        ResourceEntry entry;
        entry.id = std::move(id);
        entry.subdirectory = std::make_unique<ResourceDirectory>();
        entry.subdirectory->info = info;
        parent.entries.push_back(std::move(entry));
        return *parent.entries.back().subdirectory;
    }
    ResourceData& Leaf(ResourceDirectory& parent, ResourceId id, const std::string& bytes,
                       std::uint32_t codePage = 0) {
        const Bytes8& stored = storage_.emplace_back(bytes.begin(), bytes.end());
        ResourceEntry entry;
        entry.id = std::move(id);
        entry.data = std::make_unique<ResourceData>();
        entry.data->bytes = stored;
        entry.data->codePage = codePage;
        parent.entries.push_back(std::move(entry));
        return *parent.entries.back().data;
    }

private:
    std::list<Bytes8> storage_;
};

std::uint32_t U32(const Bytes8& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
std::uint16_t U16(const Bytes8& b, std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

Bytes8 Serialize(const ResourceDirectory& root, std::uint32_t baseRva) {
    Result<ResourceLayout> layout = LayOutResources(root);
    EXPECT_TRUE(layout.ok()) << layout.error().message;
    Result<Bytes8> bytes = FillResources(*layout, baseRva);
    EXPECT_TRUE(bytes.ok()) << bytes.error().message;
    EXPECT_EQ(bytes->size(), layout->size());
    return *bytes;
}

TEST(ResourceSerializer, WritesTheExactBytesOfAThreeLevelTree) {
    TreeFixture t;
    ResourceDirectory root;
    root.info = {0xA1A2A3A4, 0x11223344, 1, 2};
    ResourceDirectory& type = t.Dir(root, ResourceId::Id(6));
    ResourceDirectory& name = t.Dir(type, ResourceId::Id(1), {0, 0x55667788, 0, 0});
    t.Leaf(name, ResourceId::Id(0x409), "AB", 1252);

    const Bytes8 expected = {
        // root table at 0: characteristics, time stamp, version 1.2, 0 named, 1 id entry
        0xA4, 0xA3, 0xA2, 0xA1, 0x44, 0x33, 0x22, 0x11, 1, 0, 2, 0, 0, 0, 1, 0, 6, 0, 0, 0, 24, 0,
        0, 0x80, // id 6 -> subdirectory at 24
        // type table at 24
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 48, 0, 0,
        0x80, // id 1 -> subdirectory at 48
        // name table at 48, its own time stamp kept
        0, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 0, 0, 0, 0, 0, 0, 1, 0, 0x09, 0x04, 0, 0, 72, 0, 0,
        0, // language 0x409 -> data entry at 72
        // data entry at 72: RVA base + 88, size 2, code page 1252, reserved
        0x58, 0x10, 0, 0, 2, 0, 0, 0, 0xE4, 0x04, 0, 0, 0, 0, 0, 0,
        // data at 88 (already 8-aligned)
        'A', 'B'};
    EXPECT_EQ(Serialize(root, 0x1000), expected);
}

TEST(ResourceSerializer, SortsEntriesForTheLoadersBinarySearch) {
    TreeFixture t;
    ResourceDirectory root;
    // Given out of order: ids, and names where one is a proper prefix of another.
    t.Leaf(root, ResourceId::Id(300), "");
    t.Leaf(root, ResourceId::Name(u"B"), "");
    t.Leaf(root, ResourceId::Id(5), "");
    t.Leaf(root, ResourceId::Name(u"ABC"), "");
    t.Leaf(root, ResourceId::Name(u"AB"), "");
    // Code units, not a locale: U+00E9 sorts after 'Z', 'a' after 'B'.
    t.Leaf(root, ResourceId::Name(u"\u00E9"), "");
    t.Leaf(root, ResourceId::Name(u"a"), "");
    const Bytes8 b = Serialize(root, 0);

    EXPECT_EQ(U16(b, 12), 5); // named entries
    EXPECT_EQ(U16(b, 14), 2); // id entries
    std::vector<std::u16string> names;
    for (std::size_t i = 0; i < 5; ++i) {
        const std::uint32_t field = U32(b, 16 + 8 * i);
        ASSERT_TRUE(field & 0x80000000u);
        const std::uint32_t at = field & 0x7FFFFFFF;
        std::u16string name;
        for (std::uint16_t k = 0; k < U16(b, at); ++k) {
            name += static_cast<char16_t>(U16(b, at + 2 + 2 * k));
        }
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"AB", u"ABC", u"B", u"a", u"\u00E9"}));
    EXPECT_EQ(U32(b, 16 + 8 * 5), 5u);
    EXPECT_EQ(U32(b, 16 + 8 * 6), 300u);
}

TEST(ResourceSerializer, KeepsNamesExactAndAlignsEveryDatumTo8) {
    TreeFixture t;
    ResourceDirectory root;
    const std::u16string odd = u"x\xD800y"; // a lone surrogate stays as it is
    ResourceDirectory& type = t.Dir(root, ResourceId::Name(odd));
    for (std::uint16_t i = 1; i <= 5; ++i) {
        t.Leaf(type, ResourceId::Id(i), std::string(i * 3, static_cast<char>('a' + i)));
    }
    const std::uint32_t base = 0x3000;
    const Bytes8 b = Serialize(root, base);

    const std::uint32_t nameAt = U32(b, 16) & 0x7FFFFFFF;
    ASSERT_EQ(U16(b, nameAt), 3);
    EXPECT_EQ(U16(b, nameAt + 4), 0xD800);
    const std::uint32_t typeAt = U32(b, 20) & 0x7FFFFFFF;
    for (std::uint32_t i = 0; i < 5; ++i) {
        const std::uint32_t entryAt = U32(b, typeAt + 16 + 8 * i + 4);
        ASSERT_EQ(entryAt % 4, 0u);
        const std::uint32_t rva = U32(b, entryAt);
        const std::uint32_t size = U32(b, entryAt + 4);
        EXPECT_EQ(rva % 8, 0u) << "entry " << i;
        ASSERT_GE(rva, base);
        ASSERT_LE(rva - base + size, b.size());
        EXPECT_EQ(size, (i + 1) * 3);
        EXPECT_EQ(b[rva - base], 'a' + i + 1);
    }
}

TEST(ResourceSerializer, DataTheReaderCouldNotLocateKeepsItsPointer) {
    TreeFixture t;
    ResourceDirectory root;
    ResourceData& lost = t.Leaf(root, ResourceId::Id(1), "");
    lost.located = false;
    lost.originalRva = 0x00DEAD00;
    lost.originalSize = 0x40;
    Result<ResourceLayout> layout = LayOutResources(root);
    ASSERT_TRUE(layout.ok());
    ASSERT_EQ(layout->keptPointers().size(), 1u);
    EXPECT_EQ(layout->keptPointers()[0].rva, 0x00DEAD00u);
    const Bytes8 b = *FillResources(*layout, 0x1000);
    EXPECT_EQ(b.size(), 16u + 8 + 16); // no data bytes for it
    EXPECT_EQ(U32(b, 24), 0x00DEAD00u);
    EXPECT_EQ(U32(b, 28), 0x40u);
}

TEST(ResourceSerializer, AnEmptyTreeIsAnEmptyRoot) {
    const Bytes8 b = Serialize(ResourceDirectory{}, 0x1000);
    EXPECT_EQ(b, Bytes8(16, 0));
}

TEST(ResourceSerializer, RefusesTreesTheFormatCannotHold) {
    struct Case {
        const char* what;
        void (*build)(TreeFixture&, ResourceDirectory&);
        const char* why;
    };
    const Case cases[] = {
        {"the same id twice",
         [](TreeFixture& t, ResourceDirectory& r) {
             t.Leaf(r, ResourceId::Id(7), "a");
             t.Leaf(r, ResourceId::Id(7), "b");
         },
         "resource directory lists type #7 twice"},
        {"the same name twice",
         [](TreeFixture& t, ResourceDirectory& r) {
             t.Leaf(r, ResourceId::Name(u"N"), "a");
             t.Dir(r, ResourceId::Name(u"N"));
         },
         "resource directory lists type \"N\" twice"},
        {"an entry with neither directory nor data",
         [](TreeFixture&, ResourceDirectory& r) { r.entries.push_back(ResourceEntry{}); },
         "resource type #0 must be either a directory or data"},
        {"an entry with both",
         [](TreeFixture& t, ResourceDirectory& r) {
             t.Leaf(r, ResourceId::Id(1), "a");
             r.entries.back().subdirectory = std::make_unique<ResourceDirectory>();
         },
         "resource type #1 (cursor) must be either a directory or data"},
        {"a name of 65536 units, one too long for its length word",
         [](TreeFixture& t, ResourceDirectory& r) {
             t.Leaf(r, ResourceId::Name(std::u16string(65536, u'x')), "");
         },
         "resource name longer than 65535 characters in the root directory"},
        {"65536 id entries in one directory",
         [](TreeFixture& t, ResourceDirectory& r) {
             for (std::uint32_t i = 0; i < 65536; ++i) {
                 t.Leaf(r, ResourceId::Id(static_cast<std::uint16_t>(i)), "");
             }
         },
         "more than 65535 resource entries of one kind in the root directory"},
        {"a name deeper down that is too long",
         [](TreeFixture& t, ResourceDirectory& r) {
             ResourceDirectory& type = t.Dir(r, ResourceId::Id(6));
             t.Leaf(type, ResourceId::Name(std::u16string(70000, u'y')), "");
         },
         "resource name longer than 65535 characters under type #6 (string table)"},
        // What a linker leaves when two objects hold the same resource: the
        // message names the copy, as the linker's warning did.
        {"one language of a menu twice, as two objects linked together give it",
         [](TreeFixture& t, ResourceDirectory& r) {
             ResourceDirectory& menus = t.Dir(t.Dir(r, ResourceId::Id(4)), ResourceId::Id(1));
             t.Leaf(menus, ResourceId::Id(0x409), "a");
             t.Leaf(menus, ResourceId::Id(0x409), "b");
         },
         "resource directory lists type #4 (menu), name #1, language 0x0409 twice"},
        {"one name of a string-named type twice",
         [](TreeFixture& t, ResourceDirectory& r) {
             ResourceDirectory& type = t.Dir(r, ResourceId::Name(u"PNG"));
             t.Dir(type, ResourceId::Name(u"LOGO"));
             t.Dir(t.Dir(r, ResourceId::Id(6)), ResourceId::Id(2));
             t.Dir(type, ResourceId::Name(u"LOGO"));
         },
         "resource directory lists type \"PNG\", name \"LOGO\" twice"},
        {"a leaf without data deep in a block",
         [](TreeFixture& t, ResourceDirectory& r) {
             ResourceDirectory& block = t.Dir(t.Dir(r, ResourceId::Id(6)), ResourceId::Id(3));
             t.Leaf(block, ResourceId::Id(0x407), "a");
             block.entries.push_back(ResourceEntry{ResourceId::Id(0x40C), nullptr, nullptr});
         },
         "resource type #6 (string table), name #3, language 0x040C must be either a directory "
         "or data"},
        {"65536 languages of one dialog",
         [](TreeFixture& t, ResourceDirectory& r) {
             ResourceDirectory& dialog = t.Dir(t.Dir(r, ResourceId::Id(5)), ResourceId::Name(u"A"));
             for (std::uint32_t i = 0; i < 65536; ++i) {
                 t.Leaf(dialog, ResourceId::Id(static_cast<std::uint16_t>(i)), "");
             }
         },
         "more than 65535 resource entries of one kind under type #5 (dialog), name \"A\""},
    };
    for (const Case& c : cases) {
        TreeFixture t;
        ResourceDirectory root;
        c.build(t, root);
        const Result<ResourceLayout> layout = LayOutResources(root);
        ASSERT_FALSE(layout.ok()) << c.what;
        EXPECT_EQ(layout.error().message, c.why) << c.what;
    }
}

TEST(ResourceSerializer, AcceptsTheLargestCountsAndNames) {
    TreeFixture t;
    ResourceDirectory root;
    for (std::uint32_t i = 0; i < 65535; ++i) {
        t.Leaf(root, ResourceId::Id(static_cast<std::uint16_t>(i)), "");
    }
    t.Leaf(root, ResourceId::Name(std::u16string(65535, u'x')), "");
    const Result<ResourceLayout> layout = LayOutResources(root);
    ASSERT_TRUE(layout.ok()) << layout.error().message;
    const Bytes8 b = *FillResources(*layout, 0);
    EXPECT_EQ(U16(b, 12), 1);
    EXPECT_EQ(U16(b, 14), 65535);
}

TEST(ResourceSerializer, RefusesASectionEndingPast4GiB) {
    TreeFixture t;
    ResourceDirectory root;
    t.Leaf(root, ResourceId::Id(1), std::string(100, 'x'));
    const Result<ResourceLayout> layout = LayOutResources(root);
    ASSERT_TRUE(layout.ok());
    // Boundary triplet: ends exactly at the top, one byte over, far over.
    EXPECT_TRUE(FillResources(*layout, 0xFFFFFFFF - layout->size()).ok());
    EXPECT_FALSE(FillResources(*layout, 0xFFFFFFFF - layout->size() + 1).ok());
    EXPECT_FALSE(FillResources(*layout, 0xFFFFFFFF).ok());
}

} // namespace
} // namespace korva::pe
