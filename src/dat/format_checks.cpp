#include "dat/format_checks.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <string_view>
#include <utility>

namespace korva::dat {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct PrintfDirective {
    std::string written; // as the text has it, for messages
    std::string type;    // what the program must pass: "int" per '*', then length and class
};

// The conversion at `pos` (just after a '%'), or nothing when these
// characters form none; `end` is where it stops.
bool ParsePrintf(std::string_view text, std::size_t pos, PrintfDirective& directive,
                 std::size_t& end) {
    std::string type;
    std::size_t i = pos;
    // A blank after a percent sign is prose ("50 % de remise"), not the
    // blank flag, which interface texts hardly ever use.
    while (i < text.size() && std::string_view("-+#0'").find(text[i]) != std::string_view::npos) {
        ++i;
    }
    const auto widthOrPrecision = [&] {
        if (i < text.size() && text[i] == '*') {
            type += "int,"; // the program passes the width as an argument of its own
            ++i;
        } else {
            while (i < text.size() && IsDigit(text[i])) {
                ++i;
            }
        }
    };
    widthOrPrecision();
    if (i < text.size() && text[i] == '.') {
        ++i;
        widthOrPrecision();
    }
    static constexpr std::string_view kLengths[] = {"I64", "I32", "hh", "ll", "h", "l", "L",
                                                    "q",   "j",   "z",  "t",  "I", "w"};
    std::string_view length;
    for (const std::string_view l : kLengths) {
        if (text.substr(i).starts_with(l)) {
            length = l;
            i += l.size();
            break;
        }
    }
    if (i >= text.size()) {
        return false;
    }
    // Conversions that take the same argument share a class.
    std::string_view kind;
    switch (text[i]) {
    case 'd':
    case 'i':
        kind = "signed";
        break;
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        kind = "unsigned";
        break;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        kind = "double";
        break;
    case 'c':
    case 'C':
    case 's':
    case 'S':
    case 'p':
    case 'n':
    case 'Z':
        kind = text.substr(i, 1);
        break;
    default:
        return false;
    }
    // ll and I64 are one width on Windows.
    type += length == "I64" ? "ll" : std::string(length == "I32" ? "" : length);
    type += kind;
    end = i + 1;
    directive.written = "%" + std::string(text.substr(pos, end - pos));
    directive.type = std::move(type);
    return true;
}

struct Placeholders {
    std::vector<PrintfDirective> printf;
    std::set<std::pair<int, std::string>> inserts; // FormatMessage: number and format
    // An insert that cannot be read as a printf conversion: %1 followed by
    // a blank, %1!d!, ... The text is then surely a FormatMessage one.
    bool surelyInserts = false;
    bool percentSign = false; // %%
    std::vector<TextSpan> spans;
};

Placeholders FindPlaceholders(std::string_view text) {
    Placeholders out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            continue;
        }
        if (text[i + 1] == '%') {
            out.spans.push_back({i, i + 2});
            ++i; // a literal percent sign in both kinds
            out.percentSign = true;
            continue;
        }
        PrintfDirective directive;
        std::size_t printfEnd = 0;
        const bool isPrintf = ParsePrintf(text, i + 1, directive, printfEnd);
        std::size_t end = i + 1;
        if (isPrintf) {
            out.printf.push_back(std::move(directive));
            end = printfEnd;
        }
        if (text[i + 1] >= '1' && text[i + 1] <= '9') {
            std::size_t j = i + 2;
            int number = text[i + 1] - '0';
            if (j < text.size() && IsDigit(text[j])) {
                number = number * 10 + (text[j] - '0');
                ++j;
            }
            std::string format = "s";
            if (j < text.size() && text[j] == '!') {
                const std::size_t close = text.find('!', j + 1);
                if (close != std::string_view::npos) {
                    format = text.substr(j + 1, close - j - 1);
                    j = close + 1;
                    out.surelyInserts = true;
                }
            }
            out.inserts.emplace(number, format);
            if (!isPrintf) {
                out.surelyInserts = true;
            }
            end = std::max(end, j);
        }
        if (end > i + 1) {
            out.spans.push_back({i, end});
        }
        if (isPrintf) {
            i = printfEnd - 1;
        }
    }
    return out;
}

std::string Written(const std::vector<PrintfDirective>& directives) {
    std::string out;
    for (const PrintfDirective& s : directives) {
        out += (out.empty() ? "" : " ") + s.written;
    }
    return out.empty() ? "none" : out;
}

std::string Written(const std::set<std::pair<int, std::string>>& inserts) {
    std::string out;
    for (const auto& [number, format] : inserts) {
        out += (out.empty() ? "%" : " %") + std::to_string(number);
        if (format != "s") {
            out += "!" + format + "!";
        }
    }
    return out.empty() ? "none" : out;
}

int Accelerators(std::string_view text) {
    int count = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&') {
            if (text[i + 1] != '&') {
                ++count;
            }
            ++i;
        }
    }
    return count;
}

} // namespace

std::vector<std::string> CompareFormats(std::string_view source, std::string_view translation) {
    std::vector<std::string> problems;
    const Placeholders s = FindPlaceholders(source);
    const Placeholders t = FindPlaceholders(translation);
    const bool sourceInserts = !s.inserts.empty() && s.surelyInserts;
    if (sourceInserts || (s.printf.empty() && t.surelyInserts)) {
        if (s.inserts != t.inserts) {
            problems.push_back(
                "numbered placeholders differ from the source's: " + Written(s.inserts) +
                " in the source, " + Written(t.inserts) + " in the translation");
        }
    } else {
        const auto sameType = [](const PrintfDirective& a, const PrintfDirective& b) {
            return a.type == b.type;
        };
        if (!std::equal(s.printf.begin(), s.printf.end(), t.printf.begin(), t.printf.end(),
                        sameType)) {
            problems.push_back("printf placeholders differ from the source's in number, order or "
                               "type: " +
                               Written(s.printf) + " in the source, " + Written(t.printf) +
                               " in the translation");
        }
    }
    if (const int a = Accelerators(source), b = Accelerators(translation); a != b) {
        problems.push_back("the source has " + std::to_string(a) + " accelerator" +
                           (a == 1 ? "" : "s") + " (&), the translation " + std::to_string(b));
    }
    const bool sourceTab = source.find('\t') != std::string_view::npos;
    if (sourceTab != (translation.find('\t') != std::string_view::npos)) {
        problems.emplace_back(sourceTab
                                  ? "the source has a shortcut after a tab, the translation none"
                                  : "the translation has a part after a tab, the source none");
    }
    return problems;
}

bool SamePlaceholders(std::string_view a, std::string_view b) {
    const Placeholders x = FindPlaceholders(a);
    const Placeholders y = FindPlaceholders(b);
    const auto sameType = [](const PrintfDirective& p, const PrintfDirective& q) {
        return p.type == q.type;
    };
    return x.inserts == y.inserts &&
           std::equal(x.printf.begin(), x.printf.end(), y.printf.begin(), y.printf.end(), sameType);
}

std::vector<TextSpan> PlaceholderSpans(std::string_view text) {
    return FindPlaceholders(text).spans;
}

bool IsPrintfFormat(std::string_view text) {
    const Placeholders p = FindPlaceholders(text);
    // %n is FormatMessage's line break in every message table, and printf's
    // %n is refused by the C runtimes programs use: a text with it is no
    // printf format.
    const bool lineBreak = std::any_of(p.printf.begin(), p.printf.end(),
                                       [](const auto& d) { return d.type.ends_with('n'); });
    return !p.surelyInserts && !lineBreak && (!p.printf.empty() || p.percentSign);
}

std::string TooLongForKorva(std::string_view text, CodePage codePage) {
    const std::size_t units = AnsiUtf16Length(text, codePage);
    if (units <= kMaxTextUnits) {
        return {};
    }
    return "the translation is " + std::to_string(units) +
           " UTF-16 code units long; korva can write at most " + std::to_string(kMaxTextUnits) +
           ", so it would fail";
}

} // namespace korva::dat
