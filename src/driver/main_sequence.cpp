#include "driver/main_sequence.h"

#include <cxxabi.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <typeinfo>

#include "common/console.h"
#include "common/settings.h"
#include "datafile/data_file.h"
#include "driver/command_line.h"
#include "langkeys/lang_const.h"
#include "platform/platform.h"
#include "strtables/string_tables.h"
#include "text/codepage.h"
#include "translate/translate_blocks.h"

namespace korva {
namespace {

constexpr const char* kBanner = "KORVA 1.0 - string table translator";

void ResetRunState() {
    ResetSettings();
    ResetLangSelection();
    ResetResBlocks();
    ResetTransDict();
    ResetCounters();
    RunCodePage = CodePage::Windows1252;
}

std::string TypeName(const std::type_info& type) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

// The blocks' texts are the only ones ever looked up in the dictionary, so
// the only ones it needs entries for, however large the data file.
FoldedTextFilter BlockTextFilter() {
    std::size_t count = 0;
    for (const TResInfo& block : ResBlocks) {
        count += block.Strings.Count();
    }
    FoldedTextFilter texts(count, RunCodePage);
    for (const TResInfo& block : ResBlocks) {
        for (const auto& item : block.Strings.Items()) {
            texts.Add(item.text);
        }
    }
    return texts;
}

// Why a destination list that names two languages of one id is refused.
std::string SharedLangIdLine(int first, int second) {
    const auto name = [](int language) { return std::string(LanguageName(language)); };
    char id[32];
    (void)std::snprintf(id, sizeof id, "%u (0x%02X)", unsigned{LangIdOf(first)},
                        unsigned{LangIdOf(first)});
    return name(first) + " and " + name(second) + " share the language id " + id +
           ", so their texts would go into one resource: name only one of them";
}

// When no resource is in the language -O names, a line after the failure
// that names the languages they are in: the data file then has no entry
// for them either, and the failure alone would point at the wrong file.
void WriteLanguagesFoundHint() {
    if (const std::string hint = LanguagesFoundHint(ResBlocks, OrigNeutralLangId); !hint.empty()) {
        WriteLine(static_cast<char>(std::toupper(static_cast<unsigned char>(hint[0]))) +
                  hint.substr(1));
    }
}

// The stages once the program's and the data file's texts are in: the
// translation, the write and the verdict; returns the exit code.
int TranslateAndWrite() {
    if (!TranslateBlocks()) {
        WriteLine(TranslationsFound > 0 ? "Translation incomplete. Abort."
                                        : "Nothing translated. Abort.");
        WriteLanguagesFoundHint();
        return 2;
    }
    // The blocks keep the dictionary's texts alive where they chose them;
    // its index, often large, is let go before the new file is built.
    ResetTransDict();
    Console().flush();
    if (Result<void> written = WriteStringTablesOrSayWhy(); !written) {
        WriteLine("Error writing to file " +
                  (OutputFileName.empty() ? ProgFileName : OutputFileName));
        WriteLine(written.error().message);
        return 2;
    }
    WriteLine("Finished");
    if (SourceStringsMissing > 0 || TranslationStringsMissing > 0) {
        WriteLine("Translation incomplete");
        return 1;
    }
    return 0;
}

// The command line and what can be refused before any file is read; an
// exit code when the run ends there.
std::optional<int> TakeCommandLine(const std::vector<std::string>& args) {
    if (AsksForHelp(args)) {
        PrintHelp();
        return 0;
    }
    if (std::string mistake; !ParseCommandLine(args, &mistake)) {
        if (!mistake.empty()) {
            WriteLine(mistake);
        }
        PrintUsage();
        return 2;
    }
    if (int first = 0, second = 0; FindDestinationsSharingLangId(first, second)) {
        WriteLine(SharedLangIdLine(first, second));
        return 2;
    }
    if (!IsWindowsNT()) {
        WriteLine("This program requires Windows NT");
        return 2;
    }
    return std::nullopt;
}

// Steps after the banner; returns the exit code.
int RunStages(const std::vector<std::string>& args) {
    if (const std::optional<int> ended = TakeCommandLine(args)) {
        return *ended;
    }
    // The program itself, however it is named there: rewritten in place,
    // under its lock and with its checks, as without --output.
    if (!OutputFileName.empty() && SameFile(OutputFileName, ProgFileName)) {
        OutputFileName.clear();
    }
    // Held from before the target is read until it is replaced: a second
    // run on the same file waits, and a file another program changes
    // meanwhile is not replaced. With --output, the program is only read,
    // but a fault from a file cut short under its mapping is still caught.
    const TargetLock lock = TargetLock::Acquire(ProgFileName);
    // What is said so far shows even if the run is killed later.
    Console().flush();
    // The data file's first bytes decide the code page the program's texts
    // are read in.
    OpenDataFile();
    if (Result<void> read = ReadChosenResources(); !read) {
        WriteLine("Error reading resource strings from file " + ProgFileName);
        // The reason, where a run without --resources said none.
        if (!ChosenResources.IsStringsOnly()) {
            WriteLine(read.error().message);
        }
        return 2;
    }
    const FoldedTextFilter wanted = BlockTextFilter();
    if (Result<void> loaded = LoadDataFileOrSayWhy(&wanted); !loaded) {
        WriteLine("Error reading " + DataFileName);
        if (!loaded.error().message.empty()) {
            WriteLine(loaded.error().message);
        }
        WriteLanguagesFoundHint();
        return 2;
    }
    return TranslateAndWrite();
}

} // namespace

bool IsWindowsNT() {
    return true;
}

int RunKorva(const std::vector<std::string>& args, std::ostream& out) {
    SetConsole(out);
    ResetRunState();
    int exitCode = 2;
    try {
        WriteLine(kBanner);
        WriteLine("");
        exitCode = RunStages(args);
    } catch (const std::exception& e) {
        WriteLine("Unexpected failure: " + TypeName(typeid(e)) + ": " + e.what());
        exitCode = 1;
    } catch (...) {
        WriteLine("Unexpected failure: unknown exception: no description");
        exitCode = 1;
    }
    out.flush();
    return exitCode;
}

} // namespace korva
