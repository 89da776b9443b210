// Reads arbitrary bytes as a menu, dialog, version info or message table
// (the first byte chooses which); where they parse, writes them again with
// the same texts and with other texts and reads the result back. Building
// may refuse a text too long for its format; a build that succeeds must
// read back with exactly the texts it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "restexts/text_template.h"

namespace {

using korva::res::ResourceText;
using korva::res::TextFormat;
using korva::res::TextTemplate;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Another text of every length class: empty ones filled, others grown by a
// character outside Latin-1 and a line end, so that lengths and padding
// change everywhere.
std::u16string Altered(const std::u16string& text, std::size_t index) {
    if (text.empty()) {
        return u"&x";
    }
    return index % 2 == 0 ? text + u"\u0416\r\n" : text.substr(0, text.size() / 2);
}

void RoundTrip(TextFormat format, const TextTemplate& parsed,
               const std::vector<std::u16string>& texts, std::uint16_t language) {
    const std::vector<std::u16string_view> views(texts.begin(), texts.end());
    auto built = parsed.Build(views, language);
    if (!built) {
        return;
    }
    auto again = korva::res::ParseTextResource(format, *built);
    Require(again.ok());
    const std::vector<ResourceText>& read = (*again)->Texts();
    Require(read.size() == texts.size());
    bool same = true;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        Require(read[i].text == texts[i]);
        same = same && texts[i] == parsed.Texts()[i].text;
    }
    // With its own texts, each is found where it was (a menu's path names
    // the texts, so other texts may name other places).
    for (std::size_t i = 0; same && i < texts.size(); ++i) {
        Require(read[i].where == parsed.Texts()[i].where);
    }
    // A second build of what was built is the same bytes.
    auto twice = (*again)->Build(views, language);
    Require(twice.ok() && *twice == *built);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const auto format = static_cast<TextFormat>(data[0] % 4);
    const auto language = static_cast<std::uint16_t>(0x0400 | (data[0] >> 2));
    auto parsed = korva::res::ParseTextResource(format, std::span(data + 1, size - 1));
    if (!parsed) {
        return 0;
    }
    const std::vector<ResourceText>& texts = (*parsed)->Texts();
    std::vector<std::u16string> same;
    std::vector<std::u16string> other;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        same.push_back(texts[i].text);
        other.push_back(Altered(texts[i].text, i));
    }
    RoundTrip(format, **parsed, same, language);
    RoundTrip(format, **parsed, other, language);
    return 0;
}
