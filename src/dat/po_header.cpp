#include "dat/po_header.h"

#include <algorithm>

#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// The primary language of a gettext code or a language tag: what stands
// before the region, script, modifier or charset. Norwegian's three codes
// are one, as korva has one key for them.
std::string PrimaryCode(std::string_view code) {
    std::string primary = Lower(code.substr(0, code.find_first_of("_-@.")));
    return primary == "no" || primary == "nn" ? "nb" : primary;
}

// Only UTF-8 (and ASCII, a part of it) is read; the header's own
// placeholder "charset=CHARSET" of a fresh template counts as no charset.
Result<void> CheckCharset(const PoMessage& header, const std::string& poPath) {
    const std::optional<std::string> type = HeaderField(header, "Content-Type");
    if (!type) {
        return {};
    }
    const std::size_t at = type->find("charset=");
    const std::string charset = at == std::string::npos ? "" : Lower(type->substr(at + 8));
    if (charset != "utf-8" && charset != "utf8" && charset != "charset" && charset != "ascii" &&
        charset != "us-ascii") {
        return MakeError(poPath + " is in " + charset +
                         "; convert it to UTF-8 first (msgconv --to-code=UTF-8)");
    }
    return {};
}

// The destination: X-Korva-Language, which export-po writes, else the
// Language field. When both are there they must agree: a PO editor keeps
// X-Korva-Language when a translator turns a German catalogue into a
// French one, and only the Language field then tells.
Result<int> DestOf(const PoMessage& header, const DataDocument& doc, const std::string& poPath) {
    const std::optional<std::string> code = HeaderField(header, "Language");
    int dest = -1;
    if (const std::optional<std::string> key = HeaderField(header, "X-Korva-Language")) {
        dest = FindLanguage(*key);
        if (dest >= 0 && code && !PoCodeCanName(*code, dest)) {
            return MakeError(poPath + " names two languages in its header, " + OneLine(*code) +
                             " (Language) and " + LangName(dest) +
                             " (X-Korva-Language); correct the one that is wrong");
        }
    } else if (code) {
        dest = LanguageOfPoCode(*code, doc.languages ? doc.languages->dests : std::vector<int>{});
    }
    if (dest < 0) {
        return MakeError(poPath + ": neither X-Korva-Language nor Language in its header names "
                                  "one of korva's languages");
    }
    return dest;
}

} // namespace

// A code names a language when their primary languages are the same and,
// where both name a region or script (pt_PT and pt-BR, zh_CN and zh-TW),
// it is the same language id: korva writes each under its own id. A region
// against a key (pt_BR for PORTUGUESE) or a bare code against a regional
// tag (pt for pt-BR) names a variant of the other's language, which is no
// conflict; nor is a region korva does not know (de_XX), nor a modifier,
// which names no id (sr@latin for sr-Cyrl-RS).
bool PoCodeCanName(std::string_view code, int language) {
    if (code.empty()) {
        return true;
    }
    if (PrimaryCode(code) != PrimaryCode(IsoCodeOf(language))) {
        return false;
    }
    const std::string_view proper = code.substr(0, code.find_first_of("@."));
    const bool codeRegional = proper.find_first_of("_-") != std::string_view::npos;
    const bool languageRegional =
        language >= LangKeyCount && LanguageName(language).find('-') != std::string_view::npos;
    if (!codeRegional || !languageRegional) {
        return true;
    }
    const int named = FindLanguage(proper);
    return named < 0 || LangIdOf(named) == LangIdOf(language);
}

Result<PoLanguages> PoFileLanguages(const std::vector<PoMessage>& messages, const DataDocument& doc,
                                    const std::string& poPath) {
    const auto header = std::find_if(messages.begin(), messages.end(),
                                     [](const PoMessage& m) { return m.IsHeader(); });
    if (header == messages.end()) {
        return MakeError(poPath + " has no header, so its language is unknown");
    }
    KORVA_RETURN_IF_ERROR(CheckCharset(*header, poPath));
    PoLanguages out;
    KORVA_ASSIGN_OR_RETURN(out.dest, DestOf(*header, doc, poPath));
    if (const auto key = HeaderField(*header, "X-Korva-Neutral")) {
        out.neutral = FindLanguage(*key);
    } else if (doc.languages) {
        out.neutral = doc.languages->neutral;
    }
    if (out.neutral < 0) {
        return MakeError(poPath + " names no neutral language (X-Korva-Neutral) and " + doc.name +
                         " has no languages line");
    }
    if (doc.languages && doc.languages->neutral != out.neutral) {
        return MakeError(poPath + " is for the neutral language " + LangName(out.neutral) + ", " +
                         doc.name + " for " + LangName(doc.languages->neutral));
    }
    if (out.neutral == out.dest) {
        return MakeError(poPath + " is for the neutral language itself");
    }
    return out;
}

std::vector<int> WinnerDests(const DataDocument& doc, int neutral, int dest) {
    if (doc.languages && doc.languages->neutral == neutral) {
        return doc.languages->dests;
    }
    return {dest};
}

} // namespace korva::dat
