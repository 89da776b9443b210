#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "dat/languages.h"
#include "restexts/resource_kinds.h"

namespace korva::dat {

// Where a subcommand writes: `out` for its product when no -o names a file
// (a data file, a PO file) and for its report, `err` for errors and
// warnings, and for its summary when `out` carries the product.
struct Streams {
    std::ostream& out;
    std::ostream& err;
};

// The options a subcommand takes, named where it is declared:
// {.output = true, .original = true}.
struct OptionSet {
    bool output = false;    // -o FILE
    bool original = false;  // -O<lang>
    bool cp1252 = false;    // --cp1252
    bool resources = false; // --resources=LIST
    bool fallback = false;  // --fallback=KEY
    bool mirrored = false;  // --mirrored
};

struct CommandArgs {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    std::optional<std::uint16_t> original;
    bool cp1252 = false;
    bool mirrored = false;
    bool help = false;
    // The union of every --resources=LIST given; none given: as recorded.
    std::optional<res::ResourceKinds> resources;
    // --fallback=KEY, the last one given; whether the destinations take it
    // is for the subcommand to tell, which knows them.
    std::optional<int> fallback;

    ChoiceOptions Choice() const { return {original, resources, fallback}; }
};

// Options may stand anywhere among the other arguments; "--" ends them.
Result<CommandArgs> ParseCommandArgs(const std::vector<std::string>& args,
                                     const OptionSet& allowed);

// After a data file argument, the optional NeutralLang (DestLang,...) pair:
// taken when the first argument is a language key and the second a list in
// parentheses. Removes them from `args`.
Result<std::optional<LanguageChoice>> TakeLanguages(std::vector<std::string>& args);

// Refuses program names that a data file's comments cannot hold: a line
// break would end the comment, and what follows would be read as a data
// line; a Ctrl-Z would end the file for korva.
Result<void> CheckProgramNames(const std::vector<std::string>& paths);

// Writes the product to `path`, all or nothing, or to `out` without a path
// or with "-".
Result<void> WriteProduct(const std::optional<std::string>& path, std::string_view bytes,
                          std::ostream& out);
bool ProductOnStdout(const std::optional<std::string>& path);

// Writes an error message, "korva-dat <command>: <message>", and returns 2.
int Fail(Streams io, std::string_view command, std::string_view message);
// The same for a wrong command line, pointing at --help.
int UsageError(Streams io, std::string_view command, std::string_view message);
// Writes the subcommand's --help text to `io.out` and returns 0.
int AnswerHelp(Streams io, std::string_view command);

} // namespace korva::dat
