#include "dat/pseudo_text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <vector>

#include "dat/format_checks.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

// Look-alikes from Latin-1 and Latin Extended, which every Windows
// interface font has: A-Z, then a-z.
constexpr std::array<char32_t, 26> kUpper = {0x00C5, 0x0181, 0x00C7, 0x00D0, 0x00C9, 0x0191, 0x011E,
                                             0x0124, 0x00CD, 0x0134, 0x0136, 0x0141, 0x1E40, 0x00D1,
                                             0x00D6, 0x00DE, 0x01EA, 0x0154, 0x0160, 0x0162, 0x00DC,
                                             0x1E7C, 0x0174, 0x1E8A, 0x00DD, 0x017D};
constexpr std::array<char32_t, 26> kLower = {0x00E5, 0x0180, 0x00E7, 0x0111, 0x00E9, 0x0192, 0x011F,
                                             0x0125, 0x00ED, 0x0135, 0x0137, 0x0142, 0x1E41, 0x00F1,
                                             0x00F6, 0x00FE, 0x01EB, 0x0155, 0x0161, 0x0163, 0x00FC,
                                             0x1E7D, 0x0175, 0x1E8B, 0x00FD, 0x017E};
constexpr char32_t kPadding = 0x00B7; // middle dot
constexpr char32_t kRightToLeftOverride = 0x202E;
constexpr char32_t kPopDirectionalFormatting = 0x202C;

// A text cut in three: the part to pseudo-translate, the line ends after
// it, and the part from the first tab on.
struct Parts {
    std::vector<TextSpan> spans; // the placeholders, in order, none within another
    std::size_t coreEnd = 0;
    std::size_t tabAt = 0;
};

// The placeholders as stretches to keep: an insert's !format! may hold a
// printf conversion ("%1!%d!" is read as both), which it then takes in.
std::vector<TextSpan> KeptSpans(std::string_view text) {
    std::vector<TextSpan> out;
    for (const TextSpan& span : PlaceholderSpans(text)) {
        if (!out.empty() && span.begin < out.back().end) {
            out.back().end = std::max(out.back().end, span.end);
        } else {
            out.push_back(span);
        }
    }
    return out;
}

// The stretch that holds byte `at`, or nothing.
const TextSpan* SpanAt(const std::vector<TextSpan>& spans, std::size_t at) {
    const auto it = std::ranges::upper_bound(spans, at, {}, &TextSpan::begin);
    return it != spans.begin() && std::prev(it)->end > at ? &*std::prev(it) : nullptr;
}

bool IsLineEnd(char c) {
    return c == ' ' || c == '\r' || c == '\n';
}

// Where the core ends: before the blanks and line breaks at the end of
// what precedes the tab, FormatMessage's %n (a placeholder), %r and %0
// (which are none) among them.
std::size_t CoreEnd(std::string_view text, const std::vector<TextSpan>& spans, std::size_t end) {
    for (;;) {
        if (end > 0 && IsLineEnd(text[end - 1]) && SpanAt(spans, end - 1) == nullptr) {
            --end;
            continue;
        }
        if (end < 2 || text[end - 2] != '%' ||
            std::string_view("nr0").find(text[end - 1]) == std::string_view::npos) {
            return end;
        }
        // Not the second half of "%%".
        const TextSpan* span = SpanAt(spans, end - 2);
        if (span != nullptr && (span->begin != end - 2 || span->end != end)) {
            return end;
        }
        end -= 2;
    }
}

Parts Split(std::string_view text) {
    Parts parts;
    parts.spans = KeptSpans(text);
    parts.tabAt = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t' && SpanAt(parts.spans, i) == nullptr) {
            parts.tabAt = i;
            break;
        }
    }
    parts.coreEnd = CoreEnd(text, parts.spans, parts.tabAt);
    return parts;
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The core with its letters replaced; `marksLast` is set when its last
// byte is an '&' that marks what follows.
std::string Accented(std::string_view core, const std::vector<TextSpan>& spans, bool& marksLast) {
    std::string out;
    marksLast = false;
    for (std::size_t i = 0; i < core.size();) {
        if (const TextSpan* span = SpanAt(spans, i); span != nullptr && span->begin == i) {
            out += core.substr(i, span->end - i);
            i = span->end;
        } else if (core[i] == '&') {
            // "&&" is a literal '&'; the character another '&' marks stays,
            // unless a placeholder begins there (which stays anyway).
            const bool literal = i + 1 < core.size() && core[i + 1] == '&';
            const bool keepNext = i + 1 < core.size() && !literal && IsAsciiLetter(core[i + 1]);
            const std::size_t n = literal || keepNext ? 2 : 1;
            out += core.substr(i, n);
            marksLast = n == 1 && i + 1 == core.size();
            i += n;
        } else if (IsAsciiLetter(core[i])) {
            const char c = core[i++];
            AppendUtf8(c <= 'Z' ? kUpper.at(static_cast<std::size_t>(c - 'A'))
                                : kLower.at(static_cast<std::size_t>(c - 'a')),
                       out);
        } else {
            out += core[i++];
        }
    }
    return out;
}

std::size_t CodePoints(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U; }));
}

} // namespace

std::string PseudoTranslate(std::string_view text, PseudoStyle style) {
    const Parts parts = Split(text);
    const std::string_view core = text.substr(0, parts.coreEnd);
    const std::string_view rest = text.substr(parts.coreEnd);
    bool marksLast = false;
    std::string accented = Accented(core, parts.spans, marksLast);
    // An '&' that ends the whole text marks nothing, and the checks count
    // it so; inside the brackets it would mark the padding.
    const bool lastAmpersand = marksLast && rest.empty();
    if (lastAmpersand) {
        accented.pop_back();
    }
    // Brackets, marks and padding take a UTF-16 unit each, and the letters
    // as many as before: what korva could not write is given up.
    const bool mirrored = style == PseudoStyle::Mirrored;
    const std::size_t fixed = mirrored ? 4 : 2;
    const std::size_t units = AnsiUtf16Length(text, CodePage::Utf8);
    const std::size_t room = units < kMaxTextUnits ? kMaxTextUnits - units : 0;
    std::string out;
    if (room >= fixed) {
        const std::size_t padding =
            std::min(std::max<std::size_t>(1, (CodePoints(core) + 2) / 3), room - fixed);
        if (mirrored) {
            AppendUtf8(kRightToLeftOverride, out);
        }
        out += '[';
        out += accented;
        for (std::size_t i = 0; i < padding; ++i) {
            AppendUtf8(kPadding, out);
        }
        out += ']';
        if (mirrored) {
            AppendUtf8(kPopDirectionalFormatting, out);
        }
    } else {
        out = std::move(accented);
    }
    if (lastAmpersand) {
        out += '&';
    }
    out += rest;
    return out;
}

} // namespace korva::dat
