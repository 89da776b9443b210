// The check of a new image before it replaces the old one: one image as
// written, then one fault per row that a wrong layout or a file changed
// after writing would leave, each refused.
#include "strtables/pe/image_verify.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "strtables/pe/resource_module.h"
#include "strtables/pe/resource_update.h"
#include "support/synthetic_image.h"

namespace korva::pe {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

const ResourceId kStrings = ResourceId::Id(6);
const ResourceId kRcData = ResourceId::Id(10);
const ResourceId kBlock1 = ResourceId::Id(1);
constexpr std::uint32_t kResourceRva = 0x2000;

Bytes8 Pattern(std::size_t size, std::uint8_t seed) {
    Bytes8 out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 11);
    }
    return out;
}

// Makes Pattern(size, item).
class PatternSource final : public DataSource {
public:
    void Produce(std::uint64_t item, std::span<std::uint8_t> out) const override {
        const Bytes8 bytes = Pattern(out.size(), static_cast<std::uint8_t>(item));
        std::memcpy(out.data(), bytes.data(), bytes.size());
    }
};

// .text, then .rsrc with a binary resource that the update keeps.
Bytes8 Original() {
    ResourceDirectory empty;
    ResourceChanges tree(empty);
    EXPECT_TRUE(tree.Put(kRcData, ResourceId::Name(u"KEEP"), 0x409, Pattern(300, 3)).ok());
    const Bytes8 rsrc = *FillResources(*LayOutResources(tree.tree()), kResourceRva);
    test::ImageShape shape;
    shape.sections.push_back({".text", 0x1000, 0x100, 0x400, 0x200, 0x60000020, Pattern(0x100, 1)});
    shape.sections.push_back({".rsrc", kResourceRva, static_cast<std::uint32_t>(rsrc.size()), 0x600,
                              0x800, 0x40000040, rsrc});
    shape.directories[kResourceDirectory] = {kResourceRva, static_cast<std::uint32_t>(rsrc.size())};
    return test::BuildImage(shape).bytes;
}

// Where one leaf's data lies in `file`.
std::size_t DataOffset(const Bytes8& file, const ResourceId& type, const ResourceId& name,
                       std::uint16_t language) {
    Result<ResourceModule> module = ResourceModule::View(file);
    EXPECT_TRUE(module.ok());
    const ResourceData* data = module->Find(type, name, language);
    EXPECT_NE(data, nullptr);
    return static_cast<std::size_t>(data->bytes.data() - file.data());
}

struct Fault {
    const char* what;
    std::function<void(Bytes8& file, std::uint32_t& resourceSize, ProducedDigests& digests)> make;
    const char* why; // empty for the image as written, which passes
};

TEST(VerifyRebuiltImage, RefusesEveryFaultOfTheNewImage) {
    const PatternSource source;
    Result<ResourceUpdate> update = ResourceUpdate::FromBytes(Original());
    ASSERT_TRUE(update.ok());
    ASSERT_TRUE(update->Put(kStrings, kBlock1, 0x407, ProducedData{&source, 7, 500}).ok());
    const Result<RebuiltImage> rebuilt = update->Build();
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.error().message;
    const std::size_t made = DataOffset(rebuilt->bytes, kStrings, kBlock1, 0x407);
    const std::size_t kept = DataOffset(rebuilt->bytes, kRcData, ResourceId::Name(u"KEEP"), 0x409);

    const Fault faults[] = {
        {"none", [](Bytes8&, std::uint32_t&, ProducedDigests&) {}, ""},
        {"a byte of the data made on demand changed after writing",
         [&](Bytes8& file, std::uint32_t&, ProducedDigests&) { file[made + 250] ^= 1; },
         "the data of resource type #6 (string table), name #1, language 0x0407 differs"},
        {"the data made on demand never made for the file",
         [](Bytes8&, std::uint32_t&, ProducedDigests& digests) { digests = ProducedDigests(); },
         "the data of resource type #6 (string table), name #1, language 0x0407 differs"},
        {"a byte of a kept resource changed",
         [&](Bytes8& file, std::uint32_t&, ProducedDigests&) { file[kept + 299] ^= 0x80; },
         "the data of resource type #10 (RCDATA), name \"KEEP\", language 0x0409 differs"},
        {"the directory not on the new resources",
         [](Bytes8&, std::uint32_t& resourceSize, ProducedDigests&) { ++resourceSize; },
         "does not point at the new resources"},
    };
    for (const Fault& fault : faults) {
        Bytes8 file = rebuilt->bytes;
        std::uint32_t resourceSize = rebuilt->resourceSize;
        ProducedDigests digests = rebuilt->digests;
        fault.make(file, resourceSize, digests);
        const Result<void> checked = VerifyRebuiltImage(file, rebuilt->resourceRva, resourceSize,
                                                        update->stagedTree(), digests);
        if (std::string(fault.why).empty()) {
            EXPECT_TRUE(checked.ok()) << fault.what << ": " << checked.error().message;
            continue;
        }
        ASSERT_FALSE(checked.ok()) << fault.what;
        EXPECT_NE(checked.error().message.find(fault.why), std::string::npos)
            << fault.what << ": " << checked.error().message;
    }
}

} // namespace
} // namespace korva::pe
