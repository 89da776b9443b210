#pragma once

// Helpers for the tests of the resource formats: a byte builder that says
// where each field went, and the checks every format's writer must pass.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "restexts/text_template.h"
#include "strtables/pe/resource_module.h"

namespace korva::test {

using ByteVector = std::vector<std::uint8_t>;

// A template written field by field in little-endian order.
class TemplateBytes {
public:
    TemplateBytes& U16(std::uint16_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
        return *this;
    }
    TemplateBytes& U32(std::uint32_t value) {
        U16(static_cast<std::uint16_t>(value));
        return U16(static_cast<std::uint16_t>(value >> 16));
    }
    // The units and a zero unit.
    TemplateBytes& Text(std::u16string_view text) {
        for (const char16_t unit : text) {
            U16(static_cast<std::uint16_t>(unit));
        }
        return U16(0);
    }
    TemplateBytes& Align4() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
        return *this;
    }
    TemplateBytes& Raw(const ByteVector& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    std::size_t Size() const { return bytes_.size(); }
    const ByteVector& Bytes() const { return bytes_; }

private:
    ByteVector bytes_;
};

inline void PutU16(ByteVector& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(ByteVector& bytes, std::size_t offset, std::uint32_t value) {
    PutU16(bytes, offset, static_cast<std::uint16_t>(value));
    PutU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

inline std::uint16_t U16At(const ByteVector& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

inline std::uint32_t U32At(const ByteVector& bytes, std::size_t offset) {
    return U16At(bytes, offset) | std::uint32_t{U16At(bytes, offset + 2)} << 16;
}

// Each resource of a type in an image by its id, in the one language a
// script gives.
inline std::map<std::uint16_t, ByteVector> ResourcesOf(const std::string& path,
                                                       std::uint16_t type) {
    const Result<pe::ResourceModule> module = pe::ResourceModule::Open(path);
    if (!module.ok()) {
        ADD_FAILURE() << module.error().message;
        return {};
    }
    std::map<std::uint16_t, ByteVector> out;
    const pe::ResourceId typeId = pe::ResourceId::Id(type);
    module->EnumNames(typeId, [&](const pe::ResourceId& name) {
        module->EnumLanguages(typeId, name, [&](std::uint16_t language) {
            const pe::ResourceData* data = module->Find(typeId, name, language);
            out[name.id].assign(data->bytes.begin(), data->bytes.end());
            return true;
        });
        return true;
    });
    return out;
}

inline std::unique_ptr<res::TextTemplate> ParseOrFail(res::TextFormat format,
                                                      const ByteVector& bytes) {
    Result<std::unique_ptr<res::TextTemplate>> parsed = res::ParseTextResource(format, bytes);
    if (!parsed.ok()) {
        throw std::runtime_error("not read: " + parsed.error().message);
    }
    return std::move(parsed.value());
}

inline std::vector<std::u16string> TextsOf(const res::TextTemplate& parsed) {
    std::vector<std::u16string> out;
    for (const res::ResourceText& text : parsed.Texts()) {
        out.push_back(text.text);
    }
    return out;
}

inline Result<ByteVector> Build(const res::TextTemplate& parsed,
                                const std::vector<std::u16string>& texts,
                                std::uint16_t language = 0x0407) {
    const std::vector<std::u16string_view> views(texts.begin(), texts.end());
    return parsed.Build(views, language);
}

inline ByteVector BuildOrFail(const res::TextTemplate& parsed,
                              const std::vector<std::u16string>& texts,
                              std::uint16_t language = 0x0407) {
    const Result<ByteVector> built = Build(parsed, texts, language);
    if (!built.ok()) {
        throw std::runtime_error("not built: " + built.error().message);
    }
    return built.value();
}

// Everything of a text but the text, which a change of texts must keep
// (for menus, `where` follows the texts and is left out).
inline std::vector<std::string> LayoutOf(const res::TextTemplate& parsed, bool withWhere) {
    std::vector<std::string> out;
    for (const res::ResourceText& text : parsed.Texts()) {
        out.push_back((withWhere ? text.where : std::string()) + "|" +
                      std::to_string(text.hotkeyScope) + "|" + std::to_string(text.width) + "|" +
                      std::to_string(text.height) + "|" + std::to_string(text.classOrdinal) + "|" +
                      std::to_string(text.style) + "|" + std::to_string(text.fontPoints));
    }
    return out;
}

// The texts changed in ways that move every later field: one unit longer
// (so the DWORD alignment after it changes), one shorter, emptied, and much
// longer.
inline std::vector<std::vector<std::u16string>>
ChangedTexts(const std::vector<std::u16string>& texts) {
    std::vector<std::vector<std::u16string>> out(4, texts);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out[0][i] = texts[i] + u"\u00E9";
        out[1][i] = texts[i].empty() ? u"x" : texts[i].substr(0, texts[i].size() - 1);
        out[2][i].clear();
        out[3][i] = std::u16string(300 + i, u'\u0416') + texts[i];
    }
    return out;
}

// What every writer owes: the original texts give the original bytes; any
// other texts read back as written, with every other field unchanged (which
// the original texts, written into the rewritten resource, prove byte for
// byte). That proof needs a template whose end shows whether it is padded:
// one that ends unpadded off the boundary, rewritten to end on it, reads as
// padded from then on.
inline void ExpectRewritesFaithfully(const ByteVector& original, bool whereFollowsText,
                                     res::TextFormat format, bool endShowsPadding = true) {
    const Result<std::unique_ptr<res::TextTemplate>> first =
        res::ParseTextResource(format, original);
    ASSERT_TRUE(first.ok()) << first.error().message;
    const std::vector<std::u16string> texts = TextsOf(**first);
    EXPECT_EQ(BuildOrFail(**first, texts), original);
    for (const std::vector<std::u16string>& changed : ChangedTexts(texts)) {
        const ByteVector rewritten = BuildOrFail(**first, changed);
        const Result<std::unique_ptr<res::TextTemplate>> again =
            res::ParseTextResource(format, rewritten);
        ASSERT_TRUE(again.ok()) << again.error().message;
        EXPECT_EQ(TextsOf(**again), changed);
        EXPECT_EQ(LayoutOf(**again, !whereFollowsText), LayoutOf(**first, !whereFollowsText));
        if (endShowsPadding) {
            EXPECT_EQ(BuildOrFail(**again, texts), original);
        }
    }
}

// One corruption of a valid template and the reason it must be refused for.
struct Corruption {
    const char* name;
    std::function<void(ByteVector& bytes)> apply;
    std::string reason; // a part of the message
};

inline void ExpectRefusals(const ByteVector& valid, res::TextFormat format,
                           const std::vector<Corruption>& corruptions) {
    ASSERT_TRUE(res::ParseTextResource(format, valid).ok());
    for (const Corruption& corruption : corruptions) {
        SCOPED_TRACE(corruption.name);
        ByteVector bytes = valid;
        corruption.apply(bytes);
        const Result<std::unique_ptr<res::TextTemplate>> parsed =
            res::ParseTextResource(format, bytes);
        ASSERT_FALSE(parsed.ok());
        EXPECT_NE(parsed.error().message.find(corruption.reason), std::string::npos)
            << parsed.error().message;
    }
}

// Texts a format cannot hold and the reason each is refused for.
struct BadTexts {
    const char* name;
    std::vector<std::u16string> texts;
    std::string reason; // a part of the message
};

inline void ExpectBuildRefusals(const res::TextTemplate& parsed,
                                const std::vector<BadTexts>& rows) {
    for (const BadTexts& row : rows) {
        SCOPED_TRACE(row.name);
        const Result<ByteVector> built = Build(parsed, row.texts);
        ASSERT_FALSE(built.ok());
        EXPECT_NE(built.error().message.find(row.reason), std::string::npos)
            << built.error().message;
    }
}

} // namespace korva::test
