#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "strtables/string_tables.h"
#include "support/fixtures.h"
#include "support/synthetic_image.h"

namespace korva {
namespace {

// Menus and a dialog in the neutral language, one menu only in German and
// one in both: what korva reads of each depends on the kinds chosen.
const char* const kScript = R"(LANGUAGE 0, 0
101 MENU
BEGIN
  POPUP "&File"
  BEGIN
    MENUITEM "&Open", 1
    MENUITEM SEPARATOR
    MENUITEM "", 3
  END
END
200 DIALOG 0, 0, 100, 40
CAPTION "Print"
BEGIN
  LTEXT "Pages:", 10, 4, 4, 40, 8
END
103 MENU
BEGIN
  MENUITEM "Both", 1
END
LANGUAGE 7, 0
102 MENU
BEGIN
  MENUITEM "Nur deutsch", 1
END
103 MENU
BEGIN
  MENUITEM "Beide", 1
END
)";

struct Record {
    std::string name; // noun and display name
    std::int32_t langCount;
    bool parsed;
    std::vector<std::string> texts;
};

std::vector<Record> RecordsOf(const std::vector<TResInfo>& blocks) {
    std::vector<Record> out;
    for (const TResInfo& block : blocks) {
        Record r{std::string(ResourceNoun(block.Kind)) + " " + block.DisplayName,
                 block.LangCount,
                 block.Template != nullptr,
                 {}};
        for (std::size_t i = 0; i < block.Strings.Count(); ++i) {
            r.texts.emplace_back(block.Strings.Text(i));
            EXPECT_EQ(block.Strings.GetObject(i), 0); // the copy's language
        }
        out.push_back(std::move(r));
    }
    return out;
}

bool operator==(const Record& a, const Record& b) {
    return a.name == b.name && a.langCount == b.langCount && a.parsed == b.parsed &&
           a.texts == b.texts;
}

void PrintTo(const Record& r, std::ostream* os) {
    *os << r.name << " langs " << r.langCount << (r.parsed ? " parsed" : "");
    for (const std::string& t : r.texts) {
        *os << " [" << t << "]";
    }
}

TEST(ReadTextResources, EachKindChosenIsReadAndOnlyTranslatableCopiesAreParsed) {
    const std::string path = test::BuildFixture(test::Toolchain::LldX64, "ui", kScript);
    const Record file{"menu #101", 1, true, {"&File", "&Open", ""}};
    const Record german{"menu #102", 1, false, {}};
    const Record both{"menu #103", 2, false, {}};
    const Record print{"dialog #200", 1, true, {"Print", "Pages:"}};
    struct Case {
        std::string kinds;
        std::vector<Record> records; // empty: refused with `error`
        std::string error;
    };
    const std::vector<Case> cases = {
        {"menus", {file, german, both}, ""},
        {"dialogs,menus", {file, german, both, print}, ""},
        {"all", {file, german, both, print}, ""},
        // No string tables: refused only when they are all that was asked for.
        {"strings", {}, "no string-table resources"},
        {"messages,version", {}, "no resources of the kinds chosen (version,messages)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kinds);
        StringTableOptions options;
        options.kinds = *res::ParseResourceKinds(c.kinds);
        const Result<std::vector<TResInfo>> blocks = ReadStringTables(path, options);
        if (c.records.empty()) {
            ASSERT_FALSE(blocks);
            EXPECT_EQ(blocks.error().message, path + ": " + c.error);
            continue;
        }
        ASSERT_TRUE(blocks) << blocks.error().message;
        EXPECT_EQ(RecordsOf(*blocks), c.records);
    }
}

TEST(ReadTextResources, AMalformedChosenResourceFailsTheReadingWithItsName) {
    // A MENUEX header whose item offset points past its data.
    const test::ByteVector menu = {0x01, 0x00, 0x40, 0x00, 0, 0, 0, 0};
    test::SyntheticBlock neutral{true, 7, u"", {{0, menu}}};
    test::SyntheticBlock german{true, 8, u"", {{7, menu}}};
    const std::string path = test::WriteScratchFile(
        "bad_menu.dll", test::BuildSyntheticImage(test::StringTableSection({neutral}, 4)).bytes);
    StringTableOptions options;
    options.kinds = *res::ParseResourceKinds("menus");
    const Result<std::vector<TResInfo>> blocks = ReadStringTables(path, options);
    ASSERT_FALSE(blocks);
    EXPECT_EQ(blocks.error().message.rfind(path + ": menu #7: ", 0), 0U) << blocks.error().message;
    // A copy korva leaves alone is not read, so it cannot fail the run.
    const std::string other = test::WriteScratchFile(
        "german_menu.dll", test::BuildSyntheticImage(test::StringTableSection({german}, 4)).bytes);
    const Result<std::vector<TResInfo>> left = ReadStringTables(other, options);
    ASSERT_TRUE(left) << left.error().message;
    ASSERT_EQ(left->size(), 1U);
    EXPECT_EQ(left->front().Template, nullptr);
}

TEST(LanguagesFoundHint, NamesTheIdsAndTheOptionOnlyWhenNothingIsInTheNeutralLanguage) {
    const auto record = [](std::vector<std::uint16_t> languages, bool neutral) {
        TResInfo r;
        r.LangCount = static_cast<std::int32_t>(languages.size());
        r.Languages = std::move(languages);
        r.HasOrigNeutral = neutral;
        return r;
    };
    struct Case {
        std::vector<TResInfo> records;
        std::uint16_t orig;
        std::string hint;
    };
    const std::string head = "no resource is in the language id ";
    const std::vector<Case> cases = {
        {{record({0x0409}, false), record({0x0409}, false)},
         0,
         head + "0x0000 looked for (-O); the program's are in 0x0409 (en-US, a sublanguage of "
                "ENGLISH): -Oen-US takes them"},
        {{record({0x0009}, false), record({0x0404}, false)},
         0x0409,
         head + "0x0409 looked for (-O); the program's are in 0x0009 (en, key ENGLISH), 0x0404 "
                "(zh-TW, a sublanguage of CHINESE): -OENGLISH or -Ozh-TW takes them"},
        // One resource in the language looked for: the run has texts.
        {{record({0x0409}, false), record({0x0000}, true)}, 0, ""},
        // Copies in several languages were translated before: no -O helps.
        {{record({0x0007, 0x0009}, false)}, 0, ""},
        {{}, 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguagesFoundHint(c.records, c.orig), c.hint);
    }
}

} // namespace
} // namespace korva
