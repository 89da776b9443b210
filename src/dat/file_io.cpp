#include "dat/file_io.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/platform.h"

namespace korva::dat {

Result<std::string> ReadFileBytes(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(const std::vector<std::uint8_t> bytes, ReadWholeFile(path));
    return std::string(bytes.begin(), bytes.end());
}

Result<void> WriteFileAllOrNothing(const std::string& path, std::string_view bytes) {
    const std::span<const std::uint8_t> content(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size());
    std::error_code ignored;
    if (std::filesystem::symlink_status(FileSystemPath(path), ignored).type() ==
        std::filesystem::file_type::not_found) {
        return CreateFileAtomically(path, content);
    }
    // A file its owner made read-only is left as it is, as korva leaves its
    // target: the replacement would otherwise go through, the directory
    // being writable.
    KORVA_RETURN_IF_ERROR(CheckWritable(path));
    return ReplaceFileAtomically(path, content);
}

} // namespace korva::dat
