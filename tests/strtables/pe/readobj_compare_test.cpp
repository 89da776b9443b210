// The reader's view of toolchain-built images against llvm-readobj's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "strtables/pe/resource_module.h"
#include "support/fixtures.h"
#include "support/readobj.h"
#include "support/string_table_script.h"

namespace korva::pe {
namespace {

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (const char16_t u : s) { // names in the fixtures are in the BMP
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string Key(const ResourceId& id) {
    if (!id.isId) {
        return Utf8(id.name);
    }
    std::string out = "#"; // appended: GCC 12 warns falsely on "#" + std::to_string()
    out += std::to_string(id.id);
    return out;
}

std::vector<test::ReadobjLeaf> OurLeaves(const ResourceModule& module) {
    std::vector<test::ReadobjLeaf> out;
    for (const ResourceEntry& type : module.root().entries) {
        for (const ResourceEntry& name : type.subdirectory->entries) {
            const ResourceDirectory& languages = *name.subdirectory;
            for (const ResourceEntry& language : languages.entries) {
                const ResourceData& data = *language.data;
                test::ReadobjLeaf leaf;
                leaf.type = Key(type.id);
                leaf.name = Key(name.id);
                leaf.language = language.id.id;
                leaf.timeDateStamp = languages.info.timeDateStamp;
                leaf.majorVersion = languages.info.majorVersion;
                leaf.minorVersion = languages.info.minorVersion;
                leaf.characteristics = languages.info.characteristics;
                leaf.dataRva = data.originalRva;
                leaf.dataSize = data.originalSize;
                leaf.codePage = data.codePage;
                leaf.reserved = data.reserved;
                leaf.data.assign(data.bytes.begin(), data.bytes.end());
                out.push_back(leaf);
            }
        }
    }
    return out;
}

void ExpectSameLeaves(const std::string& path) {
    const Result<ResourceModule> module = ResourceModule::Open(path);
    ASSERT_TRUE(module.ok()) << module.error().message;
    const std::vector<test::ReadobjLeaf> ours = OurLeaves(*module);
    const std::vector<test::ReadobjLeaf> theirs = test::ReadobjResources(path);
    ASSERT_EQ(ours.size(), theirs.size()) << path;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const test::ReadobjLeaf& a = ours[i];
        const test::ReadobjLeaf& b = theirs[i];
        const std::string where = path + " leaf " + std::to_string(i) + " " + b.type + "/" + b.name;
        EXPECT_EQ(a.type, b.type) << where;
        EXPECT_EQ(a.name, b.name) << where;
        EXPECT_EQ(a.language, b.language) << where;
        EXPECT_EQ(a.timeDateStamp, b.timeDateStamp) << where;
        EXPECT_EQ(a.majorVersion, b.majorVersion) << where;
        EXPECT_EQ(a.minorVersion, b.minorVersion) << where;
        EXPECT_EQ(a.characteristics, b.characteristics) << where;
        EXPECT_EQ(a.dataRva, b.dataRva) << where;
        EXPECT_EQ(a.dataSize, b.dataSize) << where;
        EXPECT_EQ(a.codePage, b.codePage) << where;
        EXPECT_EQ(a.reserved, b.reserved) << where;
        EXPECT_EQ(a.data, b.data) << where;
    }
}

class Toolchains : public testing::TestWithParam<test::Toolchain> {};

TEST_P(Toolchains, StringTableFixtureMatchesLlvmReadobj) {
    const std::string path = test::BuildFixture(GetParam(), "strings", test::kStringTableScript);
    ExpectSameLeaves(path);
    // The comparison above means something only if there is something to
    // compare: six string-table copies and the RCDATA resource.
    EXPECT_EQ(test::ReadobjResources(path).size(), 7u);
}

TEST_P(Toolchains, ImageHeadersAgreeWithTheToolchain) {
    const std::string path = test::BuildFixture(GetParam(), "strings", test::kStringTableScript);
    const Result<ResourceModule> module = ResourceModule::Open(path);
    ASSERT_TRUE(module.ok()) << module.error().message;
    const Image& image = module->image();
    EXPECT_EQ(image.is64, GetParam() != test::Toolchain::LldX86);
    EXPECT_EQ(image.coff.machine, GetParam() == test::Toolchain::LldX86 ? 0x014C : 0x8664);
    const Section* rsrc = image.SectionOfRva(image.Directory(kResourceDirectory).virtualAddress);
    ASSERT_NE(rsrc, nullptr);
    EXPECT_EQ(rsrc->Name(), ".rsrc");
    // GNU ld appends a COFF symbol table after the sections; lld writes none.
    EXPECT_EQ(image.overlayStart, image.coff.pointerToSymbolTable != 0
                                      ? image.coff.pointerToSymbolTable
                                      : image.fileSize);
    EXPECT_EQ(image.coff.pointerToSymbolTable != 0, GetParam() == test::Toolchain::MingwX64);
    EXPECT_LE(image.sectionTableEnd, image.firstSectionData);
}

INSTANTIATE_TEST_SUITE_P(RealImages, Toolchains, testing::ValuesIn(test::AllToolchains()),
                         [](const auto& instance) { return test::ToolchainName(instance.param); });

} // namespace
} // namespace korva::pe
