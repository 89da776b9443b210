// Runs one file operation in a process of its own, so that tests can run it
// under a file size limit, as another user, or kill it on the way.
//   pe_file_tool replace <path> <size>  -- replaces the file by <size> bytes
//   pe_file_tool update <path> <size>   -- stages <size> bytes as block 1 in
//                                          0x407, removes the neutral copy, commits
// Exit codes: 0 done, 1 the write or commit failed, 2 the update could not
// begin, 3 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "strtables/pe/resource_update.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        return 3;
    }
    const std::string command = argv[1];
    const std::string path = argv[2];
    const std::vector<std::uint8_t> bytes(std::strtoull(argv[3], nullptr, 10), 'N');
    if (command == "replace") {
        const korva::Result<void> status = korva::ReplaceFileAtomically(path, bytes);
        if (!status) {
            std::fprintf(stderr, "%s\n", status.error().message.c_str());
            return 1;
        }
        return 0;
    }
    if (command == "update") {
        using korva::pe::ResourceId;
        auto update = korva::pe::ResourceUpdate::Begin(path);
        if (!update) {
            std::fprintf(stderr, "%s\n", update.error().message.c_str());
            return 2;
        }
        if (!update->Put(ResourceId::Id(6), ResourceId::Id(1), 0x407, bytes) ||
            !update->Remove(ResourceId::Id(6), ResourceId::Id(1), 0)) {
            return 1;
        }
        const auto committed = update->Commit();
        if (!committed) {
            std::fprintf(stderr, "%s\n", committed.error().message.c_str());
            return 1;
        }
        return 0;
    }
    return 3;
}
