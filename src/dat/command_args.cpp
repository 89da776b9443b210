#include "dat/command_args.h"

#include <ostream>
#include <utility>

#include "dat/file_io.h"
#include "dat/po_file.h"
#include "dat/subcommand_driver.h"
#include "dat/subcommands.h"
#include "langkeys/lang_const.h"

namespace korva::dat {

Result<CommandArgs> ParseCommandArgs(const std::vector<std::string>& args,
                                     const OptionSet& allowed) {
    CommandArgs out;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.front() != '-') {
            out.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (allowed.output && (arg == "-o" || arg == "--output")) {
            if (i + 1 >= args.size()) {
                return MakeError(arg + " needs a file name");
            }
            out.output = args[++i];
        } else if (allowed.output && arg.starts_with("--output=")) {
            out.output = arg.substr(9);
        } else if (allowed.original && arg.starts_with("-O")) {
            KORVA_ASSIGN_OR_RETURN(const std::uint16_t id,
                                   ParseOriginalLang(std::string_view(arg).substr(2)));
            out.original = id;
        } else if (allowed.cp1252 && arg == "--cp1252") {
            out.cp1252 = true;
        } else if (allowed.mirrored && arg == "--mirrored") {
            out.mirrored = true;
        } else if (allowed.resources && arg.starts_with(kResourcesOption)) {
            KORVA_ASSIGN_OR_RETURN(
                const res::ResourceKinds kinds,
                res::ParseResourceKinds(std::string_view(arg).substr(kResourcesOption.size())));
            out.resources = out.resources.value_or(res::ResourceKinds::None());
            out.resources->Add(kinds);
        } else if (allowed.resources && arg == "--resources") {
            return MakeError(
                "--resources takes its list after '=', as in --resources=menus,dialogs");
        } else if (allowed.fallback && arg.starts_with(kFallbackOption)) {
            const Result<int> key =
                ParseLangKey(std::string_view(arg).substr(kFallbackOption.size()));
            if (!key) {
                return MakeError("--fallback: " + key.error().message);
            }
            out.fallback = *key;
        } else if (allowed.fallback && arg == "--fallback") {
            return MakeError("--fallback takes its key after '=', as in --fallback=ENGLISH");
        } else {
            return MakeError("unknown option " + arg);
        }
    }
    if (out.output && out.output->empty()) {
        return MakeError("the output file name is empty");
    }
    return out;
}

Result<std::optional<LanguageChoice>> TakeLanguages(std::vector<std::string>& args) {
    if (args.size() < 2 || FindLanguage(args[0]) < 0 || !args[1].starts_with('(')) {
        return std::optional<LanguageChoice>();
    }
    KORVA_ASSIGN_OR_RETURN(std::vector<int> dests, ParseDestList(args[1]));
    LanguageChoice choice;
    choice.neutral = FindLanguage(args[0]);
    choice.dests = std::move(dests);
    args.erase(args.begin(), args.begin() + 2);
    return std::optional<LanguageChoice>(std::move(choice));
}

Result<void> CheckProgramNames(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (path.find_first_of("\r\n\x1A") != std::string::npos) {
            return MakeError("the program name '" + OneLine(path) +
                             "' holds a line break or Ctrl-Z, which the data file's comments "
                             "cannot hold: rename the program");
        }
    }
    return {};
}

bool ProductOnStdout(const std::optional<std::string>& path) {
    return !path || *path == "-";
}

Result<void> WriteProduct(const std::optional<std::string>& path, std::string_view bytes,
                          std::ostream& out) {
    if (ProductOnStdout(path)) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            return MakeError("cannot write to standard output");
        }
        return {};
    }
    return WriteFileAllOrNothing(*path, bytes);
}

int Fail(Streams io, std::string_view command, std::string_view message) {
    io.err << "korva-dat " << command << ": " << message << "\n";
    return 2;
}

int Refuse(Streams io, std::string_view command, const Refusal& refusal) {
    io.err << refusal.notes;
    const int code = refusal.usage ? UsageError(io, command, refusal.message)
                                   : Fail(io, command, refusal.message);
    if (!refusal.hint.empty()) {
        io.err << "korva-dat " << command << ": " << refusal.hint << "\n";
    }
    return code;
}

int AnswerHelp(Streams io, std::string_view command) {
    io.out << HelpText(command);
    return 0;
}

int UsageError(Streams io, std::string_view command, std::string_view message) {
    io.err << "korva-dat " << command << ": " << message << "\n"
           << "Try 'korva-dat " << command << " --help'.\n";
    return 2;
}

} // namespace korva::dat
