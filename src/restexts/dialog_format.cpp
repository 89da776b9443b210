#include "restexts/text_template.h"

namespace korva::res {

Result<std::unique_ptr<TextTemplate>> ParseDialog(std::span<const std::uint8_t> /*data*/) {
    return MakeError("not read yet");
}

} // namespace korva::res
