#include "dat/run_korva_dat.h"

#include <exception>
#include <ostream>

#include "common/settings.h"
#include "dat/subcommands.h"
#include "langkeys/lang_const.h"
#include "strtables/string_tables.h"
#include "text/codepage.h"

namespace korva::dat {
namespace {

struct Subcommand {
    std::string_view name;
    int (*run)(const std::vector<std::string>& args, Streams io);
};
constexpr Subcommand kSubcommands[] = {
    {.name = "extract", .run = RunExtract},    {.name = "update", .run = RunUpdate},
    {.name = "check", .run = RunCheck},        {.name = "export-po", .run = RunExportPo},
    {.name = "import-po", .run = RunImportPo}, {.name = "pseudo", .run = RunPseudo},
};

int Dispatch(const std::vector<std::string>& args, Streams io) {
    if (args.empty()) {
        io.err << "korva-dat: give a command: extract, update, check, export-po, import-po or "
                  "pseudo\n"
               << "Try 'korva-dat --help'.\n";
        return 2;
    }
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        io.out << HelpText(rest.empty() ? "" : rest.front());
        return 0;
    }
    if (command == "--version") {
        io.out << "korva-dat 1.0\n";
        return 0;
    }
    for (const Subcommand& sub : kSubcommands) {
        if (command == sub.name) {
            return sub.run(rest, io);
        }
    }
    io.err << "korva-dat: unknown command '" << command << "'\nTry 'korva-dat --help'.\n";
    return 2;
}

} // namespace

int RunKorvaDat(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    int exitCode = 2;
    try {
        exitCode = Dispatch(args, {out, err});
    } catch (const std::exception& e) {
        err << "korva-dat: unexpected failure: " << e.what() << "\n";
        exitCode = 2;
    }
    out.flush();
    err.flush();
    return exitCode;
}

} // namespace korva::dat
