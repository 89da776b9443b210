#include "dat/po_file.h"

#include <algorithm>

#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

// U+2068 and U+2069, which isolate a file name with blanks in a reference,
// are what they are meant to be here.
constexpr std::string_view kIsolateOpen = "\xE2\x81\xA8";  // NOLINT(misc-misleading-bidirectional)
constexpr std::string_view kIsolateClose = "\xE2\x81\xA9"; // NOLINT(misc-misleading-bidirectional)

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int OctalValue(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// The string of a quoted PO string, escapes resolved; the view begins at its
// opening quote and only blanks may follow the closing one.
Result<std::string> ReadQuoted(std::string_view s) {
    if (s.empty() || s.front() != '"') {
        return MakeError("a quoted string was expected");
    }
    std::string out;
    std::size_t i = 1;
    for (;;) {
        if (i >= s.size()) {
            return MakeError("the string has no closing quote");
        }
        const char c = s[i++];
        if (c == '"') {
            break;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i >= s.size()) {
            return MakeError("the string has no closing quote");
        }
        const char e = s[i++];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'v':
            out += '\v';
            break;
        case '\\':
        case '"':
        case '\'':
        case '?':
            out += e;
            break;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (i < s.size() && HexDigitValue(s[i]) >= 0 && digits < 2) {
                value = value * 16 + HexDigitValue(s[i++]);
                ++digits;
            }
            if (digits == 0) {
                return MakeError("\\x without hexadecimal digits");
            }
            out += static_cast<char>(value);
            break;
        }
        default: {
            if (OctalValue(e) < 0) {
                return MakeError(std::string("unknown escape \\") + e);
            }
            int value = OctalValue(e);
            for (int n = 1; n < 3 && i < s.size() && OctalValue(s[i]) >= 0; ++n) {
                value = value * 8 + OctalValue(s[i++]);
            }
            if (value > 0xFF) {
                return MakeError("an octal escape above \\377");
            }
            out += static_cast<char>(value);
        }
        }
    }
    if (!TrimBlanks(s.substr(i)).empty()) {
        return MakeError("text after the closing quote");
    }
    return out;
}

enum class Field { None, Context, Id, IdPlural, Str };

class PoParser {
public:
    explicit PoParser(const std::string& name) : name_(name) {}

    Result<std::vector<PoMessage>> Parse(std::string_view bytes) {
        if (bytes.starts_with(kUtf8Mark)) {
            bytes.remove_prefix(kUtf8Mark.size());
        }
        std::size_t number = 0;
        while (!bytes.empty()) {
            const std::size_t lf = bytes.find('\n');
            std::string_view line = bytes.substr(0, lf);
            bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            ++number;
            if (Result<void> taken = Take(TrimBlanks(line), number); !taken) {
                return MakeError(name_ + ":" + std::to_string(number) + ": " +
                                 taken.error().message);
            }
        }
        if (Result<void> done = Finish(); !done) {
            return MakeError(name_ + ":" + std::to_string(number) + ": " + done.error().message);
        }
        return std::move(messages_);
    }

private:
    Result<void> Take(std::string_view line, std::size_t number) {
        if (line.empty()) {
            return {};
        }
        if (line.front() == '#') {
            return TakeComment(line);
        }
        if (line.front() == '"') {
            if (field_ == Field::None) {
                return MakeError("a string continues no msgid or msgstr");
            }
            Result<std::string> text = ReadQuoted(line);
            if (!text) {
                return text.error();
            }
            *target_ += text.value();
            return {};
        }
        const std::size_t blank = line.find_first_of(" \t\"");
        const std::string_view keyword = line.substr(0, blank);
        const std::string_view rest =
            blank == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(blank));
        Result<std::string> text = ReadQuoted(rest);
        if (!text) {
            return text.error();
        }
        if (keyword == "msgctxt" || keyword == "msgid") {
            if (obsolete_) {
                obsolete_ = false;
                current_ = PoMessage();
            }
            if (seenStr_ || (keyword == "msgctxt" && field_ != Field::None) ||
                (keyword == "msgid" && field_ != Field::None && field_ != Field::Context)) {
                if (Result<void> done = Finish(); !done) {
                    return done;
                }
            }
            if (keyword == "msgctxt") {
                current_.context = std::move(text.value());
                field_ = Field::Context;
                target_ = &*current_.context;
            } else {
                current_.msgid = std::move(text.value());
                current_.line = number;
                field_ = Field::Id;
                target_ = &current_.msgid;
                seenId_ = true;
            }
            return {};
        }
        if (!seenId_) {
            return MakeError(std::string(keyword) + " before msgid");
        }
        if (keyword == "msgid_plural") {
            current_.msgidPlural = std::move(text.value());
            field_ = Field::IdPlural;
            target_ = &*current_.msgidPlural;
            return {};
        }
        if (keyword == "msgstr" || (keyword.starts_with("msgstr[") && keyword.ends_with(']'))) {
            current_.msgstr.push_back(std::move(text.value()));
            field_ = Field::Str;
            target_ = &current_.msgstr.back();
            seenStr_ = true;
            return {};
        }
        return MakeError("unknown keyword '" + std::string(keyword) + "'");
    }

    Result<void> TakeComment(std::string_view line) {
        if (line.starts_with("#~")) {
            // An obsolete message: it and the comments gathered for it go.
            if (seenStr_) {
                if (Result<void> done = Finish(); !done) {
                    return done;
                }
            }
            current_ = PoMessage();
            obsolete_ = true;
            return {};
        }
        if (seenStr_ || obsolete_) {
            if (Result<void> done = Finish(); !done) {
                return done;
            }
        }
        const std::string_view body = line.size() > 1 ? line.substr(2) : std::string_view();
        if (line.starts_with("#.")) {
            current_.extractedComments.emplace_back(TrimBlanks(body));
        } else if (line.starts_with("#:")) {
            for (std::string_view rest = TrimBlanks(body); !rest.empty(); rest = TrimBlanks(rest)) {
                const std::size_t end = rest.find_first_of(" \t");
                current_.references.emplace_back(rest.substr(0, end));
                rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
            }
        } else if (line.starts_with("#,")) {
            for (std::string_view rest = body; !rest.empty();) {
                const std::size_t comma = rest.find(',');
                if (const std::string_view flag = TrimBlanks(rest.substr(0, comma));
                    !flag.empty()) {
                    current_.flags.emplace_back(flag);
                }
                rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
            }
        }
        return {}; // translator comments and #| previous strings are not needed
    }

    Result<void> Finish() {
        if (obsolete_) {
            obsolete_ = false;
            current_ = PoMessage();
            return {};
        }
        if (seenId_ && !seenStr_) {
            return MakeError("the message at line " + std::to_string(current_.line) +
                             " has no msgstr");
        }
        if (seenId_) {
            for (const std::string* text : Texts()) {
                if (!IsValidUtf8(*text) || text->find('\0') != std::string::npos) {
                    return MakeError("the message at line " + std::to_string(current_.line) +
                                     " is not valid UTF-8 text");
                }
            }
            messages_.push_back(std::move(current_));
        }
        current_ = PoMessage();
        field_ = Field::None;
        target_ = nullptr;
        seenId_ = false;
        seenStr_ = false;
        return {};
    }

    std::vector<const std::string*> Texts() const {
        std::vector<const std::string*> out{&current_.msgid};
        for (const std::string& s : current_.msgstr) {
            out.push_back(&s);
        }
        return out;
    }

    const std::string& name_;
    std::vector<PoMessage> messages_;
    PoMessage current_;
    Field field_ = Field::None;
    std::string* target_ = nullptr;
    bool seenId_ = false;
    bool seenStr_ = false;
    bool obsolete_ = false;
};

void AppendEscaped(std::string_view text, std::string& out) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\v':
            out += "\\v";
            break;
        default:
            out += c;
        }
    }
}

} // namespace

bool PoMessage::Fuzzy() const {
    return std::find(flags.begin(), flags.end(), "fuzzy") != flags.end();
}

Result<std::vector<PoMessage>> ParsePo(std::string_view bytes, const std::string& name) {
    return PoParser(name).Parse(bytes);
}

std::optional<std::string> HeaderField(const PoMessage& header, std::string_view field) {
    const std::string_view text =
        header.msgstr.empty() ? std::string_view() : header.msgstr.front();
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lf = text.find('\n', pos);
        const std::string_view line = text.substr(pos, lf - pos);
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view name = TrimBlanks(line.substr(0, colon));
        if (name.size() == field.size() &&
            std::equal(name.begin(), name.end(), field.begin(), [](char a, char b) {
                const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
                return lower(a) == lower(b);
            })) {
            return std::string(TrimBlanks(line.substr(colon + 1)));
        }
    }
    return std::nullopt;
}

std::string PoField(std::string_view keyword, std::string_view text) {
    std::string out(keyword);
    const std::size_t inner = text.find('\n');
    if (inner == std::string_view::npos || inner + 1 == text.size()) {
        out += " \"";
        AppendEscaped(text, out);
        return out + "\"\n";
    }
    out += " \"\"\n";
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        const std::size_t take = lf == std::string_view::npos ? text.size() : lf + 1;
        out += '"';
        AppendEscaped(text.substr(0, take), out);
        out += "\"\n";
        text.remove_prefix(take);
    }
    return out;
}

std::string PoReferenceFile(std::string_view file) {
    if (file.find_first_of(" \t") == std::string_view::npos) {
        return std::string(file);
    }
    return std::string(kIsolateOpen) + std::string(file) + std::string(kIsolateClose);
}

} // namespace korva::dat
