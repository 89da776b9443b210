#include "strtables/pe/image_rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "strtables/pe/checksum.h"
#include "strtables/pe/rebuild_placement.h"
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
constexpr std::uint32_t kDebug = 0x42000040; // the same, as linkers mark debug sections
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
    const auto from = file.begin() + static_cast<std::ptrdiff_t>(h.pointerToRawData);
    return Bytes8(from, from + static_cast<std::ptrdiff_t>(h.sizeOfRawData));
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
                         [](const auto& instance) { return instance.param ? "Pe32Plus" : "Pe32"; });

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
    EXPECT_TRUE(std::equal(shape.overlay.begin(), shape.overlay.end(),
                           bytes.begin() + static_cast<std::ptrdiff_t>(debugData)));
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
        {".text's raw data starts where another section header would go",
         [](Bytes8& b, const BuiltImage& img) {
             test::PutAt<std::uint32_t>(b, img.sectionTable + 20,
                                        static_cast<std::uint32_t>(img.sectionTable + 3 * 40 + 8));
         },
         "the headers have no room for another section header"},
        // Zeros there may be somebody's data: what a directory points at.
        {"the bound import directory names the zeros after the section table",
         [](Bytes8& b, const BuiltImage& img) {
             test::PutAt<DataDirectory>(
                 b, img.dataDirectories + 8 * kBoundImportDirectory,
                 {static_cast<std::uint32_t>(img.sectionTable + 3 * 40), 0x30});
         },
         "the bound import directory lies in the space after the section table"},
        {"an empty debug directory names the last byte of that space",
         [](Bytes8& b, const BuiltImage& img) {
             test::PutAt<DataDirectory>(
                 b, img.dataDirectories + 8 * kDebugDirectory,
                 {static_cast<std::uint32_t>(img.sectionTable + 4 * 40 - 1), 0});
         },
         "the debug directory lies in the space after the section table"},
        {"the COFF symbol table, all zeros, begins in that space",
         [](Bytes8& b, const BuiltImage& img) {
             test::PutAt<std::uint32_t>(b, img.coffHeader + 8,
                                        static_cast<std::uint32_t>(img.sectionTable + 3 * 40 + 20));
         },
         "the COFF symbol table lies in the space after the section table"},
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
    EXPECT_TRUE(std::equal(before.begin(), before.end(),
                           bytes.end() - static_cast<std::ptrdiff_t>(before.size())));
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

// The standard image whose resources also hold a data entry the reader
// cannot find in the file, at `rva`.
ImageShape WithUnlocatedData(bool is64, std::uint32_t rva, std::uint32_t resourceRaw = 0x400) {
    ResourceDirectory empty;
    ResourceChanges tree(empty);
    EXPECT_TRUE(tree.Put(kStrings, ResourceId::Id(1), 0, B("neutral block")).ok());
    ResourceData lost;
    lost.located = false;
    lost.originalRva = rva;
    lost.originalSize = 0x10;
    ResourceDirectory root = CloneResourceTree(tree.tree());
    root.entries.push_back({kRcData, nullptr, std::make_unique<ResourceData>(lost)});
    const Bytes8 rsrc = *FillResources(*LayOutResources(root), kResourceRva);
    ImageShape shape = Standard(is64, resourceRaw);
    shape.sections[1].content = rsrc;
    shape.sections[1].virtualSize = static_cast<std::uint32_t>(rsrc.size());
    shape.directories[kResourceDirectory] = {kResourceRva, static_cast<std::uint32_t>(rsrc.size())};
    return shape;
}

// Where the unlocated data entry of a rebuilt image points.
std::uint32_t UnlocatedRva(const Bytes8& bytes) {
    Result<ResourceModule> module = ResourceModule::FromBytes(bytes);
    EXPECT_TRUE(module.ok());
    const ResourceEntry* kept = module ? FindEntry(module->root(), kRcData) : nullptr;
    EXPECT_TRUE(kept != nullptr && !kept->data->located);
    return kept != nullptr ? kept->data->originalRva : 0;
}

// A data entry pointing outside the file can be written back as it was only
// while nothing changes at its address.
TEST_P(Rebuild, KeepsAnUnlocatedPointerOnlyWhereItStaysValid) {
    // 0x5000 lies past every section, inside no raw data.
    const BuiltImage original = BuildImage(WithUnlocatedData(GetParam(), 0x5000));
    const Outcome small = Update(original.bytes, 40);
    ASSERT_TRUE(small.rebuilt.ok()) << small.rebuilt.error().message;
    EXPECT_EQ(small.rebuilt->placement, Placement::InPlace);
    EXPECT_EQ(UnlocatedRva(small.rebuilt->bytes), 0x5000u);

    // Grown over 0x5000, the section would put new bytes under the pointer.
    const Outcome large = Update(original.bytes, 0x4000);
    EXPECT_FALSE(large.rebuilt.ok());

    // The headers are mapped at RVA 0: the DOS stub stays as it was, the
    // resource directory's entry does not.
    EXPECT_TRUE(Update(BuildImage(WithUnlocatedData(GetParam(), 0x40)).bytes).rebuilt.ok());
    const std::uint32_t entry =
        static_cast<std::uint32_t>(original.dataDirectories) + 8 * kResourceDirectory;
    const Outcome header = Update(BuildImage(WithUnlocatedData(GetParam(), entry)).bytes);
    ASSERT_FALSE(header.rebuilt.ok());
    EXPECT_NE(header.rebuilt.error().message.find("points at addresses the rewrite changes"),
              std::string::npos)
        << header.rebuilt.error().message;
}

// What one way of placing the resources makes of the image, given the usual
// change, on its own: it tells why a way was passed over even where
// another way then took the resources.
Result<RebuildPlan> TryWay(const Bytes8& bytes, PlaceResourcesWay way, std::size_t size) {
    Result<ResourceUpdate> update = ResourceUpdate::FromBytes(bytes);
    Result<ResourceModule> module = ResourceModule::FromBytes(bytes);
    if (!update || !module) {
        return MakeError("the image does not read");
    }
    EXPECT_TRUE(update->Put(kStrings, ResourceId::Id(1), 0x407, Pattern(size, 9)).ok());
    const Result<ResourceLayout> layout = LayOutResources(update->stagedTree());
    if (!layout) {
        return layout.error();
    }
    const Result<RebuildSource> source =
        SurveyImage(module->file(), module->image(), module->root(), *layout);
    if (!source) {
        return source.error();
    }
    RebuildPlan initial;
    for (const Section& section : module->image().sections) {
        initial.headers.push_back(section.header);
    }
    return way(*source, initial);
}

const Section* FullNamed(const Image& image, const std::string& name) {
    for (const Section& s : image.sections) {
        if (s.FullName() == name) {
            return &s;
        }
    }
    return nullptr;
}

// A COFF string table holding `name` at offset 4 (no symbols before it),
// as the overlay, and the section called by that offset, as GNU ld writes
// the .debug_* sections.
void NameByStringTable(ImageShape& shape, SectionShape& section, const std::string& name,
                       std::uint32_t declaredSize = 0) {
    section.name = "/4";
    shape.pointerToSymbolTable = 0xA00; // where the overlay starts
    shape.overlay.assign(4, 0);
    shape.overlay.insert(shape.overlay.end(), name.begin(), name.end());
    shape.overlay.push_back(0);
    test::PutAt<std::uint32_t>(
        shape.overlay, 0,
        declaredSize != 0 ? declaredSize : static_cast<std::uint32_t>(shape.overlay.size()));
}

// A base-relocation block for one 32-bit fix-up at `address`.
Bytes8 RelocationBlock(std::uint32_t address) {
    Bytes8 block(12, 0);
    test::PutAt<std::uint32_t>(block, 0, address & ~0xFFFu);
    test::PutAt<std::uint32_t>(block, 4, 12);
    test::PutAt<std::uint16_t>(block, 8, static_cast<std::uint16_t>(0x3000 | (address & 0xFFF)));
    return block;
}

void HoldRelocations(ImageShape& shape, SectionShape& section) {
    section.name = ".reloc";
    section.content = RelocationBlock(0x1010);
    section.virtualSize = 12;
    shape.directories[kBaseRelocationDirectory] = {0x3000, 12};
}

// Code reaches a section by addresses that no header records (x64 code
// reads data RIP-relatively, without a base relocation), so a section after
// the resources moves only when no code reads it: the relocation table and
// debug information. Every other one keeps its address and its bytes, and
// the resources go to a new section.
TEST_P(Rebuild, MovesOnlyRelocationAndDebugSectionsThatFollowTheResources) {
    struct Case {
        const char* what;
        void (*shape)(ImageShape&, SectionShape&);
        const char* why; // why the section may not move; empty when it moves
    };
    const Case cases[] = {
        {"the relocation table", HoldRelocations, ""},
        {"the relocation table under another name",
         [](ImageShape& shape, SectionShape& s) {
             HoldRelocations(shape, s);
             s.name = ".fixups";
         },
         ""},
        {"a section called .reloc without the relocation directory",
         [](ImageShape& shape, SectionShape& s) {
             HoldRelocations(shape, s);
             shape.directories[kBaseRelocationDirectory] = {};
         },
         "section .reloc follows the resources and is neither the relocation table nor debug "
         "information"},
        {"the relocation table with a constant after it",
         [](ImageShape& shape, SectionShape& s) {
             HoldRelocations(shape, s);
             s.content.resize(0x20);
             s.content.push_back(7);
         },
         "section .reloc follows the resources and holds other data besides the base "
         "relocations"},
        {"a read-only discardable section that code reads",
         [](ImageShape&, SectionShape& s) { s.name = ".zz"; },
         "section .zz follows the resources and is neither the relocation table nor debug "
         "information"},
        {"debug information under a short name",
         [](ImageShape&, SectionShape& s) { s.name = ".debug_a"; }, ""},
        {"debug information under a long name",
         [](ImageShape& shape, SectionShape& s) { NameByStringTable(shape, s, ".debug_info"); },
         ""},
        {"data under a long name",
         [](ImageShape& shape, SectionShape& s) { NameByStringTable(shape, s, ".rodata_big"); },
         "section .rodata_big follows the resources and is neither"},
        {"a long name without a string table", [](ImageShape&, SectionShape& s) { s.name = "/4"; },
         "section /4 follows the resources and is neither"},
        {"a long name that runs past the end of its string table",
         [](ImageShape& shape, SectionShape& s) { NameByStringTable(shape, s, ".debug_info", 8); },
         "section /4 follows the resources and is neither"},
        {"the COFF symbol table as a section",
         [](ImageShape& shape, SectionShape& s) {
             s.name = ".symtab";
             s.content = {8, 0, 0, 0, 'a', 'b', 'c', 0}; // no symbols, a string table
             shape.pointerToSymbolTable = 0x800;
         },
         ""},
        {"debug information that is not discardable",
         [](ImageShape&, SectionShape& s) {
             s.name = ".debug_a";
             s.characteristics = 0x40000040;
         },
         "section .debug_a follows the resources and holds code or data"},
        {"debug information holding the entry point",
         [](ImageShape& shape, SectionShape& s) {
             s.name = ".debug_a";
             shape.entryPoint = 0x3010;
         },
         "section .debug_a follows the resources and holds the entry point"},
    };
    constexpr std::size_t kSize = 0x1400; // more than the page the resource section ends in
    for (const Case& c : cases) {
        ImageShape shape = Standard(GetParam(), 0x200);
        SectionShape follower{".x", 0x3000, 0x40, 0x800, 0x200, kDebug, Pattern(0x40, 5)};
        c.shape(shape, follower);
        AddSection(shape, follower);
        const BuiltImage original = BuildImage(shape);
        const Image before = Parse(original.bytes);
        const Section* was = &before.sections[2];
        const Outcome out = Update(original.bytes, kSize);
        ASSERT_TRUE(out.rebuilt.ok()) << c.what << ": " << out.rebuilt.error().message;
        ExpectUpdatedResources(out.rebuilt->bytes, kSize);
        const Image after = Parse(out.rebuilt->bytes);
        const Section* now = FullNamed(after, was->FullName());
        ASSERT_NE(now, nullptr) << c.what;
        EXPECT_EQ(RawOf(out.rebuilt->bytes, now->header), RawOf(original.bytes, was->header))
            << c.what;
        const Result<RebuildPlan> moving = TryWay(original.bytes, PlaceByMovingFollowers, kSize);
        if (std::string(c.why).empty()) {
            EXPECT_TRUE(moving.ok()) << c.what << ": " << moving.error().message;
            EXPECT_EQ(out.rebuilt->placement, Placement::Grown) << c.what;
            EXPECT_GT(now->header.virtualAddress, 0x3000u) << c.what;
            EXPECT_GT(now->header.pointerToRawData, 0x800u) << c.what;
            if (shape.pointerToSymbolTable == 0x800) {
                EXPECT_EQ(after.coff.pointerToSymbolTable, now->header.pointerToRawData);
            }
            continue;
        }
        ASSERT_FALSE(moving.ok()) << c.what;
        EXPECT_NE(moving.error().message.find(c.why), std::string::npos)
            << c.what << ": " << moving.error().message;
        EXPECT_EQ(out.rebuilt->placement, Placement::NewSection) << c.what;
        EXPECT_EQ(std::memcmp(&now->header, &was->header, sizeof(SectionHeader)), 0) << c.what;
    }
}

// With no room for another section header either, the update is refused and
// says why for both.
TEST_P(Rebuild, RefusesWhenASectionCodeMayReadFollowsAndTheHeadersAreFull) {
    ImageShape shape = Standard(GetParam(), 0x200);
    AddSection(shape, {".zz", 0x3000, 4, 0x800, 0x200, kDebug, {7, 0, 0, 0}});
    BuiltImage original = BuildImage(shape);
    test::PutAt<std::uint32_t>(original.bytes, original.optionalHeader + 60,
                               static_cast<std::uint32_t>(original.sectionTable + 3 * 40));
    const Outcome out = Update(original.bytes, 0x900);
    ASSERT_FALSE(out.rebuilt.ok());
    const std::string& message = out.rebuilt.error().message;
    for (const char* part :
         {"section .zz follows the resources and is neither the relocation table nor debug "
          "information",
          "in a new section: the headers have no room for another section header"}) {
        EXPECT_NE(message.find(part), std::string::npos) << message;
    }
}

// Header fields the rewrite writes may change where no section and no symbol
// table holds them; what lies elsewhere in the headers stays as it was.
TEST_P(Rebuild, RewritesHeaderFieldsThatBelongToNoSection) {
    struct Case {
        const char* what;
        void (*shape)(ImageShape&);
    };
    const Case cases[] = {
        {"a section holding the DOS stub",
         [](ImageShape& shape) {
             shape.sections.push_back(
                 {".stub", 0x800, 0x40, 0x40, 0x40, 0x40000040, Pattern(0x40, 3)});
         }},
        {"a symbol table in the DOS stub",
         [](ImageShape& shape) { shape.pointerToSymbolTable = 0x40; }},
    };
    for (const Case& c : cases) {
        ImageShape shape = Standard(GetParam(), 0x200);
        c.shape(shape);
        BuiltImage original = BuildImage(shape);
        test::PutAt<std::uint32_t>(original.bytes, 0x40, 4); // an empty string table, if any
        const Outcome out = Update(original.bytes, 0x900);
        ASSERT_TRUE(out.rebuilt.ok()) << c.what << ": " << out.rebuilt.error().message;
        EXPECT_EQ(out.rebuilt->placement, Placement::Grown) << c.what;
        const Bytes8& bytes = out.rebuilt->bytes;
        EXPECT_TRUE(
            std::equal(bytes.begin() + 0x40, bytes.begin() + 0x80, original.bytes.begin() + 0x40))
            << c.what;
        EXPECT_EQ(Parse(bytes).coff.pointerToSymbolTable, shape.pointerToSymbolTable) << c.what;
    }
}

// The refusal above relies on knowing every header byte the rewrite writes:
// whatever placement it takes, no other byte of the headers changes.
TEST_P(Rebuild, ChangesNoHeaderByteOutsideTheFieldsItRewrites) {
    struct Case {
        const char* what;
        std::uint32_t resourceRaw;
        std::size_t size;
        const char* follower; // a section after the resources, if any
        Placement expected;
    };
    const Case cases[] = {{"in place", 0x400, 40, nullptr, Placement::InPlace},
                          {"grown", 0x200, 0x900, nullptr, Placement::Grown},
                          {"grown past relocations", 0x200, 0x900, ".reloc", Placement::Grown},
                          {"in a new section", 0x200, 0x900, ".data", Placement::NewSection}};
    for (const Case& c : cases) {
        ImageShape shape = Standard(GetParam(), c.resourceRaw);
        shape.checkSum = 0x1234;
        shape.overlay = Bytes8(40, 0); // symbols, as mingw leaves them after the sections
        if (c.follower != nullptr) {
            SectionShape follower{c.follower, 0x3000, 12, 0x800, 0x200, kData, Pattern(12, 4)};
            if (std::string(c.follower) == ".reloc") {
                HoldRelocations(shape, follower);
                follower.characteristics = kReloc;
            }
            AddSection(shape, follower);
        }
        BuiltImage original = BuildImage(shape);
        test::PutAt<std::uint32_t>(original.bytes, original.coffHeader + 8,
                                   static_cast<std::uint32_t>(original.overlayStart));
        const Outcome out = Update(original.bytes, c.size);
        ASSERT_TRUE(out.rebuilt.ok()) << c.what << ": " << out.rebuilt.error().message;
        EXPECT_EQ(out.rebuilt->placement, c.expected) << c.what;
        const Image before = Parse(original.bytes);
        const std::vector<Range> fields =
            RewrittenHeaderFields(before, Parse(out.rebuilt->bytes).sections.size());
        std::size_t changed = 0;
        for (std::size_t at = 0; at < before.sizeOfHeaders; ++at) {
            if (out.rebuilt->bytes[at] == original.bytes[at]) {
                continue;
            }
            ++changed;
            EXPECT_TRUE(std::any_of(fields.begin(), fields.end(),
                                    [&](const Range& f) { return Contains(f.start, f.size, at); }))
                << c.what << ": header byte " << at << " changed";
        }
        EXPECT_GT(changed, 0u) << c.what << ": the resource directory's size at least changes";
    }
}

// When the way that fits first makes a plan that breaks a rule only the
// complete plan shows, the next way is tried: here moving the relocations
// would shift memory that a resource outside the file points into, and a
// new section leaves it alone.
TEST_P(Rebuild, TriesTheNextWayWhenTheCompletePlanBreaksARule) {
    // 0x3400 lies in .reloc's memory, past its raw data.
    ImageShape shape = WithUnlocatedData(GetParam(), 0x3400, 0x200);
    SectionShape relocs{".reloc", 0x3000, 0x800, 0x800, 0x200, kReloc, {}};
    HoldRelocations(shape, relocs);
    relocs.virtualSize = 0x800;
    AddSection(shape, relocs);
    const BuiltImage original = BuildImage(shape);

    ASSERT_TRUE(TryWay(original.bytes, PlaceByMovingFollowers, 0x1400).ok())
        << "moving the relocations fits, before the complete plan is checked";
    const Outcome out = Update(original.bytes, 0x1400);
    ASSERT_TRUE(out.rebuilt.ok()) << out.rebuilt.error().message;
    EXPECT_EQ(out.rebuilt->placement, Placement::NewSection);
    const Image after = Parse(out.rebuilt->bytes);
    const SectionHeader* reloc = Named(after, ".reloc");
    ASSERT_NE(reloc, nullptr);
    EXPECT_EQ(reloc->virtualAddress, 0x3000u);
    EXPECT_EQ(UnlocatedRva(out.rebuilt->bytes), 0x3400u);
}

// Some stub builders rewrite the resource section of a GNU ld image so that
// its raw data covers the relocation section's. A section lying wholly
// there that may move (the relocation table, debug information) moves out
// with its bytes; any other sharing of file bytes is refused.
TEST_P(Rebuild, MovesTheRelocationsOutOfTheResourceSectionsRawData) {
    struct Case {
        const char* what;
        std::uint32_t offset; // where the section's raw data starts
        void (*shape)(ImageShape&, SectionShape&);
        Placement expected;
        const char* refusal; // empty when the update is done
    };
    const Case cases[] = {
        {"the relocation table", 0xA00, HoldRelocations, Placement::Grown, ""},
        {"the relocation table at the section's end", 0xA00 + 0x100,
         [](ImageShape& shape, SectionShape& s) {
             HoldRelocations(shape, s);
             s.sizeOfRawData = 0x100;
         },
         Placement::Grown, ""},
        {"debug information", 0xA00, [](ImageShape&, SectionShape& s) { s.name = ".debug_a"; },
         Placement::Grown, ""},
        {"the relocation table with a constant after it, which may not move", 0xA00,
         [](ImageShape& shape, SectionShape& s) {
             HoldRelocations(shape, s);
             s.content.resize(0x20);
             s.content.push_back(7);
         },
         Placement::NewSection,
         "section .rsrc and section .reloc share file bytes; section .reloc follows the "
         "resources and holds other data besides the base relocations"},
        {"the relocation table reaching past the resource section", 0xB00, HoldRelocations,
         Placement::NewSection, "section .rsrc and section .reloc share file bytes"},
        {"data", 0xA00,
         [](ImageShape&, SectionShape& s) {
             s.name = ".data";
             s.characteristics = kData;
         },
         Placement::NewSection, "section .rsrc and section .data share file bytes"},
    };
    for (const std::size_t size : {std::size_t{40}, std::size_t{0x1400}}) {
        for (const Case& c : cases) {
            ImageShape shape = Standard(GetParam(), 0x600); // raw data 0x600 to 0xC00
            SectionShape nested{".x", 0x3000, 0x40, c.offset, 0x200, kDebug, Pattern(0x40, 5)};
            c.shape(shape, nested);
            AddSection(shape, nested);
            const BuiltImage original = BuildImage(shape);
            const Image before = Parse(original.bytes);
            const Outcome out = Update(original.bytes, size);
            if (*c.refusal != 0) {
                ASSERT_FALSE(out.rebuilt.ok()) << c.what;
                EXPECT_NE(out.rebuilt.error().message.find(c.refusal), std::string::npos)
                    << c.what << ": " << out.rebuilt.error().message;
                continue;
            }
            ASSERT_TRUE(out.rebuilt.ok()) << c.what << ": " << out.rebuilt.error().message;
            EXPECT_EQ(out.rebuilt->placement, c.expected) << c.what;
            const Bytes8& bytes = out.rebuilt->bytes;
            ExpectUpdatedResources(bytes, size);
            const Image after = Parse(bytes);
            const SectionHeader& was = before.sections[2].header;
            const SectionHeader& now = after.sections[2].header;
            EXPECT_EQ(RawOf(bytes, now), RawOf(original.bytes, was)) << c.what;
            const SectionHeader& rsrc = after.sections[1].header;
            if (c.expected == Placement::Grown) {
                EXPECT_GE(now.pointerToRawData, rsrc.pointerToRawData + rsrc.sizeOfRawData)
                    << c.what;
                ExpectAdjacentSections(after);
            }
            // The loader finds the same relocations through the directory.
            const DataDirectory relocs = after.Directory(kBaseRelocationDirectory);
            const std::optional<Bytes> table =
                after.SliceAtRva(bytes, relocs.virtualAddress, relocs.size);
            const std::optional<Bytes> old = before.SliceAtRva(
                original.bytes, before.Directory(kBaseRelocationDirectory).virtualAddress,
                before.Directory(kBaseRelocationDirectory).size);
            ASSERT_EQ(table.has_value(), old.has_value()) << c.what;
            if (old) {
                EXPECT_TRUE(std::equal(table->begin(), table->end(), old->begin(), old->end()))
                    << c.what;
            }
        }
    }
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
        // Header fields the rewrite writes must belong to no section: packed
        // and size-optimised images map the headers into a section.
        {"raw data at offset 0, covering the headers",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 20, 0);
         },
         "section .text shares file bytes with header fields the rewrite changes"},
        {"raw data starting at the checksum",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 20,
                                        static_cast<std::uint32_t>(i.optionalHeader + 64));
         },
         "section .text shares file bytes with header fields the rewrite changes"},
        {"raw data starting inside the section table",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 20,
                                        static_cast<std::uint32_t>(i.sectionTable + 40));
         },
         "section .text shares file bytes with header fields the rewrite changes"},
        {"the resource section's raw data at offset 0",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.sectionTable + 40 + 20, 0);
         },
         "section .rsrc shares file bytes with header fields the rewrite changes"},
        {"the bound import directory inside the section table",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<DataDirectory>(b, i.dataDirectories + 8 * kBoundImportDirectory,
                                        {static_cast<std::uint32_t>(i.sectionTable + 8), 0x20});
         },
         "the bound import directory lies in header fields the rewrite changes"},
        {"a symbol table from the DOS stub over the COFF header",
         [](Bytes8& b, const BuiltImage& i) {
             test::PutAt<std::uint32_t>(b, i.coffHeader + 8, 0x40);
             test::PutAt<std::uint32_t>(b, i.coffHeader + 12, 8); // 144 bytes of symbols
         },
         "the COFF symbol table shares file bytes with header fields the rewrite changes"},
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
