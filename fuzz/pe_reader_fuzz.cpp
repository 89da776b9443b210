// Feeds arbitrary bytes to the image parser, the resource tree reader and
// the string-table decoding, the way a run reads a target.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "strtables/pe/constants.h"
#include "strtables/pe/resource_module.h"
#include "strtables/read_string_tables.h"

namespace {

// Touches every located byte, so that a span pointing outside the input
// shows up under AddressSanitizer.
std::uint32_t Touch(const korva::pe::ResourceDirectory& directory) {
    std::uint32_t sum = 0;
    for (const korva::pe::ResourceEntry& entry : directory.entries) {
        if (entry.subdirectory) {
            sum += Touch(*entry.subdirectory);
        } else if (entry.data) {
            for (const std::uint8_t b : entry.data->bytes) {
                sum += b;
            }
        }
    }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto module =
        korva::pe::ResourceModule::FromBytes(std::vector<std::uint8_t>(data, data + size));
    if (!module) {
        return 0;
    }
    volatile std::uint32_t sink = Touch(module->root());
    (void)sink;
    std::vector<korva::TResInfo> blocks;
    const korva::pe::ResourceId type = korva::pe::ResourceId::Id(korva::pe::kRtString);
    module->EnumNames(type, [&](const korva::pe::ResourceId& name) {
        return korva::EnumNamesProc(*module, type, name, blocks, {});
    });
    return 0;
}
