#include "restexts/version_format.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "restexts/template_units.h"
#include "restexts/version_blocks.h"

namespace korva::res {
namespace {

using version::Block;
using version::Hex;
using version::Narrow;
using version::SameKey;
using version::StringTable;
using version::TopChild;

constexpr std::uint16_t kUnicodeCodePage = 1200;
constexpr std::size_t kMaxBlockLength = 0xFFFF;

// The values people read in a file's properties; every other value is a
// version, a file name or a maker's name and is copied unchanged.
constexpr std::array<std::u16string_view, 5> kTranslatedKeys{
    u"FileDescription", u"ProductName", u"Comments", u"LegalCopyright", u"LegalTrademarks"};

// The language a string table's key names ("040904B0": 0x0409), if its
// key has the eight hex digits of language and code page.
std::optional<std::uint16_t> TableLanguage(std::u16string_view key) {
    if (key.size() != 8 || !std::all_of(key.begin(), key.end(), [](char16_t c) {
            return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        })) {
        return std::nullopt;
    }
    std::uint16_t language = 0;
    for (const char16_t c : key.substr(0, 4)) {
        const int digit = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
        language = static_cast<std::uint16_t>(language * 16 + digit);
    }
    return language;
}

// Starts a block whose length is known when it is closed.
std::size_t OpenBlock(TemplateWriter& out, std::uint16_t valueLength, std::uint16_t type,
                      std::u16string_view key) {
    out.Align(4);
    const std::size_t start = out.Size();
    out.U16(0);
    out.U16(valueLength);
    out.U16(type);
    out.String(key);
    out.Align(4);
    return start;
}

// A binary value of odd length kept as it was leaves a block's end odd; a
// zero byte keeps its length even, as a reader requires.
Result<void> CloseBlock(TemplateWriter& out, std::size_t start, std::u16string_view key) {
    out.Align(2);
    const std::size_t length = out.Size() - start;
    if (length > kMaxBlockLength) {
        return MakeError("the " + Narrow(key) + " block would be " + std::to_string(length) +
                         " bytes long, more than its 16-bit length can say");
    }
    out.PatchU16(start, static_cast<std::uint16_t>(length));
    return {};
}

class VersionTemplate final : public TextTemplate {
public:
    static Result<std::unique_ptr<TextTemplate>> Read(pe::Bytes data,
                                                      std::optional<std::uint16_t> language);

    Result<std::vector<std::uint8_t>> Build(std::span<const std::u16string_view> texts,
                                            std::uint16_t language) const override;

private:
    pe::Bytes Whole(const Block& block) const {
        return pe::Bytes(bytes_).subspan(block.start, block.end - block.start);
    }
    void ChooseTexts(std::optional<std::uint16_t> language);
    Result<void> WriteStringFileInfo(TemplateWriter& out, const TopChild& info,
                                     std::span<const std::u16string_view> texts,
                                     std::uint16_t language) const;
    Result<void> WriteVarFileInfo(TemplateWriter& out, const TopChild& info,
                                  std::uint16_t language) const;

    std::vector<std::uint8_t> bytes_; // the resource; every Block and span points into it
    version::Tree tree_;
    // The string table that supplies the texts (in the StringFileInfo of
    // tree_, if it has tables), and which of its strings Texts() holds.
    std::optional<std::size_t> stringInfo_;
    std::size_t table_ = 0;
    std::vector<std::size_t> translated_;
};

Result<std::unique_ptr<TextTemplate>> VersionTemplate::Read(pe::Bytes data,
                                                            std::optional<std::uint16_t> language) {
    auto parsed = std::make_unique<VersionTemplate>();
    parsed->bytes_.assign(data.begin(), data.end());
    KORVA_ASSIGN_OR_RETURN(parsed->tree_, version::ReadTree(parsed->bytes_));
    parsed->ChooseTexts(language);
    return std::unique_ptr<TextTemplate>(std::move(parsed));
}

void VersionTemplate::ChooseTexts(std::optional<std::uint16_t> language) {
    if (!tree_.stringInfo || tree_.children[*tree_.stringInfo].tables.empty()) {
        return;
    }
    stringInfo_ = tree_.stringInfo;
    const std::vector<StringTable>& tables = tree_.children[*stringInfo_].tables;
    if (language) {
        const auto named = std::find_if(tables.begin(), tables.end(), [&](const StringTable& t) {
            return TableLanguage(t.block.key) == language;
        });
        table_ = named == tables.end() ? 0 : static_cast<std::size_t>(named - tables.begin());
    }
    const std::vector<version::VersionString>& strings = tables[table_].strings;
    for (std::size_t i = 0; i < strings.size(); ++i) {
        const std::u16string& key = strings[i].block.key;
        if (std::any_of(kTranslatedKeys.begin(), kTranslatedKeys.end(),
                        [&](std::u16string_view name) { return SameKey(key, name); })) {
            translated_.push_back(i);
            texts_.push_back(ResourceText{strings[i].value, Narrow(key)});
        }
    }
}

Result<std::vector<std::uint8_t>> VersionTemplate::Build(std::span<const std::u16string_view> texts,
                                                         std::uint16_t language) const {
    if (texts.size() != texts_.size()) {
        return MakeError("version info: " + std::to_string(texts.size()) + " texts for " +
                         std::to_string(texts_.size()));
    }
    TemplateWriter out;
    const Block& root = tree_.root;
    const std::size_t start = OpenBlock(out, root.valueLength, root.type, root.key);
    out.Raw(tree_.fixedInfo);
    for (std::size_t i = 0; i < tree_.children.size(); ++i) {
        const TopChild& child = tree_.children[i];
        if (i == stringInfo_) {
            KORVA_RETURN_IF_ERROR(WriteStringFileInfo(out, child, texts, language));
        } else if (child.kind == version::ChildKind::VarFileInfo) {
            KORVA_RETURN_IF_ERROR(WriteVarFileInfo(out, child, language));
        } else {
            out.Align(4);
            out.Raw(Whole(child.block));
        }
    }
    KORVA_RETURN_IF_ERROR(CloseBlock(out, start, root.key));
    return std::move(out).Take();
}

// One string table, keyed by the language and the code page of UTF-16:
// the copy holds that language's texts only.
Result<void> VersionTemplate::WriteStringFileInfo(TemplateWriter& out, const TopChild& info,
                                                  std::span<const std::u16string_view> texts,
                                                  std::uint16_t language) const {
    const std::size_t start =
        OpenBlock(out, info.block.valueLength, info.block.type, info.block.key);
    out.Raw(info.value);
    const StringTable& table = info.tables[table_];
    const std::string key = Hex(language, 4) + Hex(kUnicodeCodePage, 4);
    const std::u16string tableKey(key.begin(), key.end());
    const std::size_t tableStart =
        OpenBlock(out, table.block.valueLength, table.block.type, tableKey);
    out.Raw(table.value);
    std::size_t next = 0;
    for (std::size_t i = 0; i < table.strings.size(); ++i) {
        const Block& block = table.strings[i].block;
        if (next < translated_.size() && translated_[next] == i) {
            const std::u16string_view text = texts[next++];
            if (text.size() >= kMaxBlockLength) {
                return MakeError("the " + Narrow(block.key) + " text is too long");
            }
            const std::size_t string = OpenBlock(out, static_cast<std::uint16_t>(text.size() + 1),
                                                 version::kTextType, block.key);
            out.String(text);
            KORVA_RETURN_IF_ERROR(CloseBlock(out, string, block.key));
        } else {
            out.Align(4);
            out.Raw(Whole(block));
        }
    }
    KORVA_RETURN_IF_ERROR(CloseBlock(out, tableStart, tableKey));
    return CloseBlock(out, start, info.block.key);
}

// The Translation var names the one language and code page there is now;
// other vars are kept.
Result<void> VersionTemplate::WriteVarFileInfo(TemplateWriter& out, const TopChild& info,
                                               std::uint16_t language) const {
    const std::size_t start =
        OpenBlock(out, info.block.valueLength, info.block.type, info.block.key);
    out.Raw(info.value);
    for (const version::Var& var : info.vars) {
        if (!var.isTranslation) {
            out.Align(4);
            out.Raw(Whole(var.block));
            continue;
        }
        const std::size_t translation = OpenBlock(out, 4, var.block.type, var.block.key);
        out.U16(language);
        out.U16(kUnicodeCodePage);
        KORVA_RETURN_IF_ERROR(CloseBlock(out, translation, var.block.key));
    }
    return CloseBlock(out, start, info.block.key);
}

} // namespace

Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> data) {
    return VersionTemplate::Read(data, std::nullopt);
}

Result<std::unique_ptr<TextTemplate>> ParseVersionInfo(std::span<const std::uint8_t> data,
                                                       std::uint16_t resourceLanguage) {
    return VersionTemplate::Read(data, resourceLanguage);
}

} // namespace korva::res
