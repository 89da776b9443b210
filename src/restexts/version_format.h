#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "restexts/text_template.h"

namespace korva::res {

// Reads a VS_VERSIONINFO as ParseVersionInfo(data) does, except that the
// texts come from the string table whose key names `resourceLanguage` (the
// first four of its eight hex digits), and from the first table only when
// none does. The one-argument form, which knows no language, always takes
// the first.
Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> data,
                                                       std::uint16_t resourceLanguage);

} // namespace korva::res
