#include "dat/ui_checks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "dat/text_codec.h"
#include "text/case_fold.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

// A translation is named a likely misfit only past this share of its room:
// the estimate knows average widths, not the font's.
constexpr double kFitMargin = 1.15;
// What a check box or radio button's box and gap take from its width.
constexpr double kBoxWidth = 12;
// A line of text is eight vertical dialog units, an eighth of the font's
// height being one.
constexpr int kLineHeight = 8;

constexpr std::uint16_t kButtonClass = 0x80;
constexpr std::uint16_t kStaticClass = 0x82;
constexpr std::uint32_t kButtonMultiline = 0x2000;

bool IsCheckBox(const res::ResourceText& c) {
    // BS_CHECKBOX, BS_AUTOCHECKBOX, BS_RADIOBUTTON, BS_3STATE, BS_AUTO3STATE,
    // BS_AUTORADIOBUTTON.
    constexpr std::uint32_t kBoxTypes[] = {2, 3, 4, 5, 6, 9};
    return c.classOrdinal == kButtonClass && std::find(std::begin(kBoxTypes), std::end(kBoxTypes),
                                                       c.style & 0xFU) != std::end(kBoxTypes);
}

bool Wraps(const res::ResourceText& c) {
    if (c.classOrdinal == kButtonClass) {
        return (c.style & kButtonMultiline) != 0;
    }
    // SS_LEFT, SS_CENTER and SS_RIGHT break lines at words; SS_SIMPLE and
    // SS_LEFTNOWORDWRAP do not.
    return c.classOrdinal == kStaticClass && (c.style & 0x1FU) <= 2;
}

// Horizontal dialog units a character takes, an average letter being four.
double CharWidth(char32_t c) {
    constexpr std::string_view kNarrow = "ijlI!|.,:;'`()[]{}ftr";
    constexpr std::string_view kWide = "mwMW@%";
    if (c < 0x80) {
        const char a = static_cast<char>(c);
        if (a == ' ') {
            return 2;
        }
        if (kNarrow.find(a) != std::string_view::npos) {
            return 2;
        }
        if (kWide.find(a) != std::string_view::npos) {
            return 6;
        }
        if ((a >= 'A' && a <= 'Z') || (a >= '0' && a <= '9')) {
            return 4.5;
        }
        return a >= 'a' && a <= 'z' ? 3.5 : 3;
    }
    if (c >= 0x0300 && c <= 0x036F) {
        return 0; // a combining mark sits on the letter before it
    }
    // Direction marks, overrides and isolates (qps-plocm's texts have them)
    // and zero-width spaces and joiners are shown as nothing.
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2060 && c <= 0x2069)) {
        return 0;
    }
    const bool fullWidth = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                           (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
    return fullWidth ? 8 : 4;
}

// The widths of the text's lines as shown: a lone '&' marks the next
// letter and takes no room, "&&" shows one '&'.
std::vector<double> LineWidths(std::string_view utf8) {
    std::vector<double> lines(1, 0.0);
    bool marked = false;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = DecodeUtf8(utf8, pos);
        if (c == '&' && !marked) {
            marked = true;
            continue;
        }
        marked = false;
        if (c == '\n') {
            lines.push_back(0.0);
        } else if (c == '\t') {
            lines.back() += 8;
        } else if (c != '\r') {
            lines.back() += CharWidth(c);
        }
    }
    return lines;
}

} // namespace

std::optional<char32_t> AcceleratorLetter(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        if (DecodeUtf8(utf8, pos) != '&' || pos >= utf8.size()) {
            continue;
        }
        const char32_t next = DecodeUtf8(utf8, pos);
        if (next != '&') {
            return next;
        }
    }
    return std::nullopt;
}

bool ShowsLabel(const res::ResourceText& control) {
    if (control.width == 0) {
        return false;
    }
    if (control.classOrdinal == kButtonClass) {
        return true;
    }
    // Text statics: SS_LEFT, SS_CENTER, SS_RIGHT, SS_SIMPLE, SS_LEFTNOWORDWRAP.
    const std::uint32_t type = control.style & 0x1FU;
    return control.classOrdinal == kStaticClass && (type <= 2 || type == 0xB || type == 0xC);
}

ControlFit EstimateFit(std::string_view utf8, const res::ResourceText& control) {
    ControlFit fit;
    const double width =
        std::max(0.0, static_cast<double>(control.width) - (IsCheckBox(control) ? kBoxWidth : 0.0));
    fit.lines = Wraps(control) ? std::max(1, control.height / kLineHeight) : 1;
    fit.available = width * fit.lines;
    const std::vector<double> lines = LineWidths(utf8);
    if (fit.lines == 1 || width <= 0) {
        fit.needed = *std::max_element(lines.begin(), lines.end());
        return fit;
    }
    // A line break leaves the rest of its last row empty.
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double rows = std::max(1.0, std::ceil(lines[i] / width));
        fit.needed += i + 1 < lines.size() ? rows * width : lines[i];
    }
    return fit;
}

namespace {

// One menu or dialog of a program, with the entry korva takes each text from.
struct RecordTexts {
    const DataDocument& doc;
    const std::string& program;
    const TResInfo& record;
    std::vector<std::optional<std::size_t>> entryOf; // by item; none for an empty or lost text

    const res::ResourceText& Item(std::size_t i) const { return record.Template->Texts()[i]; }
    std::string Source(std::size_t i) const { return ToUtf8(record.Strings.Text(i), doc.codePage); }
    // The item's translation into `lang`, when the entry has one to show.
    const EntryText* Translation(std::size_t i, int lang) const {
        if (!entryOf[i]) {
            return nullptr;
        }
        const EntryText* t = doc.entries[*entryOf[i]].TextOf(lang);
        return t == nullptr || t->text.empty() || t->text == EmptyTextMarker ? nullptr : t;
    }
    std::string Name() const { return program + ", " + RecordName(record); }
};

std::string Quoted(std::string_view where) {
    return "\"" + std::string(where) + "\"";
}

std::string Letter(char32_t c) {
    std::string out = "&";
    AppendUtf8(c, out);
    return out;
}

struct Marked {
    std::size_t item;
    char32_t source;
    char32_t translated;
    std::size_t line;
};

// Among items of one scope whose translations take one letter: each that
// a source tells apart from an earlier one, named with it.
void ReportSharedLetter(const RecordTexts& r, int lang, const std::vector<Marked>& items,
                        CheckFindings& out) {
    const Marked& first = items.front();
    const Marked* otherSource = nullptr; // the first whose source letter differs from first's
    for (std::size_t k = 1; k < items.size(); ++k) {
        const Marked& item = items[k];
        const bool likeFirst = FoldCase(item.source) == FoldCase(first.source);
        const Marked* earlier = likeFirst ? otherSource : &first;
        if (!likeFirst && otherSource == nullptr) {
            otherSource = &item;
        }
        if (earlier == nullptr) {
            continue;
        }
        out.errorLines += r.doc.Where(item.line) + ": error: " + LangName(lang) + ": " + r.Name() +
                          ": the translations of " + Quoted(r.Item(earlier->item).where) +
                          " (line " + std::to_string(earlier->line + 1) + ") and " +
                          Quoted(r.Item(item.item).where) + " take the same accelerator " +
                          Letter(item.translated) + ", where their sources take " +
                          Letter(earlier->source) + " and " + Letter(item.source) + "\n";
        ++out.errors;
    }
}

void CheckAccelerators(const RecordTexts& r, int lang, CheckFindings& out) {
    // By scope, then by the translation's folded letter, in item order.
    std::map<std::pair<int, char32_t>, std::vector<Marked>> groups;
    for (std::size_t i = 0; i < r.entryOf.size(); ++i) {
        const EntryText* t = r.Translation(i, lang);
        if (t == nullptr || r.Item(i).hotkeyScope < 0) {
            continue;
        }
        const std::optional<char32_t> source = AcceleratorLetter(r.Source(i));
        const std::optional<char32_t> translated =
            AcceleratorLetter(ToUtf8(t->text, r.doc.codePage));
        if (source && translated) {
            groups[{r.Item(i).hotkeyScope, FoldCase(*translated)}].push_back(
                {i, *source, *translated, t->line});
        }
    }
    for (const auto& [key, items] : groups) {
        ReportSharedLetter(r, lang, items, out);
    }
}

void CheckFit(const RecordTexts& r, int lang, CheckFindings& out) {
    for (std::size_t i = 0; i < r.entryOf.size(); ++i) {
        const EntryText* t = r.Translation(i, lang);
        if (t == nullptr || !ShowsLabel(r.Item(i))) {
            continue;
        }
        const ControlFit fit = EstimateFit(ToUtf8(t->text, r.doc.codePage), r.Item(i));
        // A text no longer than the source's is as the program's author
        // sized it, whatever the estimate says.
        if (fit.available <= 0 || fit.needed <= fit.available * kFitMargin ||
            fit.needed <= EstimateFit(r.Source(i), r.Item(i)).needed) {
            continue;
        }
        const auto units = [](double d) { return std::to_string(std::lround(d)); };
        const std::string room = fit.lines == 1 ? units(fit.available)
                                                : std::to_string(fit.lines) + " lines of " +
                                                      units(fit.available / fit.lines);
        out.warningLines += r.doc.Where(t->line) + ": warning: " + LangName(lang) + ": " +
                            r.Name() + ", " + r.Item(i).where +
                            ": the translation likely does not fit its control: an estimated " +
                            units(fit.needed) + " dialog units of text for " + room +
                            " (an estimate from average character widths)\n";
        ++out.warnings;
    }
}

} // namespace

void FindInterfaceProblems(const DataDocument& doc, const EntryGroups& groups,
                           const LanguageChoice& choice, const std::vector<ProgramTables>& programs,
                           CheckFindings& out) {
    const NeutralTextIndex index(groups);
    for (const ProgramTables& program : programs) {
        for (const TResInfo& record : program.blocks) {
            const bool menu = record.Kind == res::ResourceKind::Menus;
            const bool dialog = record.Kind == res::ResourceKind::Dialogs;
            if ((!menu && !dialog) || !IsTranslatable(record) ||
                record.Template->Texts().size() != record.Strings.Count()) {
                continue;
            }
            RecordTexts r{doc, program.path, record, {}};
            r.entryOf.resize(record.Strings.Count());
            for (std::size_t i = 0; i < r.entryOf.size(); ++i) {
                if (!record.Strings.Text(i).empty()) {
                    r.entryOf[i] = index.Find(record.Strings.Text(i));
                }
            }
            for (const LostText& lost : record.LostTexts) {
                r.entryOf.at(lost.Entry).reset();
            }
            for (const int lang : choice.TranslatedDests()) {
                CheckAccelerators(r, lang, out);
                if (dialog) {
                    CheckFit(r, lang, out);
                }
            }
        }
    }
}

} // namespace korva::dat
