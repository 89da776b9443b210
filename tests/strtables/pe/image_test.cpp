#include "strtables/pe/image.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/synthetic_image.h"

namespace korva::pe {
namespace {

using test::BuildSyntheticImage;
using test::BuiltImage;
using test::ByteVector;
using test::PutAt;

Bytes View(const ByteVector& bytes) {
    return Bytes(bytes.data(), bytes.size());
}

class ImageVariant : public testing::TestWithParam<bool> {};

TEST_P(ImageVariant, HeaderFieldsAndTheirFileOffsets) {
    const bool is64 = GetParam();
    BuiltImage img = BuildSyntheticImage(ByteVector(100, 0xAB), is64);
    const std::size_t rawEnd = img.bytes.size();
    img.bytes.insert(img.bytes.end(), {1, 2, 3, 4, 5}); // an overlay
    const Result<Image> image = ParseImage(View(img.bytes));
    ASSERT_TRUE(image.ok()) << image.error().message;

    EXPECT_EQ(image->is64, is64);
    EXPECT_EQ(image->coffHeaderOffset, img.coffHeader);
    EXPECT_EQ(image->optionalHeaderOffset, img.optionalHeader);
    EXPECT_EQ(image->fields.checkSum, img.optionalHeader + 64);
    EXPECT_EQ(image->fields.sizeOfImage, img.optionalHeader + 56);
    EXPECT_EQ(image->fields.sizeOfHeaders, img.optionalHeader + 60);
    EXPECT_EQ(image->fields.sizeOfInitializedData, img.optionalHeader + 8);
    EXPECT_EQ(image->fields.numberOfRvaAndSizes, img.dataDirectories - 4);
    EXPECT_EQ(image->fields.dataDirectories, img.dataDirectories);
    EXPECT_EQ(image->fields.numberOfSections, img.coffHeader + 2);
    EXPECT_EQ(image->fields.pointerToSymbolTable, img.coffHeader + 8);
    EXPECT_EQ(image->sectionTableOffset, img.sectionTable);
    EXPECT_EQ(image->sectionTableEnd, img.sectionTable + sizeof(SectionHeader));
    EXPECT_EQ(image->firstSectionData, test::kSyntheticRsrcFileOffset);
    EXPECT_EQ(image->overlayStart, rawEnd);
    EXPECT_EQ(image->fileSize, img.bytes.size());
    EXPECT_EQ(image->sizeOfHeaders, test::kSyntheticRsrcFileOffset);
    EXPECT_EQ(image->sizeOfImage, 0x2000u);
    ASSERT_EQ(image->sections.size(), 1u);
    EXPECT_EQ(image->sections[0].Name(), ".rsrc");
    EXPECT_EQ(image->sections[0].headerOffset, img.sectionTable);
    EXPECT_EQ(image->Directory(kResourceDirectory).virtualAddress, test::kSyntheticRsrcRva);
    EXPECT_EQ(image->Directory(kResourceDirectory).size, 100u);
    EXPECT_EQ(image->dataDirectories.size(), 16u);
}

TEST_P(ImageVariant, RvasMapOnlyToRawDataInsideTheFile) {
    const BuiltImage img = BuildSyntheticImage(ByteVector(0x200, 0x11), GetParam());
    const Result<Image> image = ParseImage(View(img.bytes));
    ASSERT_TRUE(image.ok());
    const Bytes file = View(img.bytes);
    const std::uint32_t rva = test::kSyntheticRsrcRva;
    // Boundary triplets: ends at the edge, one byte over, absurd sizes.
    EXPECT_EQ(image->SliceAtRva(file, rva, 0x200)->size(), 0x200u);
    EXPECT_EQ(image->SliceAtRva(file, rva + 0x1FF, 1)->data(), file.data() + 0x3FF);
    EXPECT_FALSE(image->SliceAtRva(file, rva, 0x201));
    EXPECT_FALSE(image->SliceAtRva(file, rva + 0x200, 0));
    EXPECT_FALSE(image->SliceAtRva(file, rva, 0xFFFFFFFF));
    EXPECT_FALSE(image->SliceAtRva(file, 0xFFFFFFFF, 1));
    EXPECT_FALSE(image->SliceAtRva(file, rva - 1, 1)); // before the section
    EXPECT_FALSE(image->SliceAtRva(file, 0x40, 4));    // headers are not resource data

    // Raw data cut short by the end of the file maps only as far as it goes.
    ByteVector cut = img.bytes;
    cut.resize(cut.size() - 0x100);
    const Result<Image> shorter = ParseImage(View(cut));
    ASSERT_TRUE(shorter.ok());
    EXPECT_TRUE(shorter->SliceAtRva(View(cut), rva, 0x100));
    EXPECT_FALSE(shorter->SliceAtRva(View(cut), rva, 0x101));
    EXPECT_EQ(shorter->overlayStart, cut.size());
}

TEST(ImageSections, AnRvaResolvesToTheSectionThatStartsBelowIt) {
    BuiltImage img = BuildSyntheticImage(ByteVector(0x200, 0));
    auto section = [](const char* name, std::uint32_t rva, std::uint32_t raw, std::uint32_t at) {
        SectionHeader h{};
        std::memcpy(h.name, name, std::strlen(name));
        h.virtualAddress = rva;
        h.virtualSize = raw;
        h.sizeOfRawData = raw;
        h.pointerToRawData = at;
        return h;
    };
    // Table order is not address order; .bss has no raw data; .dup shares
    // .rsrc's start, and the first of the two in the table wins.
    const std::vector<SectionHeader> table = {
        section(".data", 0x3000, 0x100, 0x200),
        test::GetAt<SectionHeader>(img.bytes, img.sectionTable), // .rsrc
        section(".bss", 0x2000, 0, 0),
        section(".dup", 0x1000, 0x10, 0x300),
    };
    for (std::size_t i = 0; i < table.size(); ++i) {
        PutAt(img.bytes, img.sectionTable + i * sizeof(SectionHeader), table[i]);
    }
    PutAt<std::uint16_t>(img.bytes, img.coffHeader + offsetof(CoffFileHeader, numberOfSections),
                         static_cast<std::uint16_t>(table.size()));
    const Result<Image> image = ParseImage(View(img.bytes));
    ASSERT_TRUE(image.ok()) << image.error().message;
    const std::vector<std::pair<std::uint32_t, const char*>> cases = {
        {0x0FFF, nullptr}, {0x1000, ".rsrc"},     {0x11FF, ".rsrc"}, {0x1200, nullptr},
        {0x2000, nullptr}, {0x2FFF, nullptr},     {0x3000, ".data"}, {0x30FF, ".data"},
        {0x3100, nullptr}, {0xFFFFFFFF, nullptr},
    };
    for (const auto& [rva, name] : cases) {
        const Section* found = image->SectionOfRva(rva);
        if (name == nullptr) {
            EXPECT_EQ(found, nullptr) << std::hex << rva;
        } else {
            ASSERT_NE(found, nullptr) << std::hex << rva;
            EXPECT_EQ(found->Name(), name) << std::hex << rva;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, ImageVariant, testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "Pe32Plus" : "Pe32"; });

// One valid image, then one field at a time set to a bad value.
TEST(ImageCorruption, SingleFieldCorruptions) {
    struct Case {
        const char* what;
        std::function<void(BuiltImage&)> corrupt;
        const char* error; // a part of the message; null when the image still parses
    };
    const std::vector<Case> cases = {
        {"no MZ", [](BuiltImage& i) { PutAt<std::uint16_t>(i.bytes, 0, 0x5A4E); }, "MZ"},
        {"e_lfanew past the end",
         [](BuiltImage& i) { PutAt<std::uint32_t>(i.bytes, 0x3C, 0xFFFFFFF0); }, "signature"},
        {"e_lfanew at the last byte",
         [](BuiltImage& i) {
             PutAt<std::uint32_t>(i.bytes, 0x3C, static_cast<std::uint32_t>(i.bytes.size() - 1));
         },
         "signature"},
        {"no PE signature",
         [](BuiltImage& i) { PutAt<std::uint32_t>(i.bytes, i.peHeader, 0x00014550); }, "signature"},
        {"unknown optional header magic",
         [](BuiltImage& i) { PutAt<std::uint16_t>(i.bytes, i.optionalHeader, 0x0107); }, "magic"},
        {"SizeOfOptionalHeader below the fixed part",
         [](BuiltImage& i) {
             PutAt<std::uint16_t>(
                 i.bytes, i.coffHeader + offsetof(CoffFileHeader, sizeOfOptionalHeader), 111);
         },
         "too small"},
        {"NumberOfSections past the end",
         [](BuiltImage& i) {
             PutAt<std::uint16_t>(
                 i.bytes, i.coffHeader + offsetof(CoffFileHeader, numberOfSections), 0xFFFF);
         },
         "section table"},
        {"NumberOfRvaAndSizes huge (capped at 16)",
         [](BuiltImage& i) { PutAt<std::uint32_t>(i.bytes, i.dataDirectories - 4, 0xFFFFFFFF); },
         nullptr},
        {"no sections",
         [](BuiltImage& i) {
             PutAt<std::uint16_t>(i.bytes,
                                  i.coffHeader + offsetof(CoffFileHeader, numberOfSections), 0);
         },
         nullptr},
    };
    for (const Case& c : cases) {
        BuiltImage img = BuildSyntheticImage(ByteVector(64, 0));
        c.corrupt(img);
        const Result<Image> image = ParseImage(View(img.bytes));
        if (c.error == nullptr) {
            EXPECT_TRUE(image.ok()) << c.what;
        } else {
            ASSERT_FALSE(image.ok()) << c.what;
            EXPECT_NE(image.error().message.find(c.error), std::string::npos)
                << c.what << ": " << image.error().message;
        }
    }
}

TEST(ImageCorruption, DirectoriesBeyondSizeOfOptionalHeaderAreAbsent) {
    BuiltImage img = BuildSyntheticImage(ByteVector(64, 0));
    // Room for the fixed part and three directories: the resource entry (index
    // 2) is still inside, the others are not.
    PutAt<std::uint16_t>(img.bytes, img.coffHeader + offsetof(CoffFileHeader, sizeOfOptionalHeader),
                         static_cast<std::uint16_t>(sizeof(OptionalHeader64) + 3 * 8 + 7));
    Result<Image> image = ParseImage(View(img.bytes));
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image->dataDirectories.size(), 3u);
    EXPECT_EQ(image->Directory(kResourceDirectory).virtualAddress, test::kSyntheticRsrcRva);
    EXPECT_EQ(image->Directory(kDebugDirectory).virtualAddress, 0u);
    // The section table moved with SizeOfOptionalHeader; its bytes are now garbage.
    EXPECT_EQ(image->sectionTableOffset, img.optionalHeader + sizeof(OptionalHeader64) + 31);
}

TEST(ImageCorruption, EveryTruncationOfTheHeadersFails) {
    const BuiltImage img = BuildSyntheticImage(ByteVector(64, 0));
    const std::size_t headersEnd = img.sectionTable + sizeof(SectionHeader);
    for (std::size_t length = 0; length < headersEnd; ++length) {
        const ByteVector cut(img.bytes.begin(),
                             img.bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(ParseImage(View(cut)).ok()) << length;
    }
    const ByteVector headersOnly(img.bytes.begin(),
                                 img.bytes.begin() + static_cast<std::ptrdiff_t>(headersEnd));
    EXPECT_TRUE(ParseImage(View(headersOnly)).ok());
}

} // namespace
} // namespace korva::pe
