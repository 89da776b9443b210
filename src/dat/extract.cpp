#include <ostream>

#include "dat/entry_writer.h"
#include "dat/program_texts.h"
#include "dat/subcommands.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "extract";

std::string Header(const LanguageChoice& choice, const std::vector<std::string>& programs) {
    std::string names;
    for (const std::string& p : programs) {
        names += (names.empty() ? "" : ", ") + p;
    }
    std::string out;
    const std::string_view end = "\r\n";
    AppendLine(out, "; Translations for korva, extracted by korva-dat from " + names + ".", end);
    AppendLine(out, "; To translate a text, take the ';' away from the front of its language's",
               end);
    AppendLine(out, "; line and write the translation between the quotes. 'korva-dat check'", end);
    AppendLine(out, "; tells what is still missing, 'korva-dat update' adds new texts.", end);
    AppendLine(out, LanguagesLine(choice), end);
    AppendLine(out, "", end);
    return out;
}

} // namespace

int RunExtract(const std::vector<std::string>& rawArgs, Streams io) {
    Result<CommandArgs> started = ParseCommandArgs(rawArgs, {true, true, true});
    if (!started) {
        return UsageError(io, kCommand, started.error().message);
    }
    if (started->help) {
        return AnswerHelp(io, kCommand);
    }
    const CommandArgs& args = *started;
    if (args.positional.size() < 3) {
        return UsageError(io, kCommand,
                          "give NeutralLang, (DestLang,...) and at least one program");
    }
    LanguageChoice choice;
    const Result<int> neutral = ParseLangKey(args.positional[0]);
    if (!neutral) {
        return UsageError(io, kCommand, neutral.error().message);
    }
    const Result<std::vector<int>> dests = ParseDestList(args.positional[1]);
    if (!dests) {
        return UsageError(io, kCommand, dests.error().message);
    }
    choice.neutral = *neutral;
    choice.dests = *dests;
    choice.original = args.original;
    const std::vector<std::string> programPaths(args.positional.begin() + 2, args.positional.end());

    const CodePage codePage = args.cp1252 ? CodePage::Windows1252 : CodePage::Utf8;
    const Result<std::vector<ProgramTables>> programs =
        ReadPrograms(programPaths, {codePage, choice.OriginalLangId()});
    if (!programs) {
        return Fail(io, kCommand, programs.error().message);
    }
    const ProgramTexts texts = CollectTexts(*programs, codePage);
    if (!texts.lost.empty()) {
        ReportLostTexts(texts, kCommand, io.err);
        return Fail(io, kCommand,
                    "nothing written: leave out --cp1252 to write a UTF-8 data file, which holds "
                    "every text");
    }
    if (texts.texts.empty()) {
        return Fail(io, kCommand,
                    "no text to translate: no string-table block is in the original neutral "
                    "language alone (see -O)");
    }
    std::string data = codePage == CodePage::Utf8 ? std::string(kUtf8Mark) : std::string();
    data += Header(choice, programPaths);
    for (const DistinctText& text : texts.texts) {
        AppendNewEntry(data, text, choice, "\r\n");
    }
    if (const Result<void> written = WriteProduct(args.output, data, io.out); !written) {
        return Fail(io, kCommand, "nothing written: " + written.error().message);
    }
    std::ostream& summary = ProductOnStdout(args.output) ? io.err : io.out;
    summary << "korva-dat extract: " << texts.texts.size() << " texts (" << texts.uses
            << " uses in " << texts.blocks << " blocks) written to "
            << (ProductOnStdout(args.output) ? "standard output" : *args.output) << "\n";
    for (const std::string& block : texts.skippedBlocks) {
        summary << "korva-dat extract: " << block
                << " left out: it is not in the original neutral language alone, so korva "
                   "skips it\n";
    }
    return 0;
}

} // namespace korva::dat
