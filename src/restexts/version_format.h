#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "common/result.h"
#include "restexts/text_template.h"

namespace korva::res {

// Reads a version resource whose copy is in `resourceLanguage`: of several
// string tables, the one whose key names that language supplies the texts,
// else the first.
Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> data,
                                                       std::uint16_t resourceLanguage);

} // namespace korva::res
