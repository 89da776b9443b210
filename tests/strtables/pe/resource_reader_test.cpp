#include "strtables/pe/resource_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "strtables/pe/resource_module.h"
#include "support/synthetic_image.h"

namespace korva::pe {
namespace {

using test::BuildSyntheticImage;
using test::ByteVector;
using test::ResourceSectionBuilder;
using test::SyntheticBlock;

Result<ResourceModule> Load(const ByteVector& rsrc, bool is64 = true) {
    return ResourceModule::FromBytes(BuildSyntheticImage(rsrc, is64).bytes);
}

std::vector<ResourceId> Names(const ResourceModule& module, std::uint16_t type,
                              EnumResult* result = nullptr) {
    std::vector<ResourceId> out;
    const EnumResult r = module.EnumNames(ResourceId::Id(type), [&](const ResourceId& name) {
        out.push_back(name);
        return true;
    });
    if (result != nullptr) {
        *result = r;
    }
    return out;
}

std::vector<std::uint16_t> Languages(const ResourceModule& module, const ResourceId& name,
                                     EnumResult* result = nullptr) {
    std::vector<std::uint16_t> out;
    const EnumResult r =
        module.EnumLanguages(ResourceId::Id(kRtString), name, [&](std::uint16_t language) {
            out.push_back(language);
            return true;
        });
    if (result != nullptr) {
        *result = r;
    }
    return out;
}

class ReaderVariant : public testing::TestWithParam<bool> {};

TEST_P(ReaderVariant, ReadsTheWholeTreeWithTableHeadersAndCodePages) {
    ResourceSectionBuilder s(test::kSyntheticRsrcRva);
    const std::uint32_t root = s.Table(1, 1, {0x11, 0x22334455, 4, 5, 0, 0});
    const std::uint32_t strings = s.Table(0, 1);
    const std::uint32_t langs = s.Table(0, 2, {0, 0x5EED, 1, 2, 0, 0});
    const std::uint32_t custom = s.Table(0, 1);
    const std::uint32_t customLangs = s.Table(0, 1);
    s.NameToTable(root, 0, s.Name(u"MY\u00C4TYPE"), custom);
    s.IdToTable(root, 1, kRtString, strings);
    s.IdToTable(strings, 0, 7, langs);
    s.IdToData(langs, 0, 0x0000, s.Data({1, 2, 3}, 1252));
    s.IdToData(langs, 1, 0x0407, s.Data({4, 5}));
    s.IdToTable(custom, 0, 1, customLangs);
    s.IdToData(customLangs, 0, 0x0409, s.Data({9}));

    const Result<ResourceModule> module = Load(s.bytes(), GetParam());
    ASSERT_TRUE(module.ok()) << module.error().message;
    const ResourceDirectory& tree = module->root();
    EXPECT_EQ(tree.info.characteristics, 0x11u);
    EXPECT_EQ(tree.info.timeDateStamp, 0x22334455u);
    EXPECT_EQ(tree.info.majorVersion, 4);
    EXPECT_EQ(tree.info.minorVersion, 5);
    ASSERT_EQ(tree.entries.size(), 2u);
    EXPECT_EQ(tree.entries[0].id, ResourceId::Name(u"MY\u00C4TYPE"));
    EXPECT_EQ(tree.entries[1].id, ResourceId::Id(kRtString));

    const ResourceDirectory& langDir = *tree.entries[1].subdirectory->entries[0].subdirectory;
    EXPECT_EQ(langDir.info.timeDateStamp, 0x5EEDu);
    EXPECT_EQ(langDir.info.majorVersion, 1);
    EXPECT_EQ(langDir.info.minorVersion, 2);

    const ResourceData* neutral = module->Find(ResourceId::Id(kRtString), ResourceId::Id(7), 0);
    ASSERT_NE(neutral, nullptr);
    EXPECT_TRUE(neutral->located);
    EXPECT_EQ(ByteVector(neutral->bytes.begin(), neutral->bytes.end()), (ByteVector{1, 2, 3}));
    EXPECT_EQ(neutral->codePage, 1252u);
    EXPECT_EQ(neutral->originalSize, 3u);
    // The span points into the module's own copy of the file.
    EXPECT_GE(neutral->bytes.data(), module->file().data());
    EXPECT_LE(neutral->bytes.data() + 3, module->file().data() + module->file().size());
    EXPECT_EQ(module->Find(ResourceId::Id(kRtString), ResourceId::Id(7), 0x0407)->bytes.size(), 2u);
    EXPECT_EQ(module->Find(ResourceId::Id(kRtString), ResourceId::Id(7), 0x0409), nullptr);
    EXPECT_EQ(module->Find(ResourceId::Id(kRtString), ResourceId::Id(8), 0), nullptr);
    EXPECT_EQ(module->Find(ResourceId::Name(u"MY\u00C4TYPE"), ResourceId::Id(1), 0x0409)->bytes[0],
              9);
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, ReaderVariant, testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "Pe32Plus" : "Pe32"; });

TEST(ResourceEnumeration, DirectoryOrderAndTheStopRule) {
    // Names in file order, deliberately unsorted: the enumeration must not sort.
    const ByteVector rsrc = test::StringTableSection({
        SyntheticBlock{false, 0, u"ZETA", {{0, {}}}},
        SyntheticBlock{false, 0, u"ALPHA", {{0, {}}}},
        SyntheticBlock{true, 9, {}, {{0x0407, {}}, {0, {}}}},
        SyntheticBlock{true, 2, {}, {{0, {}}}},
    });
    const Result<ResourceModule> module = Load(rsrc);
    ASSERT_TRUE(module.ok()) << module.error().message;

    EnumResult result{};
    EXPECT_EQ(Names(*module, kRtString, &result),
              (std::vector<ResourceId>{ResourceId::Name(u"ZETA"), ResourceId::Name(u"ALPHA"),
                                       ResourceId::Id(9), ResourceId::Id(2)}));
    EXPECT_EQ(result, EnumResult::Completed);
    EXPECT_EQ(Languages(*module, ResourceId::Id(9), &result),
              (std::vector<std::uint16_t>{0x0407, 0}));
    EXPECT_EQ(result, EnumResult::Completed);

    int calls = 0;
    EXPECT_EQ(module->EnumNames(ResourceId::Id(kRtString),
                                [&](const ResourceId&) { return ++calls < 2; }),
              EnumResult::Stopped);
    EXPECT_EQ(calls, 2);
    calls = 0;
    EXPECT_EQ(module->EnumLanguages(ResourceId::Id(kRtString), ResourceId::Id(9),
                                    [&](std::uint16_t) { return ++calls > 5; }),
              EnumResult::Stopped);
    EXPECT_EQ(calls, 1);

    EXPECT_TRUE(Names(*module, 10, &result).empty());
    EXPECT_EQ(result, EnumResult::NotFound);
    EXPECT_TRUE(Languages(*module, ResourceId::Id(3), &result).empty());
    EXPECT_EQ(result, EnumResult::NotFound);
    EXPECT_TRUE(Languages(*module, ResourceId::Name(u"alpha"), &result).empty()); // exact names
    EXPECT_EQ(result, EnumResult::NotFound);
}

TEST(ResourceEnumeration, LargeUnsortedDirectoriesAreSearchedByKey) {
    // More entries than are searched directly, out of order, with a repeated
    // key: the first in the file must be found, as in a small directory.
    std::vector<SyntheticBlock> blocks;
    for (int i = 0; i < 20; ++i) {
        blocks.push_back(SyntheticBlock{
            false, 0, u"N" + std::u16string(1, static_cast<char16_t>(u'z' - i)), {{0, {}}}});
    }
    for (int i = 0; i < 40; ++i) {
        const auto id = static_cast<std::uint16_t>((i * 7919) % 101 + 1);
        SyntheticBlock block{true, id, {}, {}};
        for (int lang = 40; lang > 0; --lang) {
            block.copies.emplace_back(static_cast<std::uint16_t>(lang),
                                      ByteVector{static_cast<std::uint8_t>(i)});
        }
        blocks.push_back(block);
    }
    blocks.push_back(
        SyntheticBlock{true, blocks[20].id, {}, {{1, {0xEE}}}}); // a repeat of the first id
    const Result<ResourceModule> module = Load(test::StringTableSection(blocks));
    ASSERT_TRUE(module.ok()) << module.error().message;
    const ResourceId type = ResourceId::Id(kRtString);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_NE(module->Find(type, ResourceId::Name(blocks[i].name), 0), nullptr) << i;
    }
    for (std::size_t i = 0; i < 40; ++i) {
        const ResourceId name = ResourceId::Id(blocks[20 + i].id);
        for (std::uint16_t lang = 1; lang <= 40; ++lang) {
            const ResourceData* data = module->Find(type, name, lang);
            ASSERT_NE(data, nullptr) << i << " " << lang;
            EXPECT_EQ(data->bytes[0], i) << i << " " << lang;
        }
        EXPECT_EQ(module->Find(type, name, 41), nullptr);
    }
    EXPECT_EQ(module->Find(type, ResourceId::Id(102), 1), nullptr);
    EXPECT_EQ(module->Find(type, ResourceId::Name(u"Nz "), 0), nullptr);
    EXPECT_EQ(Names(*module, kRtString).size(), blocks.size()); // enumerates the repeat too
}

TEST(ResourceEnumeration, LeavesWhereTablesBelongAreMalformed) {
    ResourceSectionBuilder s(test::kSyntheticRsrcRva);
    const std::uint32_t root = s.Table(0, 2);
    const std::uint32_t names = s.Table(1, 1);
    const std::uint32_t langs = s.Table(1, 1);
    const std::uint32_t deeper = s.Table(0, 0);
    s.IdToData(root, 0, 5, s.Data({1})); // a type that is a leaf
    s.IdToTable(root, 1, kRtString, names);
    s.NameToTable(names, 0, s.Name(u"N"), langs);
    s.IdToData(names, 1, 1, s.Data({2})); // a block that is a leaf
    const std::uint32_t other = s.Table(0, 0);
    s.NameToTable(langs, 0, s.Name(u"L"), deeper); // a named language
    s.IdToTable(langs, 1, 0, other);               // a language that is a table
    const Result<ResourceModule> module = Load(s.bytes());
    ASSERT_TRUE(module.ok()) << module.error().message;

    EnumResult result{};
    Names(*module, 5, &result);
    EXPECT_EQ(result, EnumResult::Malformed);
    Languages(*module, ResourceId::Id(1), &result);
    EXPECT_EQ(result, EnumResult::Malformed);
    EXPECT_TRUE(Languages(*module, ResourceId::Name(u"N"), &result).empty());
    EXPECT_EQ(result, EnumResult::Malformed);
    // A language entry that is a table is found as no copy at all.
    EXPECT_EQ(module->Find(ResourceId::Id(kRtString), ResourceId::Name(u"N"), 0), nullptr);
}

TEST(ResourceData, DataOutsideTheFileIsNotLocated) {
    const std::uint32_t rva = test::kSyntheticRsrcRva;
    struct Case {
        const char* what;
        std::uint32_t dataRva;
        std::uint32_t size;
        bool located;
    };
    // The section's raw data is 0x200 bytes; the tree takes its start.
    const std::vector<Case> cases = {
        {"ends at the end of the raw data", rva + 0x1F0, 0x10, true},
        {"one byte past it", rva + 0x1F0, 0x11, false},
        {"size UINT32_MAX", rva + 0x100, 0xFFFFFFFF, false},
        {"RVA outside every section", 0x9000, 4, false},
        {"RVA and size wrap around", 0xFFFFFFF0, 0x20, false},
        {"RVA in the headers", 0x10, 4, false},
        {"empty, inside", rva + 0x100, 0, true},
    };
    for (const Case& c : cases) {
        ResourceSectionBuilder s(rva);
        const std::uint32_t root = s.Table(0, 1);
        const std::uint32_t names = s.Table(0, 1);
        const std::uint32_t langs = s.Table(0, 1);
        s.IdToTable(root, 0, kRtString, names);
        s.IdToTable(names, 0, 1, langs);
        s.IdToData(langs, 0, 0, s.DataEntry(c.dataRva, c.size, 65001));
        const Result<ResourceModule> module = Load(s.bytes());
        ASSERT_TRUE(module.ok()) << c.what << ": " << module.error().message;
        const ResourceData* data = module->Find(ResourceId::Id(kRtString), ResourceId::Id(1), 0);
        ASSERT_NE(data, nullptr) << c.what;
        EXPECT_EQ(data->located, c.located) << c.what;
        EXPECT_EQ(data->bytes.size(), c.located ? c.size : 0u) << c.what;
        EXPECT_EQ(data->originalRva, c.dataRva) << c.what;
        EXPECT_EQ(data->originalSize, c.size) << c.what;
        EXPECT_EQ(data->codePage, 65001u) << c.what;
    }
}

// Malformed trees: one valid tree, then one thing broken at a time. Each
// must fail the load with a message naming the problem, never crash or hang.
TEST(ResourceTreeCorruption, MalformedTreesFailTheLoad) {
    struct Case {
        const char* what;
        std::function<void(ResourceSectionBuilder&, std::uint32_t root, std::uint32_t names,
                           std::uint32_t langs)>
            corrupt;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"a language entry loops back to the root",
         [](auto& s, auto root, auto, auto langs) { s.IdToTable(langs, 0, 0, root); },
         "reached twice"},
        {"a table that contains itself",
         [](auto& s, auto, auto names, auto) { s.IdToTable(names, 0, 1, names); }, "reached twice"},
        {"two names share one language table",
         [](auto& s, auto, auto names, auto langs) {
             s.IdToTable(names, 0, 1, langs);
             s.IdToTable(names, 1, 2, langs);
         },
         "reached twice"},
        {"an id above 16 bits",
         [](auto& s, auto, auto names, auto langs) { s.IdToTable(names, 0, 0x10001, langs); },
         "16 bits"},
        {"a named entry among the ids",
         [](auto& s, auto, auto names, auto langs) {
             s.NameToTable(names, 1, s.Name(u"X"), langs);
         },
         "named but among the id entries"},
        {"a table past the section",
         [](auto& s, auto, auto names, auto) { s.IdToTable(names, 0, 1, 0x7FFFFFF0); },
         "outside the resource section"},
        {"a name past the section",
         [](auto& s, auto root, auto names, auto) {
             test::PutAt<pe::ResourceDirectoryTable>(s.bytes(), root, {0, 0, 0, 0, 1, 0});
             s.NameToTable(root, 0, 0x7FFFFFF0, names);
         },
         "outside the resource section"},
        {"a name whose length runs past the section",
         [](auto& s, auto, auto, auto) {
             const std::uint32_t name = s.Name(u"AB");
             test::PutAt<std::uint16_t>(s.bytes(), name, 0xFFFF);
             // Put it in use: the type entry becomes named.
             test::PutAt<pe::ResourceDirectoryTable>(s.bytes(), 0, {0, 0, 0, 0, 1, 0});
             s.NameToTable(0, 0, name, 0x18);
         },
         "outside the resource section"},
        {"a data entry past the section",
         [](auto& s, auto, auto, auto langs) { s.IdToData(langs, 0, 0, 0x00FFFFF0); },
         "outside the resource section"},
        {"more entries than the section holds",
         [](auto& s, auto, auto, auto langs) {
             test::PutAt<pe::ResourceDirectoryTable>(s.bytes(), langs,
                                                     {0, 0, 0, 0, 0xFFFF, 0xFFFF});
         },
         "entries run past"},
    };
    for (const Case& c : cases) {
        ResourceSectionBuilder s(test::kSyntheticRsrcRva);
        const std::uint32_t root = s.Table(0, 1);
        const std::uint32_t names = s.Table(0, 2);
        const std::uint32_t langs = s.Table(0, 1);
        const std::uint32_t langs2 = s.Table(0, 0);
        s.IdToTable(root, 0, kRtString, names);
        s.IdToTable(names, 0, 1, langs);
        s.IdToTable(names, 1, 2, langs2);
        s.IdToData(langs, 0, 0, s.Data({0, 0}));
        ASSERT_TRUE(Load(s.bytes()).ok()) << "baseline for " << c.what;
        c.corrupt(s, root, names, langs);
        const Result<ResourceModule> module = Load(s.bytes());
        ASSERT_FALSE(module.ok()) << c.what;
        EXPECT_NE(module.error().message.find(c.error), std::string::npos)
            << c.what << ": " << module.error().message;
    }
}

TEST(ResourceTreeCorruption, DepthIsLimited) {
    for (const int depth : {kMaxResourceDepth, kMaxResourceDepth + 1}) {
        ResourceSectionBuilder s(test::kSyntheticRsrcRva);
        std::uint32_t table = s.Table(0, 1);
        for (int level = 0; level < depth; ++level) {
            const std::uint32_t next = s.Table(0, 1);
            s.IdToTable(table, 0, 1, next);
            table = next;
        }
        s.IdToData(table, 0, 0, s.Data({1}));
        const Result<ResourceModule> module = Load(s.bytes());
        EXPECT_EQ(module.ok(), depth <= kMaxResourceDepth) << depth;
    }
}

TEST(ResourceTreeCorruption, TheEntryCountIsBounded) {
    // 1 type + 3 names + 3 languages = 7 entries in all.
    const test::BuiltImage img = BuildSyntheticImage(test::StringTableSection({
        SyntheticBlock{true, 1, {}, {{0, {}}}},
        SyntheticBlock{true, 2, {}, {{0, {}}}},
        SyntheticBlock{true, 3, {}, {{0, {}}}},
    }));
    const Bytes file(img.bytes.data(), img.bytes.size());
    const Result<Image> image = ParseImage(file);
    ASSERT_TRUE(image.ok());
    EXPECT_TRUE(ReadResourceTree(*image, file, TreeLimits{kMaxResourceDepth, 7}).ok());
    const Result<ResourceDirectory> over =
        ReadResourceTree(*image, file, TreeLimits{kMaxResourceDepth, 6});
    ASSERT_FALSE(over.ok());
    EXPECT_NE(over.error().message.find("more than 6 resource entries"), std::string::npos)
        << over.error().message;
}

TEST(ResourceTreeCorruption, RootOutsideEverySectionFails) {
    test::BuiltImage img = BuildSyntheticImage(test::StringTableSection({}));
    test::PutAt<std::uint32_t>(img.bytes, img.dataDirectories + 8 * kResourceDirectory, 0x7000);
    EXPECT_FALSE(ResourceModule::FromBytes(img.bytes).ok());
    // No resource directory at all is a valid image without resources.
    test::PutAt<std::uint32_t>(img.bytes, img.dataDirectories + 8 * kResourceDirectory, 0);
    const Result<ResourceModule> empty = ResourceModule::FromBytes(img.bytes);
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty->root().entries.empty());
    EnumResult result{};
    Names(*empty, kRtString, &result);
    EXPECT_EQ(result, EnumResult::NotFound);
}

TEST(ResourceTreeCorruption, TruncatedFilesNeverLoadAPartialTree) {
    const ByteVector rsrc = test::StringTableSection(
        {SyntheticBlock{true, 1, {}, {{0, test::StringBlock({u"", u"Open"})}}}});
    const ByteVector full = BuildSyntheticImage(rsrc).bytes;
    const std::size_t treeEnd = test::kSyntheticRsrcFileOffset + rsrc.size();
    for (std::size_t length = 0; length <= full.size(); ++length) {
        const ByteVector cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        const Result<ResourceModule> module = ResourceModule::FromBytes(cut);
        // The builder puts the data entry last, after the data it points at.
        ASSERT_EQ(module.ok(), length >= treeEnd) << length;
        if (module.ok()) {
            const ResourceData* data =
                module->Find(ResourceId::Id(kRtString), ResourceId::Id(1), 0);
            ASSERT_NE(data, nullptr) << length;
            EXPECT_TRUE(data->located) << length;
        }
    }
    EXPECT_TRUE(ResourceModule::FromBytes(full).ok());
}

TEST(ResourceModuleOpen, FailsOnWhatIsNotAnImageFile) {
    EXPECT_FALSE(ResourceModule::Open("/nonexistent/korva/file.dll").ok());
    EXPECT_FALSE(ResourceModule::Open("/").ok());
    EXPECT_FALSE(ResourceModule::Open("/dev/null").ok());
    const Result<ResourceModule> self = ResourceModule::Open("/proc/self/exe");
    ASSERT_FALSE(self.ok()); // an ELF file
    EXPECT_NE(self.error().message.find("/proc/self/exe: "), std::string::npos);
}

} // namespace
} // namespace korva::pe
