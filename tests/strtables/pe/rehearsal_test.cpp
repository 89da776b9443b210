// A rehearsed update (what 'korva-dat check' runs) against the update
// itself: the same failure with the same words, on a file it may not write,
// which it leaves as it was with nothing beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "strtables/pe/resource_update.h"
#include "support/fixtures.h"
#include "support/synthetic_image.h"
#include "support/workspace.h"

namespace korva::pe {
namespace {

namespace fs = std::filesystem;
using Bytes8 = std::vector<std::uint8_t>;

const ResourceId kStrings = ResourceId::Id(6);
const ResourceId kBlock1 = ResourceId::Id(1);
constexpr std::uint32_t kResourceRva = 0x2000;

Bytes8 Pattern(std::size_t size, std::uint8_t seed) {
    Bytes8 out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return out;
}

// Block 1 in 0x0407 and 0x0409, in a section with room to grow; with
// `twice`, the second copy says 0x0407 too, as a linker leaves two objects
// that hold the same resource (it warns, and links).
Bytes8 TwoCopies(bool twice, bool boxedIn) {
    ResourceDirectory empty;
    ResourceChanges tree(empty);
    EXPECT_TRUE(tree.Put(kStrings, kBlock1, 0x407, Pattern(24, 1)).ok());
    EXPECT_TRUE(tree.Put(kStrings, kBlock1, 0x409, Pattern(24, 2)).ok());
    Bytes8 rsrc = *FillResources(*LayOutResources(tree.tree()), kResourceRva);
    if (twice) {
        // The directory comes before the data: the first 0x0409 is its key.
        const Bytes8 key = {0x09, 0x04, 0x00, 0x00};
        const auto at = std::search(rsrc.begin(), rsrc.end(), key.begin(), key.end());
        EXPECT_NE(at, rsrc.end());
        *at = 0x07;
    }
    test::ImageShape shape;
    const auto size = static_cast<std::uint32_t>(rsrc.size());
    shape.sections.push_back({".text", 0x1000, 0x10, 0x400, 0x200, 0x60000020, Pattern(16, 3)});
    shape.sections.push_back({".rsrc", kResourceRva, size, 0x600, 0x200, 0x40000040, rsrc});
    if (boxedIn) {
        // Data after the resources and no room for another section header.
        shape.sizeOfHeaders = 0x200;
        shape.sections[0].pointerToRawData = 0x200;
        shape.sections[1].pointerToRawData = 0x400;
        shape.sections.push_back({".data", 0x3000, 0x10, 0x600, 0x200, 0xC0000040, {}});
    }
    shape.directories[kResourceDirectory] = {kResourceRva, size};
    return test::BuildImage(shape).bytes;
}

struct Case {
    const char* what;
    Bytes8 image;
    std::function<Result<void>(ResourceUpdate&)> stage;
    std::string why; // empty when the update goes through
};

Result<void> AddFrench(ResourceUpdate& update) {
    return update.Put(kStrings, kBlock1, 0x40C, Pattern(40, 4));
}

TEST(ResourceRehearsal, FailsAsTheUpdateWouldAndTouchesNothing) {
    const Case cases[] = {
        {"a French copy added", TwoCopies(false, false), AddFrench, ""},
        {"a language listed twice", TwoCopies(true, false), AddFrench,
         "laying out resources: resource directory lists type #6 (string table), name #1, "
         "language 0x0407 twice"},
        {"new resources that fit nowhere", TwoCopies(false, true),
         [](ResourceUpdate& update) {
             return update.Put(kStrings, ResourceId::Id(2), 0x407, Pattern(0x900, 5));
         },
         "no safe place for the resources"},
        {"nothing changed", TwoCopies(true, false),
         [](ResourceUpdate& update) { return update.Remove(kStrings, ResourceId::Id(9), 0); }, ""},
    };
    for (const Case& c : cases) {
        test::Workspace ws;
        const std::string image = test::WriteScratchFile("rehearsed.dll", c.image);
        const std::string path = ws.Copy(image, "a.dll");
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
        Result<ResourceUpdate> rehearsal = ResourceUpdate::ForRehearsal(path);
        ASSERT_TRUE(rehearsal.ok()) << c.what << ": " << rehearsal.error().message;
        ASSERT_TRUE(c.stage(*rehearsal).ok()) << c.what;
        const Result<void> rehearsed = rehearsal->Rehearse();
        if (rehearsal->changed()) {
            EXPECT_FALSE(rehearsal->Commit().ok()) << c.what << ": a rehearsal writes no file";
        }
        EXPECT_EQ(test::ReadWholeFile(path), c.image) << c.what;
        EXPECT_EQ(ws.Listing(), std::set<std::string>{"a.dll"}) << c.what;

        const std::string writable = ws.Copy(image, "b.dll");
        Result<ResourceUpdate> update = ResourceUpdate::Begin(writable);
        ASSERT_TRUE(update.ok()) << c.what;
        ASSERT_TRUE(c.stage(*update).ok()) << c.what;
        const Result<void> committed = update->Commit();
        ASSERT_EQ(rehearsed.ok(), committed.ok()) << c.what;
        if (c.why.empty()) {
            EXPECT_TRUE(rehearsed.ok()) << c.what << ": " << rehearsed.error().message;
            continue;
        }
        EXPECT_EQ(rehearsed.error().message, committed.error().message) << c.what;
        EXPECT_NE(rehearsed.error().message.find(c.why), std::string::npos)
            << c.what << ": " << rehearsed.error().message;
    }
}

} // namespace
} // namespace korva::pe
