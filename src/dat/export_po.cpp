#include <chrono>
#include <cstdio>
#include <ctime>
#include <ostream>

#include "dat/data_document.h"
#include "dat/document_checks.h"
#include "dat/po_file.h"
#include "dat/po_marks.h"
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
    std::string out = "# " + KeyName(dest) + " translations of the " + KeyName(neutral) +
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
        "X-Korva-Neutral: " + KeyName(neutral),
        "X-Korva-Language: " + KeyName(dest),
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

std::string References(const DataEntry& entry) {
    std::string out;
    std::size_t width = 0;
    for (const TextLocation& where : entry.locations) {
        const std::string ref = PoReferenceFile(where.program) + ":" +
                                (where.named ? OneLine(where.block) + "/" : std::string()) +
                                std::to_string(where.number);
        if (width == 0 || width + ref.size() + 1 > 79) {
            out += width == 0 ? "#:" : "\n#:";
            width = 2;
        }
        out += " " + ref;
        width += ref.size() + 1;
    }
    return out.empty() ? out : out + "\n";
}

} // namespace

int RunExportPo(const std::vector<std::string>& rawArgs, Streams io) {
    Result<CommandArgs> started = ParseCommandArgs(rawArgs, {true, false, false});
    if (!started) {
        return UsageError(io, kCommand, started.error().message);
    }
    if (started->help) {
        return AnswerHelp(io, kCommand);
    }
    const CommandArgs& args = *started;
    if (args.positional.size() != 3) {
        return UsageError(io, kCommand, "give the data file, NeutralLang and DestLang");
    }
    const std::string& dataPath = args.positional[0];
    const Result<int> neutral = ParseLangKey(args.positional[1]);
    const Result<int> dest = ParseLangKey(args.positional[2]);
    if (!neutral || !dest) {
        return UsageError(io, kCommand, (!neutral ? neutral : dest).error().message);
    }
    if (*neutral == *dest) {
        return UsageError(io, kCommand, "the neutral language has no translation to export");
    }
    const Result<DataDocument> doc = LoadDataDocument(dataPath);
    if (!doc) {
        return Fail(io, kCommand, doc.error().message);
    }
    if (ReportSyntaxErrors(*doc, io.err) > 0) {
        return Fail(io, kCommand, "nothing written: " + dataPath + " has syntax errors");
    }
    const std::vector<EntryGroup> groups = GroupEntries(*doc, *neutral, {*dest});
    std::string po = Header(dataPath, *neutral, *dest);
    std::size_t translated = 0;
    std::size_t empty = 0;
    std::size_t untranslated = 0;
    std::size_t fuzzy = 0;
    std::size_t shadowed = 0;
    for (const EntryGroup& group : groups) {
        shadowed += group.members.size() - 1;
        const DataEntry& entry = doc->entries[group.winner];
        const std::string msgid = ToUtf8(entry.TextOf(*neutral)->text, doc->codePage);
        const EntryText* translation = entry.TextOf(*dest);
        const bool emptyOnPurpose = translation != nullptr && translation->text == EmptyTextMarker;
        const std::string msgstr = translation == nullptr || emptyOnPurpose
                                       ? std::string()
                                       : ToUtf8(translation->text, doc->codePage);
        const std::string_view badId = Unwritable(msgid);
        const std::string_view badStr = Unwritable(msgstr);
        if (!badId.empty() || !badStr.empty()) {
            io.err << "korva-dat export-po: " << doc->Where(entry.start)
                   << ": left out: its text holds " << (badId.empty() ? badStr : badId)
                   << ", which a PO file cannot\n";
            continue;
        }
        // msgfmt --check refuses a translation that does not begin and end
        // with a line break where its source does; marked fuzzy, it is kept
        // for the translator and left alone by import.
        const bool lineBreaksDiffer =
            !msgstr.empty() && (StartsWithLineBreak(msgid) != StartsWithLineBreak(msgstr) ||
                                EndsWithLineBreak(msgid) != EndsWithLineBreak(msgstr));
        if (emptyOnPurpose) {
            po += "#. " + std::string(kEmptyTranslationComment) + "\n";
            ++empty;
        } else if (lineBreaksDiffer) {
            po += "#. " + std::string(kLineBreakComment) + "\n";
            ++fuzzy;
        } else if (msgstr.empty()) {
            ++untranslated;
        } else {
            ++translated;
        }
        po += References(entry);
        if (lineBreaksDiffer) {
            po += "#, fuzzy\n";
        }
        po += PoField("msgid", msgid) + PoField("msgstr", msgstr) + "\n";
    }
    if (const Result<void> written = WriteProduct(args.output, po, io.out); !written) {
        return Fail(io, kCommand, "nothing written: " + written.error().message);
    }
    std::ostream& summary = ProductOnStdout(args.output) ? io.err : io.out;
    summary << "korva-dat export-po: " << translated + empty + untranslated + fuzzy << " texts ("
            << translated << " translated, " << empty << " empty on purpose, " << fuzzy
            << " fuzzy, " << untranslated << " untranslated) written to "
            << (ProductOnStdout(args.output) ? "standard output" : *args.output) << "\n";
    if (shadowed > 0) {
        summary << "korva-dat export-po: " << shadowed
                << " entries left out, as another entry with the same text wins (see korva-dat "
                   "check)\n";
    }
    return 0;
}

} // namespace korva::dat
