#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "langkeys/language_tags.h"
#include "support/process.h"

namespace korva {
namespace {

// The rows of a table as the script writes it, without its comment lines.
std::string Rows(const std::string& text) {
    std::istringstream in(text);
    std::string rows;
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with('#')) {
            rows += line + '\n';
        }
    }
    return rows;
}

// The committed table is what the script makes of the Wine installed here,
// and the built table is the committed one.
TEST(LanguageTagSource, TheCommittedTableIsWhatWineGives) {
    if (!std::filesystem::exists(KORVA_WINE_LOCALE_NLS)) {
        GTEST_SKIP() << KORVA_WINE_LOCALE_NLS << " is not installed (Debian: libwine)";
    }
    const test::ProcessResult made =
        test::RunProgram("python3", {KORVA_LANGUAGE_TAGS_SCRIPT, KORVA_WINE_LOCALE_NLS});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::ifstream committed(KORVA_LANGUAGE_TAGS_TSV);
    ASSERT_TRUE(committed) << KORVA_LANGUAGE_TAGS_TSV;
    std::ostringstream text;
    text << committed.rdbuf();
    EXPECT_EQ(Rows(made.output), Rows(text.str()));

    std::string built;
    for (const LanguageTagRow& row : LanguageTags()) {
        char id[8];
        std::snprintf(id, sizeof id, "0x%04X", row.LangId);
        built += std::string(row.Tag) + '\t' + id + '\n';
    }
    EXPECT_EQ(built, Rows(made.output));
}

} // namespace
} // namespace korva
