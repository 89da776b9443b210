#include <chrono>
#include <cstdio>
#include <ctime>
#include <ostream>

#include "dat/data_document.h"
#include "dat/document_checks.h"
#include "dat/format_checks.h"
#include "dat/po_file.h"
#include "dat/po_header.h"
#include "dat/po_marks.h"
#include "dat/subcommand_driver.h"
#include "dat/subcommands.h"
#include "dat/text_codec.h"
#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "export-po";

std::string Now() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    // gmtime's one shared result is safe here, with one thread, and it is
    // what Windows and POSIX both have.
    const std::tm utc = *std::gmtime(&now);
    char text[32];
    const std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M+0000", &utc);
    return {text, size};
}

std::string Header(const std::string& dataPath, int neutral, int dest) {
    const std::string now = Now();
    const std::string path = OneLine(dataPath);
    std::string out = "# " + LangName(dest) + " translations of the " + LangName(neutral) +
                      " texts in " + path + ", for korva.\n" +
                      "# Bring them back with: korva-dat import-po " + path + " FILE.po\n" +
                      "msgid \"\"\nmsgstr \"\"\n";
    const std::string fields[] = {
        "Project-Id-Version: " + path,
        "POT-Creation-Date: " + now,
        "PO-Revision-Date: " + now,
        "Last-Translator: ",
        "Language-Team: ",
        "Language: " + IsoCodeOf(dest),
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=UTF-8",
        "Content-Transfer-Encoding: 8bit",
        "X-Generator: korva-dat",
        "X-Korva-Neutral: " + LangName(neutral),
        "X-Korva-Language: " + LangName(dest),
    };
    for (const std::string& field : fields) {
        std::string escaped = PoField("", field + "\n");
        out += escaped.substr(1); // without the blank a keyword would need
    }
    return out + "\n";
}

// Why a text cannot be a PO string, or nothing.
std::string_view Unwritable(std::string_view utf8) {
    if (utf8.find('\0') != std::string_view::npos) {
        return "a NUL character";
    }
    // A lone surrogate, carried in three bytes, is no UTF-8 to other tools.
    for (std::size_t pos = 0; pos < utf8.size();) {
        if (const char32_t c = DecodeUtf8(utf8, pos); c >= 0xD800 && c <= 0xDFFF) {
            return "a lone surrogate";
        }
    }
    return {};
}

bool StartsWithLineBreak(std::string_view s) {
    return s.starts_with('\n');
}
bool EndsWithLineBreak(std::string_view s) {
    return s.ends_with('\n');
}

// A reference is one token to gettext: the blanks of a menu path or a
// dialog's item become no-break spaces, which gettext 0.21 does not split
// at either, and which read the same.
std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == ' ' || c == '\t' ? std::string_view("\xC2\xA0") : std::string_view(&c, 1);
    }
    return out;
}

std::string Reference(const TextLocation& where) {
    if (where.kind != res::ResourceKind::Strings) {
        return PoReferenceFile(where.program) + ":" + WithoutBlanks(OneLine(ItemLabel(where)));
    }
    return PoReferenceFile(where.program) + ":" +
           (where.named ? OneLine(where.block) + "/" : std::string()) +
           std::to_string(where.number);
}

std::string References(const DataEntry& entry) {
    std::string out;
    std::size_t width = 0;
    for (const TextLocation& where : entry.locations) {
        const std::string ref = Reference(where);
        if (width == 0 || width + ref.size() + 1 > 79) {
            out += width == 0 ? "#:" : "\n#:";
            width = 2;
        }
        out += " " + ref;
        width += ref.size() + 1;
    }
    return out.empty() ? out : out + "\n";
}

struct ExportRequest {
    std::string dataPath;
    int neutral = -1;
    int dest = -1;
    std::optional<std::string> output;
};

struct ExportCounts {
    std::size_t translated = 0, empty = 0, untranslated = 0, fuzzy = 0, shadowed = 0;
};

struct ExportOutcome {
    std::string po;
    std::string notes; // the entries left out, one line each
    ExportCounts counts;
};

Result<ExportRequest> ParseExportPo(CommandArgs args) {
    if (args.positional.size() != 3) {
        return MakeError("give the data file, NeutralLang and DestLang");
    }
    const Result<int> neutral = ParseLangKey(args.positional[1]);
    const Result<int> dest = ParseLangKey(args.positional[2]);
    if (!neutral || !dest) {
        return (!neutral ? neutral : dest).error();
    }
    if (*neutral == *dest) {
        return MakeError("the neutral language has no translation to export");
    }
    return ExportRequest{.dataPath = args.positional[0],
                         .neutral = *neutral,
                         .dest = *dest,
                         .output = std::move(args.output)};
}

// One message of the PO file for the entry korva uses, counted; or a line
// in `notes` when a PO file cannot hold its text.
// "#| msgid ..." with every line of the field behind the "#| " mark.
std::string PreviousMsgid(std::string_view text) {
    const std::string field = PoField("msgid", text);
    std::string out;
    for (std::size_t begin = 0; begin < field.size();) {
        const std::size_t end = field.find('\n', begin);
        const std::size_t next = end == std::string::npos ? field.size() : end + 1;
        out += "#| " + field.substr(begin, next - begin);
        begin = next;
    }
    return out;
}

void ExportEntry(const DataDocument& doc, const DataEntry& entry, const ExportRequest& request,
                 ExportOutcome& out) {
    const std::string msgid = ToUtf8(entry.TextOf(request.neutral)->text, doc.codePage);
    const EntryText* given = entry.TextOf(request.dest);
    // A suggestion goes to the translator as msgmerge gives a fuzzy match:
    // marked fuzzy, with the text it was made for as the previous msgid.
    const EntryText* suggested = given == nullptr ? entry.SuggestionOf(request.dest) : nullptr;
    const EntryText* translation = given != nullptr ? given : suggested;
    const bool emptyOnPurpose = translation != nullptr && translation->text == EmptyTextMarker;
    const std::string msgstr = translation == nullptr || emptyOnPurpose
                                   ? std::string()
                                   : ToUtf8(translation->text, doc.codePage);
    const std::string_view badId = Unwritable(msgid);
    const std::string_view badStr = Unwritable(msgstr);
    if (!badId.empty() || !badStr.empty()) {
        out.notes += "korva-dat export-po: " + doc.Where(entry.start) +
                     ": left out: its text holds " + std::string(badId.empty() ? badStr : badId) +
                     ", which a PO file cannot\n";
        return;
    }
    // msgfmt --check refuses a translation that does not begin and end
    // with a line break where its source does; marked fuzzy, it is kept
    // for the translator and left alone by import.
    const bool lineBreaksDiffer =
        !msgstr.empty() && (StartsWithLineBreak(msgid) != StartsWithLineBreak(msgstr) ||
                            EndsWithLineBreak(msgid) != EndsWithLineBreak(msgstr));
    const bool fuzzy = lineBreaksDiffer || suggested != nullptr;
    if (emptyOnPurpose) {
        out.po += "#. " + std::string(kEmptyTranslationComment) + "\n";
        ++out.counts.empty;
    } else if (lineBreaksDiffer) {
        out.po += "#. " + std::string(kLineBreakComment) + "\n";
        ++out.counts.fuzzy;
    } else if (suggested != nullptr) {
        ++out.counts.fuzzy;
    } else if (msgstr.empty()) {
        ++out.counts.untranslated;
    } else {
        ++out.counts.translated;
    }
    out.po += References(entry);
    // The flags as gettext orders them: fuzzy first.
    const bool cFormat = IsPrintfFormat(msgid);
    if (fuzzy || cFormat) {
        out.po += std::string("#, ") + (fuzzy ? "fuzzy" : "") + (fuzzy && cFormat ? ", " : "") +
                  (cFormat ? "c-format" : "") + "\n";
    }
    if (suggested != nullptr && !entry.madeFor.empty()) {
        out.po += PreviousMsgid(ToUtf8(entry.madeFor, doc.codePage));
    }
    out.po += PoField("msgid", msgid) + PoField("msgstr", msgstr) + "\n";
}

Computed<ExportOutcome> ComputeExportPo(const ExportRequest& request) {
    KORVA_ASSIGN_OR_RETURN(const DataDocument doc, LoadDataDocument(request.dataPath));
    if (!doc.errors.empty()) {
        return NothingWritten(request.dataPath + " has syntax errors", SyntaxErrorLines(doc));
    }
    ExportOutcome out;
    out.po = Header(request.dataPath, request.neutral, request.dest);
    // A PO file is about as large as the data file it comes from.
    out.po.reserve(doc.bytes.size() + doc.bytes.size() / 4);
    // The entry korva uses, as check names it, is the one to translate.
    const std::vector<int> dests = WinnerDests(doc, request.neutral, request.dest);
    for (const EntryGroup& group : GroupEntries(doc, request.neutral, dests)) {
        out.counts.shadowed += group.members.size() - 1;
        ExportEntry(doc, doc.entries[group.winner], request, out);
    }
    return out;
}

int ReportExportPo(const ExportRequest& request, ExportOutcome& outcome, Streams io) {
    io.err << outcome.notes;
    if (const Result<void> written = WriteProduct(request.output, outcome.po, io.out); !written) {
        return Fail(io, kCommand, "nothing written: " + written.error().message);
    }
    const ExportCounts& c = outcome.counts;
    std::ostream& summary = ProductOnStdout(request.output) ? io.err : io.out;
    summary << "korva-dat export-po: " << c.translated + c.empty + c.untranslated + c.fuzzy
            << " texts (" << c.translated << " translated, " << c.empty << " empty on purpose, "
            << c.fuzzy << " fuzzy, " << c.untranslated << " untranslated) written to "
            << (ProductOnStdout(request.output) ? "standard output" : *request.output) << "\n";
    if (c.shadowed > 0) {
        summary << "korva-dat export-po: " << c.shadowed
                << " entries left out, as another entry with the same text wins (see korva-dat "
                   "check)\n";
    }
    return 0;
}

} // namespace

int RunExportPo(const std::vector<std::string>& args, Streams io) {
    static constexpr SubcommandSteps<ExportRequest, ExportOutcome> kSteps{
        .name = kCommand,
        .options = {.output = true},
        .parse = ParseExportPo,
        .compute = ComputeExportPo,
        .report = ReportExportPo,
    };
    return RunSubcommand(args, io, kSteps);
}

} // namespace korva::dat
