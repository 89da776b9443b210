#include "strtables/pe/image_rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "strtables/pe/checksum.h"
#include "strtables/pe/resource_module.h"
#include "strtables/pe/resource_update.h"
#include "support/synthetic_image.h"

namespace korva::pe {
namespace {

using test::BuildImage;
using test::BuiltImage;
using test::ImageShape;
using test::SectionShape;
using Bytes8 = std::vector<std::uint8_t>;

constexpr std::uint32_t kCode = 0x60000020;  // code, execute, read
constexpr std::uint32_t kData = 0xC0000040;  // initialized, read, write
constexpr std::uint32_t kReloc = 0x42000040; // initialized, discardable, read
constexpr std::uint32_t kResourceRva = 0x2000;

const ResourceId kStrings = ResourceId::Id(6);
const ResourceId kRcData = ResourceId::Id(10);

Bytes8 B(const std::string& s) {
    return Bytes8(s.begin(), s.end());
}

Bytes8 Pattern(std::size_t size, std::uint8_t seed) {
    Bytes8 out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return out;
}

// The resource section bytes of the usual starting tree: a neutral string
// block and a binary resource that no update touches.
Bytes8 OriginalResources(std::uint32_t rva) {
    ResourceDirectory empty;
    ResourceChanges tree(empty);
    EXPECT_TRUE(tree.Put(kStrings, ResourceId::Id(1), 0, B("neutral block"), 1252).ok());
    EXPECT_TRUE(tree.Put(kRcData, ResourceId::Name(u"KEEP"), 0x409, Pattern(300, 3), 0).ok());
    Result<ResourceLayout> layout = LayOutResources(tree.tree());
    return *FillResources(*layout, rva);
}

// .text, then .rsrc holding only resources, room to spare in its raw data.
ImageShape Standard(bool is64, std::uint32_t resourceRaw = 0x400) {
    ImageShape shape;
    shape.is64 = is64;
    shape.entryPoint = 0x1010;
    shape.sizeOfInitializedData = 0x1000;
    shape.sections.push_back({".text", 0x1000, 0x180, 0x400, 0x200, kCode, Pattern(0x180, 1)});
    const Bytes8 rsrc = OriginalResources(kResourceRva);
    shape.sections.push_back({".rsrc", kResourceRva, static_cast<std::uint32_t>(rsrc.size()), 0x600,
                              resourceRaw, 0x40000040, rsrc});
    shape.directories[kResourceDirectory] = {kResourceRva, static_cast<std::uint32_t>(rsrc.size())};
    return shape;
}

void AddSection(ImageShape& shape, SectionShape section) {
    shape.sections.push_back(std::move(section));
}

struct Outcome {
    Result<RebuiltImage> rebuilt;
    Bytes8 original;
};

// Stages the usual change (a German copy of block 1 of `size` bytes, the
// neutral copy removed) and builds the new image.
Outcome Update(const Bytes8& original, std::size_t size = 40) {
    Result<ResourceUpdate> update = ResourceUpdate::FromBytes(original);
    if (!update) {
        return {update.error(), original};
    }
    EXPECT_TRUE(update->Put(kStrings, ResourceId::Id(1), 0x407, Pattern(size, 9)).ok());
    EXPECT_TRUE(update->Remove(kStrings, ResourceId::Id(1), 0).ok());
    return {update->Build(), original};
}

// Reads the new image back and checks the change and the untouched resource.
void ExpectUpdatedResources(const Bytes8& bytes, std::size_t size = 40) {
    Result<ResourceModule> module = ResourceModule::FromBytes(bytes);
    ASSERT_TRUE(module.ok()) << module.error().message;
    const ResourceData* german = module->Find(kStrings, ResourceId::Id(1), 0x407);
    ASSERT_NE(german, nullptr);
    const Bytes8 expected = Pattern(size, 9);
    EXPECT_TRUE(
        std::equal(german->bytes.begin(), german->bytes.end(), expected.begin(), expected.end()));
    EXPECT_EQ(module->Find(kStrings, ResourceId::Id(1), 0), nullptr);
    const ResourceData* kept = module->Find(kRcData, ResourceId::Name(u"KEEP"), 0x409);
    ASSERT_NE(kept, nullptr);
    const Bytes8 keptBytes = Pattern(300, 3);
    EXPECT_TRUE(
        std::equal(kept->bytes.begin(), kept->bytes.end(), keptBytes.begin(), keptBytes.end()));
}

Image Parse(const Bytes8& bytes) {
    Result<Image> image = ParseImage(bytes);
    EXPECT_TRUE(image.ok()) << image.error().message;
    return *image;
}

Bytes8 RawOf(const Bytes8& file, const SectionHeader& h) {
    return Bytes8(file.begin() + h.pointerToRawData,
                  file.begin() + h.pointerToRawData + h.sizeOfRawData);
}

const SectionHeader* Named(const Image& image, const std::string& name) {
    for (const Section& s : image.sections) {
        if (s.Name() == name) {
            return &s.header;
        }
    }
    return nullptr;
}

// The loader wants ascending addresses without holes between sections.
void ExpectAdjacentSections(const Image& image) {
    for (std::size_t i = 1; i < image.sections.size(); ++i) {
        const SectionHeader& a = image.sections[i - 1].header;
        const SectionHeader& b = image.sections[i].header;
        const std::uint32_t extent = std::max(a.virtualSize, a.sizeOfRawData);
        EXPECT_EQ(b.virtualAddress, (a.virtualAddress + extent + image.sectionAlignment - 1) /
                                        image.sectionAlignment * image.sectionAlignment)
            << image.sections[i].Name();
    }
}

class Rebuild : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Pe, Rebuild, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

TEST_P(Rebuild, InPlaceWhenTheResourceSectionHasRoom) {
    ImageShape shape = Standard(GetParam());
    shape.overlay = B("appended installer payload");
    const BuiltImage original = BuildImage(shape);
    const Outcome out = Update(original.bytes);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    const Bytes8& bytes = out.rebuilt->bytes;
    EXPECT_EQ(out.rebuilt->placement, Placement::InPlace);
    ASSERT_EQ(bytes.size(), original.bytes.size());
    ExpectUpdatedResources(bytes);

    const Image before = Parse(original.bytes);
    const Image after = Parse(bytes);
    EXPECT_EQ(RawOf(bytes, after.sections[0].header),
              RawOf(original.bytes, before.sections[0].header));
    EXPECT_EQ(after.sections[1].header.pointerToRawData, 0x600u);
    EXPECT_EQ(after.sections[1].header.sizeOfRawData, 0x400u);
    EXPECT_EQ(after.sizeOfImage, before.sizeOfImage);
    EXPECT_EQ(after.sizeOfInitializedData, before.sizeOfInitializedData);
    EXPECT_EQ(after.Directory(kResourceDirectory).virtualAddress, kResourceRva);
    EXPECT_EQ(after.Directory(kResourceDirectory).size, out.rebuilt->resourceSize);
    // Nothing outside the resource section's raw data and the header fields moved.
    EXPECT_TRUE(
        std::equal(bytes.begin() + 0x400, bytes.begin() + 0x600, original.bytes.begin() + 0x400));
    EXPECT_TRUE(std::equal(bytes.begin() + 0xA00, bytes.end(), original.bytes.begin() + 0xA00));
}

TEST_P(Rebuild, GrowsTheLastSectionAndMovesTheOverlayUnchanged) {
    ImageShape shape = Standard(GetParam(), 0x200);
    shape.overlay = Pattern(777, 42);
    const BuiltImage original = BuildImage(shape);
    const Outcome out = Update(original.bytes, 0x900);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    const Bytes8& bytes = out.rebuilt->bytes;
    EXPECT_EQ(out.rebuilt->placement, Placement::Grown);
    ExpectUpdatedResources(bytes, 0x900);

    const Image after = Parse(bytes);
    const SectionHeader& rsrc = after.sections[1].header;
    EXPECT_EQ(rsrc.virtualAddress, kResourceRva);
    EXPECT_EQ(rsrc.pointerToRawData, 0x600u);
    EXPECT_EQ(rsrc.sizeOfRawData % 0x200, 0u);
    EXPECT_GE(rsrc.sizeOfRawData, out.rebuilt->resourceSize);
    EXPECT_EQ(after.sizeOfImage, (kResourceRva + rsrc.virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(after.sizeOfInitializedData, 0x1000u + rsrc.sizeOfRawData - 0x200);
    ASSERT_EQ(bytes.size(), 0x600u + rsrc.sizeOfRawData + 777);
    EXPECT_TRUE(std::equal(shape.overlay.begin(), shape.overlay.end(), bytes.end() - 777));
}

TEST_P(Rebuild, MovesRelocationsThatFollowTheResources) {
    ImageShape shape = Standard(GetParam(), 0x200);
    const Bytes8 relocs = Pattern(0x30, 77);
    AddSection(shape, {".reloc", 0x3000, 0x30, 0x800, 0x200, kReloc, relocs});
    shape.directories[kBaseRelocationDirectory] = {0x3000, 0x30};
    // A debug directory in .text whose one entry's data lies in the overlay.
    shape.directories[kDebugDirectory] = {0x1100, 28};
    shape.overlay = Pattern(64, 5);
    BuiltImage original = BuildImage(shape);
    const std::size_t debugEntry = 0x400 + 0x100;
    std::fill(original.bytes.begin() + debugEntry, original.bytes.begin() + debugEntry + 28, 0);
    test::PutAt<std::uint32_t>(original.bytes, debugEntry + 16, 64);    // size
    test::PutAt<std::uint32_t>(original.bytes, debugEntry + 24, 0xA00); // raw pointer: the overlay

    const Outcome out = Update(original.bytes, 0x2400);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    const Bytes8& bytes = out.rebuilt->bytes;
    EXPECT_EQ(out.rebuilt->placement, Placement::Grown);
    ExpectUpdatedResources(bytes, 0x2400);

    const Image after = Parse(bytes);
    ExpectAdjacentSections(after);
    const SectionHeader* reloc = Named(after, ".reloc");
    ASSERT_NE(reloc, nullptr);
    EXPECT_GT(reloc->virtualAddress, 0x3000u);
    EXPECT_EQ(after.Directory(kBaseRelocationDirectory).virtualAddress, reloc->virtualAddress);
    EXPECT_EQ(after.Directory(kBaseRelocationDirectory).size, 0x30u);
    const Bytes8 movedRelocs = RawOf(bytes, *reloc);
    EXPECT_TRUE(std::equal(relocs.begin(), relocs.end(), movedRelocs.begin()));
    EXPECT_EQ(after.sizeOfImage, reloc->virtualAddress + 0x1000);
    // The debug entry follows the overlay it points into.
    const std::uint32_t debugData = test::GetAt<std::uint32_t>(bytes, debugEntry + 24);
    EXPECT_EQ(debugData, bytes.size() - 64);
    EXPECT_TRUE(std::equal(shape.overlay.begin(), shape.overlay.end(), bytes.begin() + debugData));
}

TEST_P(Rebuild, AddsASectionWhenWritableDataFollows) {
    ImageShape shape = Standard(GetParam(), 0x200);
    AddSection(shape, {".data", 0x3000, 0x20, 0x800, 0x200, kData, Pattern(0x20, 11)});
    const BuiltImage original = BuildImage(shape);
    const Outcome out = Update(original.bytes, 0x900);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    const Bytes8& bytes = out.rebuilt->bytes;
    EXPECT_EQ(out.rebuilt->placement, Placement::NewSection);
    ExpectUpdatedResources(bytes, 0x900);

    const Image before = Parse(original.bytes);
    const Image after = Parse(bytes);
    ASSERT_EQ(after.sections.size(), 4u);
    ExpectAdjacentSections(after);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(&after.sections[i].header, &before.sections[i].header,
                              sizeof(SectionHeader)),
                  0);
        EXPECT_EQ(RawOf(bytes, after.sections[i].header),
                  RawOf(original.bytes, before.sections[i].header));
    }
    const SectionHeader& added = after.sections[3].header;
    EXPECT_EQ(after.sections[3].Name(), ".rsrc2") << ".rsrc is taken by the old section";
    EXPECT_EQ(added.virtualAddress, 0x4000u);
    EXPECT_EQ(added.pointerToRawData, 0xA00u);
    EXPECT_EQ(added.characteristics, 0x40000040u);
    EXPECT_EQ(after.Directory(kResourceDirectory).virtualAddress, 0x4000u);
    EXPECT_EQ(after.sizeOfInitializedData, 0x1000u + added.sizeOfRawData);
}

TEST_P(Rebuild, NeverOverwritesDataSharingTheResourceSection) {
    struct Case {
        const char* what;
        std::uint32_t resourceOffset; // where the directory starts in the section
        bool dataAfter;               // foreign bytes after the resources
    };
    const Case cases[] = {{"directory not at the section start", 0x100, false},
                          {"other data after the resources", 0, true}};
    for (const Case& c : cases) {
        ImageShape shape = Standard(GetParam(), 0x800);
        SectionShape& shared = shape.sections[1];
        shared.name = ".rdata";
        const Bytes8 rsrc = OriginalResources(kResourceRva + c.resourceOffset);
        shared.content = Pattern(c.resourceOffset, 99);
        shared.content.insert(shared.content.end(), rsrc.begin(), rsrc.end());
        if (c.dataAfter) {
            const Bytes8 tail = Pattern(16, 123);
            shared.content.insert(shared.content.end(), tail.begin(), tail.end());
        }
        shared.virtualSize = static_cast<std::uint32_t>(shared.content.size());
        shape.directories[kResourceDirectory] = {kResourceRva + c.resourceOffset,
                                                 static_cast<std::uint32_t>(rsrc.size())};
        const BuiltImage original = BuildImage(shape);
        const Outcome out = Update(original.bytes);
        ASSERT_TRUE(out.rebuilt.ok()) << c.what << ": " << out.rebuilt.error().message;
        EXPECT_EQ(out.rebuilt->placement, Placement::NewSection) << c.what;
        ExpectUpdatedResources(out.rebuilt->bytes);
        const Image after = Parse(out.rebuilt->bytes);
        EXPECT_EQ(after.sections.back().Name(), ".rsrc") << c.what;
        EXPECT_EQ(RawOf(out.rebuilt->bytes, after.sections[1].header),
                  RawOf(original.bytes, after.sections[1].header))
            << c.what;
    }
}

// The loader would patch new resource bytes at a relocated address.
TEST_P(Rebuild, NeverRewritesBytesThatBaseRelocationsPatch) {
    struct Case {
        std::uint32_t page;
        Placement expected;
    };
    for (const Case& c : {Case{0x1000, Placement::InPlace}, Case{0x2000, Placement::NewSection}}) {
        ImageShape shape = Standard(GetParam());
        Bytes8 block(12, 0);
        test::PutAt<std::uint32_t>(block, 0, c.page);
        test::PutAt<std::uint32_t>(block, 4, 12);
        test::PutAt<std::uint16_t>(block, 8, 0x3010); // a 32-bit fix-up at page + 0x10
        AddSection(shape, {".reloc", 0x3000, 12, 0xA00, 0x200, kReloc, block});
        shape.directories[kBaseRelocationDirectory] = {0x3000, 12};
        const Outcome out = Update(BuildImage(shape).bytes);
        ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
        EXPECT_EQ(out.rebuilt->placement, c.expected) << std::hex << c.page;
    }
}

// Every way of placing the resources is refused, and the message says why
// for each: what is in the way of growing, and what is in the way of a new
// section header.
TEST_P(Rebuild, RefusesWhenNoSafeLayoutExists) {
    // .data follows the resources, so only a new section could take them.
    ImageShape shape = Standard(GetParam(), 0x200);
    AddSection(shape, {".data", 0x3000, 0x20, 0x800, 0x200, kData, Pattern(0x20, 11)});
    const BuiltImage roomy = BuildImage(shape);
    struct Case {
        const char* what;
        void (*spoil)(Bytes8&, const BuiltImage&);
        const char* why; // why no new section header fits
    };
    const Case cases[] = {
        {"something lives after the section table",
         [](Bytes8& b, const BuiltImage& img) { b[img.sectionTable + 3 * 40 + 5] = 1; },
         "the space after the section table is in use"},
        {"the headers end at the section table",
         [](Bytes8& b, const BuiltImage& img) {
             test::PutAt<std::uint32_t>(b, img.optionalHeader + 60,
                                        static_cast<std::uint32_t>(img.sectionTable + 3 * 40));
         },
         "the headers have no room for another section header"},
        {".text's raw data starts inside the section table",
         [](Bytes8& b, const BuiltImage& img) {
             test::PutAt<std::uint32_t>(b, img.sectionTable + 20,
                                        static_cast<std::uint32_t>(img.sectionTable + 40));
         },
         "the headers have no room for another section header"},
    };
    for (const Case& c : cases) {
        Bytes8 bytes = roomy.bytes;
        c.spoil(bytes, roomy);
        const Outcome out = Update(bytes, 0x900);
        ASSERT_FALSE(out.rebuilt.ok()) << c.what;
        const std::string& message = out.rebuilt.error().message;
        for (const std::string& part :
             {std::string("in place: the new resources do not fit in the resource section"),
              std::string("section .data follows the resources and holds code or data"),
              std::string("in a new section: ") + c.why}) {
            EXPECT_NE(message.find(part), std::string::npos) << c.what << ": " << message;
        }
    }
}

TEST_P(Rebuild, RemovesTheCertificateTable) {
    ImageShape shape = Standard(GetParam());
    const Bytes8 before = B("payload before");
    const Bytes8 signature = Pattern(24, 200);
    shape.overlay = before;
    shape.overlay.insert(shape.overlay.end(), signature.begin(), signature.end());
    BuiltImage original = BuildImage(shape);
    const std::uint32_t at = static_cast<std::uint32_t>(original.overlayStart + before.size());
    test::PutAt<DataDirectory>(original.bytes, original.dataDirectories + 8 * kCertificateDirectory,
                               {at, 24});
    const Outcome out = Update(original.bytes);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    const Bytes8& bytes = out.rebuilt->bytes;
    const Image after = Parse(bytes);
    EXPECT_EQ(after.Directory(kCertificateDirectory).virtualAddress, 0u);
    EXPECT_EQ(after.Directory(kCertificateDirectory).size, 0u);
    ASSERT_EQ(bytes.size(), original.bytes.size() - 24);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), bytes.end() - before.size()));
}

TEST_P(Rebuild, FollowsTheSymbolTableWhenTheOverlayMoves) {
    ImageShape shape = Standard(GetParam(), 0x200);
    shape.overlay = Pattern(100, 17); // a COFF symbol and string table, as mingw leaves them
    shape.pointerToSymbolTable = 0x800 + 8;
    const BuiltImage original = BuildImage(shape);
    const Outcome out = Update(original.bytes, 0x900);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    const Bytes8& bytes = out.rebuilt->bytes;
    const Image after = Parse(bytes);
    EXPECT_EQ(after.coff.pointerToSymbolTable, bytes.size() - 100 + 8);
    EXPECT_EQ(after.coff.numberOfSymbols, 0u);
}

TEST_P(Rebuild, RecomputesANonZeroChecksumOnly) {
    for (const std::uint32_t checkSum : {0u, 0x12345u}) {
        ImageShape shape = Standard(GetParam(), 0x200);
        shape.checkSum = checkSum;
        const BuiltImage original = BuildImage(shape);
        const Outcome out = Update(original.bytes, 0x900);
        ASSERT_TRUE(out.rebuilt.ok());
        const Bytes8& bytes = out.rebuilt->bytes;
        const Image after = Parse(bytes);
        if (checkSum == 0) {
            EXPECT_EQ(after.checkSum, 0u);
        } else {
            EXPECT_EQ(after.checkSum, ComputeImageChecksum(bytes, after.fields.checkSum));
            EXPECT_NE(after.checkSum, checkSum);
        }
    }
}

TEST_P(Rebuild, AddsAResourceSectionToAnImageWithoutOne) {
    ImageShape shape = Standard(GetParam());
    shape.sections.pop_back();
    shape.directories[kResourceDirectory] = {0, 0};
    const BuiltImage original = BuildImage(shape);
    Result<ResourceUpdate> update = ResourceUpdate::FromBytes(original.bytes);
    ASSERT_TRUE(update.ok());
    ASSERT_TRUE(update->Put(kStrings, ResourceId::Id(1), 9, B("x")).ok());
    const Result<RebuiltImage> rebuilt = update->Build();
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.error().message;
    EXPECT_EQ(rebuilt->placement, Placement::NewSection);
    const Image after = Parse(rebuilt->bytes);
    ASSERT_EQ(after.sections.size(), 2u);
    EXPECT_EQ(after.sections[1].Name(), ".rsrc");
    EXPECT_EQ(after.sections[1].header.virtualAddress, 0x2000u);
}

TEST_P(Rebuild, DeletingEverythingLeavesAnEmptyRoot) {
    const BuiltImage original = BuildImage(Standard(GetParam()));
    Result<ResourceUpdate> update = ResourceUpdate::FromBytes(original.bytes);
    ASSERT_TRUE(update.ok());
    ASSERT_TRUE(update->Remove(kStrings, ResourceId::Id(1), 0).ok());
    ASSERT_TRUE(update->Remove(kRcData, ResourceId::Name(u"KEEP"), 0x409).ok());
    const Result<RebuiltImage> rebuilt = update->Build();
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.error().message;
    EXPECT_EQ(rebuilt->resourceSize, 16u);
    Result<ResourceModule> module = ResourceModule::FromBytes(rebuilt->bytes);
    ASSERT_TRUE(module.ok());
    EXPECT_TRUE(module->root().entries.empty());
}

// A data entry pointing outside the file can be written back as it was only
// while nothing changes at its address.
TEST_P(Rebuild, KeepsAnUnlocatedPointerOnlyWhereItStaysValid) {
    ResourceDirectory empty;
    ResourceChanges tree(empty);
    ASSERT_TRUE(tree.Put(kStrings, ResourceId::Id(1), 0, B("neutral block")).ok());
    ResourceData lost;
    lost.located = false;
    lost.originalRva = 0x5000; // past every section, inside no raw data
    lost.originalSize = 0x10;
    ResourceDirectory root = CloneResourceTree(tree.tree());
    root.entries.push_back({kRcData, nullptr, std::make_unique<ResourceData>(lost)});
    const Bytes8 rsrc = *FillResources(*LayOutResources(root), kResourceRva);

    ImageShape shape = Standard(GetParam());
    shape.sections[1].content = rsrc;
    shape.sections[1].virtualSize = static_cast<std::uint32_t>(rsrc.size());
    shape.directories[kResourceDirectory] = {kResourceRva, static_cast<std::uint32_t>(rsrc.size())};
    const BuiltImage original = BuildImage(shape);

    const Outcome small = Update(original.bytes, 40);
    ASSERT_TRUE(small.rebuilt.ok()) << small.rebuilt.error().message;
    EXPECT_EQ(small.rebuilt->placement, Placement::InPlace);
    Result<ResourceModule> module = ResourceModule::FromBytes(small.rebuilt->bytes);
    ASSERT_TRUE(module.ok());
    const ResourceEntry* kept = FindEntry(module->root(), kRcData);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->data->originalRva, 0x5000u);
    EXPECT_FALSE(kept->data->located);

    // Grown over 0x5000, the section would put new bytes under the pointer.
    const Outcome large = Update(original.bytes, 0x4000);
    EXPECT_FALSE(large.rebuilt.ok());
}

// One field at a time set to a value the rewrite cannot work with: the
// reader or the rebuild refuses, and says what it refused.
TEST_P(Rebuild, SingleFieldCorruptionsFailCleanly) {
    struct Case {
        const char* what;
        void (*spoil)(Bytes8&, const BuiltImage&);
        const char* why;
    };
    const Case cases[] = {
        {"file alignment 0",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.optionalHeader + 36, 0);
         },
         "alignment is not a power of two"},
        {"file alignment not a power of two",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.optionalHeader + 36, 0x300);
         },
         "alignment is not a power of two"},
        {"file alignment of 2 GiB, which would pad a new section with gigabytes",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.optionalHeader + 36, 0x80000000);
         },
         "file alignment above 64 KiB"},
        {"section alignment 0",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.optionalHeader + 32, 0);
         },
         "alignment is not a power of two"},
        {"raw data past the end of the file",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 40 + 16, 0x10000);
         },
         "section .rsrc runs past the end of the file"},
        {"two sections sharing file bytes",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 20, 0x500);
         },
         "section .text and section .rsrc share file bytes"},
        {"no resource directory entry",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.dataDirectories - 4, 2);
         },
         "no entry for a resource directory"},
        {"resource section at the top of the address space",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 40 + 12, 0xFFFFF000);
             test::PutAt<std::uint32_t>(b, i.dataDirectories + 16, 0xFFFFF000);
         },
         "32-bit address space"},
    };
    for (const Case& c : cases) {
        const BuiltImage original = BuildImage(Standard(GetParam(), 0x200));
        Bytes8 bytes = original.bytes;
        c.spoil(bytes, original);
        Result<ResourceUpdate> update = ResourceUpdate::FromBytes(bytes);
        ASSERT_TRUE(update.ok()) << c.what << ": " << update.error().message;
        ASSERT_TRUE(update->Put(kStrings, ResourceId::Id(1), 0x407, Pattern(0x900, 1)).ok());
        const Result<RebuiltImage> rebuilt = update->Build();
        ASSERT_FALSE(rebuilt.ok()) << c.what;
        EXPECT_NE(rebuilt.error().message.find(c.why), std::string::npos)
            << c.what << ": " << rebuilt.error().message;
    }
}

TEST(ImageChecksum, FoldsCarriesAndSkipsItsOwnField) {
    // 0x0201 + 0x0003 (odd final byte) + length 3
    EXPECT_EQ(ComputeImageChecksum(Bytes8{1, 2, 3}, 100), 0x0204u + 3);
    // 0xFFFF + 0x0002 carries into 0x0002, plus length 4
    EXPECT_EQ(ComputeImageChecksum(Bytes8{0xFF, 0xFF, 2, 0}, 100), 0x0002u + 4);
    // The field's four bytes count as zero wherever they sit.
    EXPECT_EQ(ComputeImageChecksum(Bytes8{9, 9, 9, 9, 1, 0}, 0), 1u + 6);
    EXPECT_EQ(ComputeImageChecksum(Bytes8{1, 9, 9, 9, 9, 0}, 1), 1u + 6);
}

} // namespace
} // namespace korva::pe
