#include "restexts/version_format.h"

namespace korva::res {

Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> /*data*/) {
    return MakeError("not read yet");
}

} // namespace korva::res

namespace korva::res {

Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> data,
                                                       std::uint16_t /*resourceLanguage*/) {
    return ParseVersionInfo(data);
}

} // namespace korva::res
