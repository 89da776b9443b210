#include "datafile/data_loader.h"

#include <array>
#include <string>

#include "common/codepage.h"
#include "common/console.h"
#include "common/utf8.h"
#include "datafile/escapes.h"
#include "langkeys/lang_const.h"

namespace korva {
namespace {

std::string_view Trim(std::string_view s) {
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Takes the data file line by line; each Take returns false on a syntax error.
class DataParser {
public:
    DataParser(TransDictBuilder& builder, bool utf8) : builder_(builder), utf8_(utf8) {}

    bool Take(std::string_view rawLine) {
        if (utf8_ && !IsValidUtf8(rawLine)) {
            return false;
        }
        const std::string_view line = Trim(rawLine);
        if (line.empty() || line.front() == ';') {
            return true;
        }
        if (line == "(") {
            if (inEntry_) {
                return false;
            }
            builder_.StartEntry();
            inEntry_ = true;
            lineInEntry_ = 0;
            return true;
        }
        if (!inEntry_) {
            return false;
        }
        if (line == ")") {
            builder_.EndEntry();
            inEntry_ = false;
            return true;
        }
        return TakeTextLine(line);
    }

private:
    bool TakeTextLine(std::string_view line) {
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos || comma + 1 == line.size()) {
            return false;
        }
        const int lang = LangOf(Trim(line.substr(0, comma)));
        if (lang < 0) {
            return false;
        }
        const int slot = builder_.SlotOf(lang);
        if (builder_.HasText(slot)) {
            return false;
        }
        // Languages not taken in are passed over unread, so their text parts
        // may be anything.
        if (slot < 0) {
            return true;
        }
        const std::string_view part = Trim(line.substr(comma + 1));
        if (part.size() < 2 || part.front() != '"' || part.back() != '"') {
            return false;
        }
        const std::string_view inner = part.substr(1, part.size() - 2);
        if (inner.empty()) {
            builder_.SetText(slot, EmptyTextMarker);
        } else if (inner.find('\\') == std::string_view::npos) {
            builder_.SetText(slot, inner);
        } else {
            if (!ResolveEscapes(inner, resolved_, utf8_)) {
                return false;
            }
            builder_.SetText(slot, resolved_);
        }
        return true;
    }

    // The key of a language name. Entries name their languages in the same
    // order line after line, so the name written on the same line of the
    // entry before is tried first: the same bytes name the same key, and a
    // million entries then need no search among all keys.
    int LangOf(std::string_view name) {
        KnownName& known = known_[lineInEntry_ % known_.size()];
        ++lineInEntry_;
        if (known.lang >= 0 && known.name == name) {
            return known.lang;
        }
        const int lang = FindLangKey(name);
        if (lang >= 0) {
            known.name.assign(name);
            known.lang = lang;
        }
        return lang;
    }

    struct KnownName {
        std::string name;
        int lang = -1;
    };

    TransDictBuilder& builder_;
    bool utf8_;
    std::array<KnownName, 64> known_{};
    std::size_t lineInEntry_ = 0;
    bool inEntry_ = false;
    std::string resolved_;
};

} // namespace

bool LoadDataFrom(const ReadBlock& read, std::string_view fileName, TransDictionary& dict,
                  std::size_t blockSize, const FoldedTextFilter* wanted) {
    std::array<bool, LangKeyCount> taken{};
    for (int i = 0; i < LangKeyCount; ++i) {
        taken[static_cast<std::size_t>(i)] = IsWantedLang(i);
    }
    TransDictBuilder builder(taken, NeutralLangIndex);
    builder.KeepOnly(wanted);
    const bool utf8 = RunCodePage == CodePage::Utf8;
    DataParser parser(builder, utf8);
    LineReader lines(read, blockSize, utf8);
    bool ok = true;
    for (;;) {
        std::string_view line;
        const LineReader::Status result = lines.Next(line);
        if (result == LineReader::Status::End) {
            break;
        }
        // A failed read would leave a half-read dictionary; translating
        // from it would pass for a complete run, so the load fails.
        if (result == LineReader::Status::ReadFailed) {
            ok = false;
            break;
        }
        if (utf8 && lines.LineNumber() == 1 && line.starts_with(kUtf8Mark)) {
            line.remove_prefix(kUtf8Mark.size());
        }
        if (!parser.Take(line)) {
            WriteLine("Syntax error in " + std::string(fileName) +
                      "/Line=" + std::to_string(lines.LineNumber()));
            ok = false;
            break;
        }
    }
    const bool filed = builder.FiledCount() > 0;
    builder.Build(dict);
    return ok && filed;
}

} // namespace korva
