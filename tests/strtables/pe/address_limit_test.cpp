// Updates that would carry an image past the 32 bits of SizeOfImage and of
// every RVA: refused on the file, which stays as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "strtables/pe/image.h"
#include "strtables/pe/resource_changes.h"
#include "strtables/pe/resource_module.h"
#include "strtables/pe/resource_serializer.h"
#include "strtables/pe/resource_update.h"
#include "support/fixtures.h"
#include "support/synthetic_image.h"
#include "support/workspace.h"

namespace korva::pe {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

const ResourceId kStrings = ResourceId::Id(6);
constexpr std::uint32_t kUninitialized = 0xC0000080; // uninitialised data, read/write

Bytes8 Pattern(std::size_t size, std::uint8_t seed) {
    Bytes8 out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return out;
}

// A small file whose image reaches up to `top`: code, then uninitialised
// data that takes no room in the file.
test::ImageShape ReachingUpTo(std::uint32_t top) {
    test::ImageShape shape;
    shape.sections.push_back({".text", 0x1000, 0x10, 0x400, 0x200, 0x60000020, Pattern(16, 1)});
    shape.sections.push_back({".bss", 0x2000, top - 0x2000, 0, 0, kUninitialized, {}});
    return shape;
}

// The same, with a resource section at `rva` as the last section.
test::ImageShape ResourcesAt(std::uint32_t rva) {
    test::ImageShape shape = ReachingUpTo(rva);
    ResourceDirectory empty;
    ResourceChanges tree(empty);
    EXPECT_TRUE(tree.Put(kStrings, ResourceId::Id(1), 0, Pattern(20, 2)).ok());
    const Bytes8 rsrc = *FillResources(*LayOutResources(tree.tree()), rva);
    shape.sections.push_back(
        {".rsrc", rva, static_cast<std::uint32_t>(rsrc.size()), 0x600, 0x200, 0x40000040, rsrc});
    shape.directories[kResourceDirectory] = {rva, static_cast<std::uint32_t>(rsrc.size())};
    return shape;
}

struct Case {
    const char* what;
    test::ImageShape shape;
    std::size_t dataSize; // of the block staged in language 0x407
    bool fits;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.what;
}

class AddressLimit : public testing::TestWithParam<Case> {
protected:
    test::Workspace ws_;
};

TEST_P(AddressLimit, RefusesAnImagePastFourGigabytesAndLeavesTheFile) {
    const Case& c = GetParam();
    const Bytes8 before = test::BuildImage(c.shape).bytes;
    const std::string path = ws_.Copy(test::WriteScratchFile("limit.dll", before), "t.dll");

    Result<ResourceUpdate> update = ResourceUpdate::Begin(path);
    ASSERT_TRUE(update.ok()) << c.what << ": " << update.error().message;
    const Bytes8 data = Pattern(c.dataSize, 9);
    ASSERT_TRUE(update->Put(kStrings, ResourceId::Id(1), 0x407, data).ok());
    const Result<void> done = update->Commit();
    EXPECT_EQ(done.ok(), c.fits) << c.what << ": " << (done.ok() ? "" : done.error().message);
    EXPECT_EQ(ws_.Listing(), std::set<std::string>{"t.dll"}) << c.what;
    const Bytes8 after = test::ReadWholeFile(path);
    if (!c.fits) {
        EXPECT_NE(done.error().message.find("32-bit"), std::string::npos) << done.error().message;
        EXPECT_EQ(after, before) << c.what;
        return;
    }
    Result<ResourceModule> module = ResourceModule::Open(path);
    ASSERT_TRUE(module.ok()) << c.what;
    const ResourceData* found = module->Find(kStrings, ResourceId::Id(1), 0x407);
    ASSERT_NE(found, nullptr) << c.what;
    EXPECT_TRUE(std::equal(found->bytes.begin(), found->bytes.end(), data.begin(), data.end()));
    EXPECT_LE(std::uint64_t{module->image().sizeOfImage}, std::uint64_t{0xFFFFF000});
}

INSTANTIATE_TEST_SUITE_P(
    Commit, AddressLimit,
    testing::Values(
        // A new section: it fits just below the top, or its SizeOfImage or
        // its own end would need a 33rd bit.
        Case{"new section ending one page below 4 GiB", ReachingUpTo(0xFFFFE000), 0x10, true},
        Case{"new section whose SizeOfImage rounds up to 4 GiB", ReachingUpTo(0xFFFFF000), 0x10,
             false},
        Case{"new section running past 4 GiB", ReachingUpTo(0xFFFFE000), 0x2000, false},
        Case{"new section in the last page of the address space", ReachingUpTo(0xFFFFF000),
             0x100000, false},
        // The resource section is last and would have to grow past the top.
        Case{"grown resource section that still fits", ResourcesAt(0xFFFF0000), 0x1000, true},
        Case{"grown resource section past 4 GiB", ResourcesAt(0xFFFF0000), 0x10000, false}),
    [](const auto& instance) { return std::to_string(instance.index); });

} // namespace
} // namespace korva::pe
