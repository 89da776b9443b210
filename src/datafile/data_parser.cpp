#include "datafile/data_parser.h"

#include "datafile/escapes.h"
#include "langkeys/lang_const.h"
#include "text/utf8.h"

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

} // namespace

bool DataParser::Take(std::string_view rawLine) {
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

bool DataParser::TakeTextLine(std::string_view line) {
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
int DataParser::LangOf(std::string_view name) {
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

} // namespace korva
