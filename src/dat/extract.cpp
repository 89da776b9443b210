#include <ostream>

#include "dat/entry_writer.h"
#include "dat/program_texts.h"
#include "dat/subcommand_driver.h"
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

struct ExtractRequest {
    LanguageChoice choice;
    std::vector<std::string> programPaths;
    std::optional<std::string> output;
    CodePage codePage = CodePage::Utf8;
};

struct ExtractOutcome {
    std::string data;
    ProgramTexts texts;
};

Result<ExtractRequest> ParseExtract(CommandArgs args) {
    if (args.positional.size() < 3) {
        return MakeError("give NeutralLang, (DestLang,...) and at least one program");
    }
    ExtractRequest request;
    KORVA_ASSIGN_OR_RETURN(request.choice.neutral, ParseLangKey(args.positional[0]));
    KORVA_ASSIGN_OR_RETURN(request.choice.dests, ParseDestList(args.positional[1]));
    request.choice.original = args.original;
    request.choice.kinds = args.resources.value_or(res::ResourceKinds::StringsOnly());
    request.choice.fallback = args.fallback.value_or(-1);
    KORVA_RETURN_IF_ERROR(CheckFallback(request.choice));
    request.programPaths.assign(args.positional.begin() + 2, args.positional.end());
    KORVA_RETURN_IF_ERROR(CheckProgramNames(request.programPaths));
    request.output = std::move(args.output);
    request.codePage = args.cp1252 ? CodePage::Windows1252 : CodePage::Utf8;
    return request;
}

Computed<ExtractOutcome> ComputeExtract(const ExtractRequest& request) {
    KORVA_ASSIGN_OR_RETURN(
        const std::vector<ProgramTables> programs,
        ReadPrograms(request.programPaths,
                     {request.codePage, request.choice.OriginalLangId(), request.choice.kinds}));
    ExtractOutcome out{.data = {}, .texts = CollectTexts(programs, request.codePage)};
    if (!out.texts.lost.empty()) {
        return NothingWritten("leave out --cp1252 to write a UTF-8 data file, which holds every "
                              "text",
                              LostTextLines(out.texts, kCommand));
    }
    if (out.texts.texts.empty()) {
        return NothingToTranslate(programs, request.choice);
    }
    out.data = request.codePage == CodePage::Utf8 ? std::string(kUtf8Mark) : std::string();
    out.data += Header(request.choice, request.programPaths);
    for (const DistinctText& text : out.texts.texts) {
        AppendNewEntry(out.data, text, request.choice, "\r\n");
    }
    return out;
}

int ReportExtract(const ExtractRequest& request, ExtractOutcome& outcome, Streams io) {
    if (const Result<void> written = WriteProduct(request.output, outcome.data, io.out); !written) {
        return Fail(io, kCommand, "nothing written: " + written.error().message);
    }
    const ProgramTexts& texts = outcome.texts;
    std::ostream& summary = ProductOnStdout(request.output) ? io.err : io.out;
    summary << "korva-dat extract: " << texts.texts.size() << " texts (" << texts.uses
            << " uses in " << texts.blocks << " blocks" << OtherResources(texts) << ") written to "
            << (ProductOnStdout(request.output) ? "standard output" : *request.output) << "\n";
    for (const std::string& block : texts.skippedBlocks) {
        summary << "korva-dat extract: " << block
                << " left out: it is not in the original neutral language alone, so korva "
                   "skips it\n";
    }
    return 0;
}

} // namespace

int RunExtract(const std::vector<std::string>& args, Streams io) {
    static constexpr SubcommandSteps<ExtractRequest, ExtractOutcome> kSteps{
        .name = kCommand,
        .options =
            {.output = true, .original = true, .cp1252 = true, .resources = true, .fallback = true},
        .parse = ParseExtract,
        .compute = ComputeExtract,
        .report = ReportExtract,
    };
    return RunSubcommand(args, io, kSteps);
}

} // namespace korva::dat
