#include "dat/file_io.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "platform/platform.h"

namespace korva::dat {

Result<std::string> ReadFileBytes(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(const std::vector<std::uint8_t> bytes, ReadWholeFile(path));
    return std::string(bytes.begin(), bytes.end());
}

Result<void> WriteFileAllOrNothing(const std::string& path, std::string_view bytes) {
    // The replacement takes over the permissions of the file it replaces, so
    // a new file is first created empty, with the ones the user's umask
    // gives, and removed again when the replacement fails.
    std::error_code ignored;
    const std::filesystem::path where = FileSystemPath(path);
    const bool existed = std::filesystem::exists(where, ignored);
    if (!existed && !std::ofstream(where, std::ios::binary)) {
        return MakeError("cannot create " + path);
    }
    const std::span<const std::uint8_t> content(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size());
    if (Result<void> replaced = ReplaceFileAtomically(path, content); !replaced) {
        if (!existed) {
            std::filesystem::remove(where, ignored);
        }
        return replaced;
    }
    return {};
}

} // namespace korva::dat
