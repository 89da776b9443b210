// korva-dat's reading of the language arguments: korva's grammar, with
// korva-dat's pointer to its help and its refusal of two keys of one id.
#include "dat/languages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat/command_args.h"
#include "langkeys/lang_const.h"

namespace korva::dat {
namespace {

TEST(DatLanguages, RefusalsSayWhatIsWrongAndWhereTheKeysAreListed) {
    const std::vector<std::pair<std::string, std::string>> lists = {
        {"(GERMAN,KLINGON)",
         "'KLINGON' is not a language key or tag (korva-dat --help lists them)"},
        {"(GERMAN,GERMAN)", "GERMAN is named twice in (GERMAN,GERMAN)"},
        {"(SERBIAN,GERMAN,CROATIAN)",
         "CROATIAN and SERBIAN share one language id, so korva refuses them together"},
        {"(GERMAN",
         "'(GERMAN' is no destination list: it is written (KEY,KEY,...), without blanks"},
    };
    for (const auto& [list, reason] : lists) {
        const Result<std::vector<int>> keys = ParseDestList(list);
        ASSERT_FALSE(keys.ok()) << list;
        EXPECT_EQ(keys.error().message, reason);
    }
    EXPECT_EQ(ParseDestList("(GERMAN,ENGLISH)").value(), (std::vector<int>{12, 18}));
    EXPECT_EQ(ParseLangKey("x").error().message,
              "'x' is not a language key or tag (korva-dat --help lists them)");
    // korva-dat writes ids as -O0x0409 and takes them back as written only.
    EXPECT_EQ(ParseOriginalLang("0x0409").value(), 0x0409);
    EXPECT_FALSE(ParseOriginalLang("+1").ok());
    EXPECT_FALSE(ParseOriginalLang("65545").ok());
}

TEST(DatLanguages, IsoCodesLeadBackToTheirKeys) {
    for (int key = 0; key < LangKeyCount; ++key) {
        EXPECT_EQ(KeyOfIsoCode(IsoCodeOf(key)), key) << IsoCodeOf(key);
    }
    EXPECT_EQ(IsoCodeOf(FindLangKey("NORWEGIAN")), "nb");
    EXPECT_EQ(KeyOfIsoCode("nn"), FindLangKey("NORWEGIAN"));
    EXPECT_EQ(KeyOfIsoCode("pt_BR"), FindLangKey("PORTUGUESE"));
    EXPECT_EQ(KeyOfIsoCode("sr@latin"), FindLangKey("SERBIAN"));
    EXPECT_EQ(KeyOfIsoCode("DE"), FindLangKey("GERMAN"));
    EXPECT_EQ(KeyOfIsoCode("xx"), -1);
}

// The languages line records -O and --resources for the commands after
// extract; a line of string tables alone is what it was before either.
TEST(DatLanguages, TheLanguagesLineReadsBackItsChoice) {
    const auto kinds = [](std::string_view list) { return res::ParseResourceKinds(list).value(); };
    const int english = FindLangKey("ENGLISH");
    struct Row {
        std::optional<std::uint16_t> original;
        res::ResourceKinds kinds;
        int fallback;
        std::string line;
    };
    const std::vector<Row> rows = {
        {std::nullopt, res::ResourceKinds::StringsOnly(), -1,
         ";@ languages: ENGLISH (ENGLISH,GERMAN)"},
        {0x0409, kinds("strings"), -1, ";@ languages: -O0x0409 ENGLISH (ENGLISH,GERMAN)"},
        {std::nullopt, kinds("MENUS,strings"), -1,
         ";@ languages: --resources=strings,menus ENGLISH (ENGLISH,GERMAN)"},
        {0x0007, kinds("all"), -1,
         ";@ languages: -O0x0007 --resources=all ENGLISH (ENGLISH,GERMAN)"},
        {std::nullopt, kinds("dialogs,version,messages,menus"), -1,
         ";@ languages: --resources=menus,dialogs,version,messages ENGLISH (ENGLISH,GERMAN)"},
        {std::nullopt, res::ResourceKinds::StringsOnly(), english,
         ";@ languages: --fallback=ENGLISH ENGLISH (ENGLISH,GERMAN)"},
        {0x0409, kinds("menus"), english,
         ";@ languages: -O0x0409 --resources=menus --fallback=ENGLISH ENGLISH (ENGLISH,GERMAN)"},
    };
    for (const Row& row : rows) {
        LanguageChoice choice;
        choice.neutral = FindLangKey("ENGLISH");
        choice.dests = ParseDestList("(ENGLISH,GERMAN)").value();
        choice.original = row.original;
        choice.kinds = row.kinds;
        choice.fallback = row.fallback;
        EXPECT_EQ(LanguagesLine(choice), row.line);
        const auto read = ReadLanguagesLine(row.line);
        ASSERT_TRUE(read.has_value() && read->ok()) << row.line;
        EXPECT_EQ((*read)->kinds, row.kinds) << row.line;
        EXPECT_EQ((*read)->original, row.original) << row.line;
        EXPECT_EQ((*read)->fallback, row.fallback) << row.line;
        EXPECT_EQ(DescribeChoice(**read), "ENGLISH (ENGLISH,GERMAN)") << row.line;
    }
    // The options in the other order, as a person may write them.
    const auto swapped =
        ReadLanguagesLine(";@ languages: --resources=menus -O0x0409 ENGLISH (GERMAN)");
    ASSERT_TRUE(swapped.has_value() && swapped->ok());
    EXPECT_EQ((*swapped)->kinds, kinds("menus"));
    EXPECT_EQ((*swapped)->OriginalLangId(), 0x0409);
    // korva takes its options in any order, but all before the languages.
    EXPECT_EQ(KorvaArguments(**swapped), "-O0x0409 --resources=menus ENGLISH (GERMAN)");
    for (const std::string line : {";@ languages: --resources=menus,icons ENGLISH (GERMAN)",
                                   ";@ languages: --fallback=KLINGON ENGLISH (GERMAN)",
                                   ";@ languages: --fallback=FRENCH ENGLISH (GERMAN)",
                                   ";@ languages: --fallback=GERMAN ENGLISH (ENGLISH,GERMAN)"}) {
        const auto wrong = ReadLanguagesLine(line);
        ASSERT_TRUE(wrong.has_value()) << line;
        EXPECT_FALSE(wrong->ok()) << line;
    }
}

// What a command works with: the languages given, else the recorded ones;
// -O, --resources and --fallback as given, else as recorded, whichever
// languages it takes.
TEST(DatLanguages, CommandsTakeUpWhatTheLanguagesLineRecords) {
    const LanguageChoice recorded =
        ReadLanguagesLine(";@ languages: -O0x0409 --resources=menus --fallback=GERMAN ENGLISH "
                          "(FRENCH,GERMAN)")
            ->value();
    LanguageChoice given;
    given.neutral = FindLangKey("ENGLISH");
    given.dests = ParseDestList("(GERMAN,RUSSIAN)").value();
    const int russian = FindLangKey("RUSSIAN");
    struct Row {
        bool languagesGiven;
        ChoiceOptions options;
        std::string arguments; // empty: refused
    };
    const std::vector<Row> rows = {
        {false, {}, "-O0x0409 --resources=menus --fallback=GERMAN ENGLISH (FRENCH,GERMAN)"},
        {true, {}, "-O0x0409 --resources=menus --fallback=GERMAN ENGLISH (GERMAN,RUSSIAN)"},
        {true,
         {.original = 0x0007, .resources = res::ResourceKinds::StringsOnly(), .fallback = russian},
         "-O0x0007 --fallback=RUSSIAN ENGLISH (GERMAN,RUSSIAN)"},
        {false, {.original = std::nullopt, .resources = std::nullopt, .fallback = russian}, ""},
    };
    for (const Row& row : rows) {
        const Result<std::optional<LanguageChoice>> choice = CommandChoice(
            row.languagesGiven ? std::optional(given) : std::nullopt, recorded, row.options);
        if (row.arguments.empty()) {
            ASSERT_FALSE(choice.ok());
            EXPECT_EQ(choice.error().message,
                      "--fallback=RUSSIAN: RUSSIAN is not one of the destinations");
            continue;
        }
        ASSERT_TRUE(choice.ok() && choice->has_value()) << row.arguments;
        EXPECT_EQ(KorvaArguments(**choice), row.arguments);
    }
    // A recorded fallback that the languages given do not take is named as
    // recorded.
    given.dests = ParseDestList("(FRENCH)").value();
    const auto misfit = CommandChoice(given, recorded, {});
    ASSERT_FALSE(misfit.ok());
    EXPECT_NE(misfit.error().message.find("the languages line records --fallback"),
              std::string::npos)
        << misfit.error().message;
    EXPECT_FALSE(CommandChoice(std::nullopt, std::nullopt, {}).value().has_value());
}

TEST(DatLanguages, ResourcesOnTheCommandLineAreTheUnionOfEveryList) {
    const OptionSet allowed{
        .output = false, .original = true, .cp1252 = false, .resources = true, .fallback = true};
    const auto parse = [&](const std::vector<std::string>& args) {
        return ParseCommandArgs(args, allowed);
    };
    const Result<CommandArgs> union_ =
        parse({"--resources=Menus", "ENGLISH", "--RESOURCES=x", "--resources=DIALOGS,menus"});
    ASSERT_FALSE(union_.ok()); // the option's name is as written, its words in any case
    const Result<CommandArgs> both =
        parse({"--resources=Menus", "ENGLISH", "--resources=DIALOGS,menus"});
    ASSERT_TRUE(both.ok()) << both.error().message;
    EXPECT_EQ(both->resources, res::ParseResourceKinds("menus,dialogs").value());
    EXPECT_EQ(both->positional, std::vector<std::string>{"ENGLISH"});
    EXPECT_FALSE(parse({"ENGLISH"})->resources.has_value());
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"--resources=", "empty"},
        {"--resources=menus,", "an empty word"},
        {"--resources=menus,,dialogs", "an empty word"},
        {"--resources=icons", "unknown resource type \"icons\""},
        {"--resources", "--resources=menus,dialogs"},
        {"--fallback=KLINGON", "--fallback: 'KLINGON' is not a language key or tag"},
        {"--fallback", "--fallback=ENGLISH"},
    };
    for (const auto& [arg, reason] : refused) {
        const Result<CommandArgs> parsed = parse({arg, "ENGLISH"});
        ASSERT_FALSE(parsed.ok()) << arg;
        EXPECT_NE(parsed.error().message.find(reason), std::string::npos)
            << arg << ": " << parsed.error().message;
    }
    // A subcommand that does not take it refuses it as any unknown option.
    EXPECT_FALSE(ParseCommandArgs({"--resources=all"}, OptionSet{}).ok());
}

} // namespace
} // namespace korva::dat
