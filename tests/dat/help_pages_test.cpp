// The help pages the program prints are its pages in src/dat/help as they
// are written, without the lines that lay out the manual. The build takes
// them in through a CMake script; this reads the files without it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "dat/subcommands.h"

namespace korva::dat {
namespace {

// The page as --help should print it: each line but those that begin with
// a dot, with the line ends of the system that checked it out made LF.
std::string PageWithoutLayout(const std::string& name) {
    std::ifstream file(std::string(KORVA_DAT_HELP_DIR) + "/" + name + ".txt", std::ios::binary);
    EXPECT_TRUE(file) << name;
    std::string page;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.starts_with('.')) {
            page += line + '\n';
        }
    }
    return page;
}

TEST(HelpPages, AreThePagesAsWritten) {
    struct Row {
        const char* command;
        const char* page;
    };
    const Row rows[] = {
        {"", "korva-dat"},           {"extract", "extract"},     {"update", "update"},
        {"check", "check"},          {"export-po", "export-po"}, {"import-po", "import-po"},
        {"frobnicate", "korva-dat"}, {"Extract", "korva-dat"},
    };
    for (const Row& row : rows) {
        const std::string expected = PageWithoutLayout(row.page);
        ASSERT_GT(expected.size(), 200U) << row.page;
        EXPECT_EQ(HelpText(row.command), expected) << "command '" << row.command << "'";
    }
}

} // namespace
} // namespace korva::dat
