// Parses arbitrary bytes as an image; where they parse, stages a change
// chosen by the input, builds the new image in memory and reads it back.
// Building may refuse; a build that succeeds must read back with the change
// in place and everything else as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "strtables/pe/constants.h"
#include "strtables/pe/resource_module.h"
#include "strtables/pe/resource_update.h"

namespace {

using korva::pe::ResourceId;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The first string-table name of the image, so that changes hit existing
// blocks as often as new ones.
ResourceId FirstBlock(const korva::pe::ResourceModule& module, std::uint16_t fallback) {
    ResourceId found = ResourceId::Id(fallback);
    module.EnumNames(ResourceId::Id(korva::pe::kRtString), [&](const ResourceId& name) {
        found = name;
        return false;
    });
    return found;
}

// Stages data made on demand from a copy it holds.
class CopySource final : public korva::pe::DataSource {
public:
    explicit CopySource(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    void Produce(std::uint64_t /*item*/, std::span<std::uint8_t> out) const override {
        Require(out.size() == bytes_.size());
        std::copy(bytes_.begin(), bytes_.end(), out.begin());
    }

private:
    const std::vector<std::uint8_t>& bytes_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    // The last four bytes choose the change; the image keeps them too.
    const std::uint8_t* choice = data + size - 4;
    auto update =
        korva::pe::ResourceUpdate::FromBytes(std::vector<std::uint8_t>(data, data + size));
    if (!update) {
        return 0;
    }
    auto original =
        korva::pe::ResourceModule::FromBytes(std::vector<std::uint8_t>(data, data + size));
    Require(original.ok());

    const ResourceId type = ResourceId::Id(korva::pe::kRtString);
    const ResourceId name =
        (choice[0] & 1) ? FirstBlock(*original, choice[1]) : ResourceId::Id(choice[1]);
    const std::uint16_t language = static_cast<std::uint16_t>(choice[2] & 0x0F);
    const std::uint16_t removed = static_cast<std::uint16_t>(language + 1);
    // Sizes from empty to past any section's room.
    const std::size_t dataSize = (choice[0] & 2) ? std::size_t{choice[3]} * 97 : choice[3];
    std::vector<std::uint8_t> bytes(dataSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 31 + choice[3]);
    }

    // Either a copy of the bytes or the bytes made while the image is built.
    const CopySource source(bytes);
    const bool staged =
        (choice[0] & 8) != 0
            ? update
                  ->Put(type, name, language,
                        korva::pe::ProducedData{&source, 0, static_cast<std::uint32_t>(dataSize)})
                  .ok()
            : update->Put(type, name, language, bytes).ok();
    if (!staged) {
        return 0;
    }
    const bool removing = (choice[0] & 4) != 0;
    if (removing) {
        Require(update->Remove(type, name, removed).ok());
    }
    auto rebuilt = update->Build();
    if (!rebuilt) {
        return 0;
    }

    auto reread = korva::pe::ResourceModule::FromBytes(rebuilt->bytes);
    Require(reread.ok());
    const korva::pe::ResourceData* put = reread->Find(type, name, language);
    Require(put != nullptr && put->located);
    Require(std::equal(put->bytes.begin(), put->bytes.end(), bytes.begin(), bytes.end()));
    if (removing) {
        Require(reread->Find(type, name, removed) == nullptr);
    }
    // A signature cannot survive a rewrite.
    Require(reread->image().Directory(korva::pe::kCertificateDirectory).size == 0);

    // Every other copy of the usual three levels is there, byte for byte.
    for (const auto& t : original->root().entries) {
        if (!t.subdirectory) {
            continue;
        }
        for (const auto& n : t.subdirectory->entries) {
            if (!n.subdirectory) {
                continue;
            }
            for (const auto& l : n.subdirectory->entries) {
                if (!l.data || !l.id.isId) {
                    continue;
                }
                const bool touched = t.id == type && n.id == name &&
                                     (l.id.id == language || (removing && l.id.id == removed));
                if (touched) {
                    continue;
                }
                const korva::pe::ResourceData* after = reread->Find(t.id, n.id, l.id.id);
                Require(after != nullptr && after->located == l.data->located);
                Require(std::equal(after->bytes.begin(), after->bytes.end(), l.data->bytes.begin(),
                                   l.data->bytes.end()));
            }
        }
    }
    return 0;
}
