#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "dat/entry_writer.h"
#include "dat/program_texts.h"
#include "dat/pseudo_text.h"
#include "dat/subcommand_driver.h"
#include "dat/subcommands.h"
#include "langkeys/lang_const.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

constexpr std::string_view kCommand = "pseudo";

struct PseudoRequest {
    LanguageChoice choice; // the pseudo-locales as destinations
    std::vector<std::string> programPaths;
    std::optional<std::string> output;
};

struct PseudoOutcome {
    std::string data;
    ProgramTexts texts;
};

std::string Header(const LanguageChoice& choice, const std::vector<std::string>& programs) {
    std::string names;
    for (const std::string& p : programs) {
        names += (names.empty() ? "" : ", ") + p;
    }
    std::string out;
    const std::string_view end = "\r\n";
    AppendLine(out, "; Pseudo-translations for korva, made by korva-dat pseudo from " + names + ".",
               end);
    AppendLine(out, "; Each text in accented look-alike letters, a third longer and in brackets,",
               end);
    AppendLine(out, "; so that a text left untranslated, cut off or pieced together shows;", end);
    AppendLine(out, "; placeholders, accelerators and shortcuts stay. Made again, not edited.",
               end);
    AppendLine(out, LanguagesLine(choice), end);
    AppendLine(out, "", end);
    return out;
}

Result<PseudoRequest> ParsePseudo(CommandArgs args) {
    if (args.positional.size() < 2) {
        return MakeError("give NeutralLang and at least one program");
    }
    PseudoRequest request;
    KORVA_ASSIGN_OR_RETURN(request.choice.neutral, ParseLangKey(args.positional[0]));
    request.choice.dests.push_back(FindLanguage(kPseudoTag));
    if (args.mirrored) {
        request.choice.dests.push_back(FindLanguage(kMirroredPseudoTag));
    }
    if (std::ranges::find(request.choice.dests, request.choice.neutral) !=
        request.choice.dests.end()) {
        return MakeError("the programs' language cannot be a pseudo-locale: " +
                         LangName(request.choice.neutral));
    }
    request.choice.original = args.original;
    request.choice.kinds = args.resources.value_or(res::ResourceKinds::StringsOnly());
    request.programPaths.assign(args.positional.begin() + 1, args.positional.end());
    KORVA_RETURN_IF_ERROR(CheckProgramNames(request.programPaths));
    request.output = std::move(args.output);
    return request;
}

// One entry: where the text is used, its neutral line and its pseudo
// translation into each destination.
void AppendPseudoEntry(std::string& out, const DistinctText& text, const LanguageChoice& choice) {
    const std::string_view end = "\r\n";
    for (const TextLocation& use : text.uses) {
        AppendLine(out, LocationLine(use), end);
    }
    AppendLine(out, "(", end);
    AppendLine(out, TextLine(choice.neutral, text.text), end);
    for (const int dest : choice.dests) {
        const PseudoStyle style =
            LanguageName(dest) == kPseudoTag ? PseudoStyle::Accented : PseudoStyle::Mirrored;
        AppendLine(out, TextLine(dest, PseudoTranslate(text.text, style)), end);
    }
    AppendLine(out, ")", end);
    AppendLine(out, "", end);
}

Computed<PseudoOutcome> ComputePseudo(const PseudoRequest& request) {
    // The accented letters need a UTF-8 file.
    KORVA_ASSIGN_OR_RETURN(
        const std::vector<ProgramTables> programs,
        ReadPrograms(request.programPaths,
                     {CodePage::Utf8, request.choice.OriginalLangId(), request.choice.kinds}));
    PseudoOutcome out{.data = {}, .texts = CollectTexts(programs, CodePage::Utf8)};
    if (out.texts.texts.empty()) {
        return NothingToTranslate(programs, request.choice);
    }
    out.data = std::string(kUtf8Mark) + Header(request.choice, request.programPaths);
    for (const DistinctText& text : out.texts.texts) {
        AppendPseudoEntry(out.data, text, request.choice);
    }
    return out;
}

int ReportPseudo(const PseudoRequest& request, PseudoOutcome& outcome, Streams io) {
    if (const Result<void> written = WriteProduct(request.output, outcome.data, io.out); !written) {
        return Fail(io, kCommand, "nothing written: " + written.error().message);
    }
    const ProgramTexts& texts = outcome.texts;
    const bool onStdout = ProductOnStdout(request.output);
    std::ostream& summary = onStdout ? io.err : io.out;
    std::string into;
    for (const int dest : request.choice.dests) {
        into += (into.empty() ? "" : " and ") + LangName(dest);
    }
    summary << "korva-dat pseudo: " << texts.texts.size() << " texts (" << texts.uses << " uses in "
            << texts.blocks << " blocks" << OtherResources(texts) << ") pseudo-translated into "
            << into << ", written to " << (onStdout ? "standard output" : *request.output) << "\n";
    for (const std::string& block : texts.skippedBlocks) {
        summary << "korva-dat pseudo: " << block
                << " left out: it is not in the original neutral language alone, so korva "
                   "skips it\n";
    }
    // korva takes the file by its path where it is; one on standard output
    // has none yet.
    const std::string data = onStdout ? "" : "--data=" + *request.output + " ";
    summary << "korva-dat pseudo: with it, 'korva " << data << KorvaArguments(request.choice)
            << " Program' makes a pseudo build\n";
    return 0;
}

} // namespace

int RunPseudo(const std::vector<std::string>& args, Streams io) {
    static constexpr SubcommandSteps<PseudoRequest, PseudoOutcome> kSteps{
        .name = kCommand,
        .options = {.output = true, .original = true, .resources = true, .mirrored = true},
        .parse = ParsePseudo,
        .compute = ComputePseudo,
        .report = ReportPseudo,
    };
    return RunSubcommand(args, io, kSteps);
}

} // namespace korva::dat
