#include "restexts/text_template.h"

namespace korva::res {

Result<std::unique_ptr<TextTemplate>> ParseTextResource(TextFormat format,
                                                        std::span<const std::uint8_t> data) {
    switch (format) {
    case TextFormat::Menu:
        return ParseMenu(data);
    case TextFormat::Dialog:
        return ParseDialog(data);
    case TextFormat::Version:
        return ParseVersionInfo(data);
    case TextFormat::MessageTable:
        return ParseMessageTable(data);
    }
    return MakeError("unknown resource format");
}

} // namespace korva::res
