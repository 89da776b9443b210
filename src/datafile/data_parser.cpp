#include "datafile/data_parser.h"

#include "datafile/data_line.h"
#include "langkeys/lang_const.h"
#include "text/utf8.h"

namespace korva {

bool DataParser::Take(std::string_view rawLine) {
    if (utf8_ && !IsValidUtf8(rawLine)) {
        return false;
    }
    const DataLine line = ClassifyDataLine(rawLine);
    switch (line.kind) {
    case DataLineKind::Blank:
    case DataLineKind::Comment:
        return true;
    case DataLineKind::EntryStart:
        if (inEntry_) {
            return false;
        }
        builder_.StartEntry();
        inEntry_ = true;
        lineInEntry_ = 0;
        return true;
    case DataLineKind::EntryEnd:
        if (!inEntry_) {
            return false;
        }
        builder_.EndEntry();
        inEntry_ = false;
        return true;
    case DataLineKind::TextLine:
        return inEntry_ && TakeTextLine(line.trimmed);
    }
    return false;
}

bool DataParser::TakeTextLine(std::string_view line) {
    const TextLineParts parts = SplitTextLine(line);
    if (parts.fault != TextLineFault::None) {
        return false;
    }
    const int lang = LangOf(parts.key);
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
    std::string_view text;
    if (ReadTextPart(parts.textPart, utf8_, resolved_, text) != TextLineFault::None) {
        return false;
    }
    builder_.SetText(slot, text);
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
    const int lang = FindLanguage(name);
    if (lang >= 0) {
        known.name.assign(name);
        known.lang = lang;
    }
    return lang;
}

} // namespace korva
