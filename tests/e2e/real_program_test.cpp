// The whole job on real programs: mingw-w64 and clang/lld-link builds for x64
// and x86, translated by the built korva, then read back by llvm-readobj and
// pefile and run under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "e2e/programs.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::e2e {
namespace {

// One text of the program and its translations, in Windows-1252.
struct Entry {
    std::uint32_t id;
    std::string english;
    std::string french; // empty: the data file gives "", a translation that is empty
    std::string german;
};

const std::vector<Entry>& Catalogue() {
    static const std::vector<Entry> entries = [] {
        // Block 1: gaps at 0 and 2, a tab, a character outside ASCII.
        std::vector<Entry> e{
            {1, "&Open...", "&Ouvrir...", "&\326ffnen..."},
            {3, "Save &as...", "Enregistrer &sous...", "Speichern &unter..."},
            {4, "&Save\tCtrl+S", "&Enregistrer\tCtrl+S", "&Speichern\tStrg+S"},
        };
        // Block 2: all 16 slots, long enough that three languages need more
        // room than the resource section has, so that the image must grow.
        for (std::uint32_t i = 0; i < 16; ++i) {
            const std::string n = std::to_string(i);
            e.push_back({16 + i, "Line " + n + " of the help text, long enough to grow the table",
                         "Ligne " + n + " du texte d'aide, assez longue pour agrandir la table",
                         "Zeile " + n + " des Hilfetexts, lang genug f\xFCr eine gr\xF6\xDF" +
                             "ere Tabelle"});
        }
        // Block 7: the euro sign (byte 0x80, U+20AC), and a French
        // translation that is present but empty.
        e.push_back({96, "Total: 5 \x80", "Total : 5 \x80", "Summe: 5 \x80"});
        e.push_back({98, "(none)", "", "(keine)"});
        return e;
    }();
    return entries;
}

const std::vector<std::uint32_t> kTranslatedBlocks{1, 2, 7};

// The destinations, with the id each is written under, in the order of the
// key table, which is the order the tool writes them in.
struct Destination {
    const char* key;
    std::uint32_t language;
    std::string Entry::*text;
};
const Destination kDestinations[] = {
    {"ENGLISH", 0x09, &Entry::english},
    {"FRENCH", 0x0C, &Entry::french},
    {"GERMAN", 0x07, &Entry::german},
};

std::string DataFile() {
    std::vector<std::string> lines{"; Translations for the end-to-end tests"};
    for (const Entry& entry : Catalogue()) {
        lines.emplace_back("(");
        for (const Destination& d : kDestinations) {
            lines.push_back(std::string(d.key) + "," + DataFileText(entry.*d.text));
        }
        lines.emplace_back(")");
    }
    // Block 8 is already language dependent; knowing its text changes nothing.
    lines.insert(lines.end(), {"(", "ENGLISH,\"Left alone\"", "GERMAN,\"Bleibt so\"", ")"});
    return CrLfLines(lines);
}

// A 1x1 icon, 32 bits per pixel.
std::string Icon() {
    struct Field {
        std::uint32_t value;
        int size;
    };
    // clang-format off
    static const Field fields[] = {
        // ICONDIR: reserved, type 1 (icon), one image.
        {0, 2}, {1, 2}, {1, 2},
        // ICONDIRENTRY: 1x1, no palette, reserved, 1 plane, 32 bits, 48
        // bytes of image at offset 22.
        {1, 1}, {1, 1}, {0, 1}, {0, 1}, {1, 2}, {32, 2}, {48, 4}, {22, 4},
        // BITMAPINFOHEADER: 40 bytes, 1 wide, 2 high (colour and mask), 1
        // plane, 32 bits, uncompressed, 8 bytes of image, no palette.
        {40, 4}, {1, 4}, {2, 4}, {1, 2}, {32, 2}, {0, 4}, {8, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4},
        // The pixel, then the AND mask's one row.
        {0xFF3366CC, 4}, {0, 4}};
    // clang-format on
    std::string icon;
    for (const Field& field : fields) {
        for (int i = 0; i < field.size; ++i) {
            icon += static_cast<char>((field.value >> (8 * i)) & 0xFF);
        }
    }
    return icon;
}

ProgramSources Sources() {
    std::string rc = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n";
    for (const Entry& entry : Catalogue()) {
        rc += "  " + std::to_string(entry.id) + " " + RcString(entry.english) + "\n";
    }
    rc += "  112 L\"Left alone\"\nEND\n";
    rc += R"RC(
LANGUAGE 7, 1
STRINGTABLE
BEGIN
  113 L"Bleibt so"
END

LANGUAGE 9, 1
1 ICON "app.ico"
CONFIG RCDATA { "key=value", 1, 2L }
1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 1,2,3,4
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "FileDescription", "End-to-end test program"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
)RC";
    return {rc, {{"app.ico", Icon()}}};
}

// The texts of one block in one destination, slot 0 up to its last text.
std::vector<std::string> BlockTexts(std::uint32_t block, const Destination& d) {
    std::vector<std::string> texts;
    for (const Entry& entry : Catalogue()) {
        if (entry.id / 16 + 1 == block) {
            texts.resize(entry.id % 16 + 1);
            texts[entry.id % 16] = entry.*d.text;
        }
    }
    return texts;
}

Bytes Overlay() {
    // The same bytes in every run. NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp)
    std::mt19937 random(20240607);
    Bytes bytes(4099); // not a multiple of any alignment
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// What pefile, a second independent reader, makes of the checksum.
std::string PefileChecksum(const std::string& path) {
    static const char* const script = R"PY(
import pefile, sys
pe = pefile.PE(sys.argv[1])
c = pe.OPTIONAL_HEADER.CheckSum
print('zero' if c == 0 else ('right' if c == pe.generate_checksum() else 'wrong'))
)PY";
    // The Debian package installs into the system interpreter.
    return test::RunOrThrow("/usr/bin/python3 -c " + test::ShellQuote(script) + " " +
                            test::ShellQuote(path));
}

struct Variant {
    Builder builder;
    bool overlay;
};

// Names, not bytes, in test listings.
void PrintTo(const Variant& v, std::ostream* os) {
    *os << BuilderName(v.builder) << (v.overlay ? " with overlay" : "");
}

class RealProgram : public testing::TestWithParam<Variant> {
protected:
    void SetUp() override {
        original_ = BuildProgram(GetParam().builder, Sources());
        target_ = ws_.Copy(original_, "app.exe");
        if (GetParam().overlay) {
            const Bytes overlay = Overlay();
            std::ofstream out(target_, std::ios::binary | std::ios::app);
            out.write(reinterpret_cast<const char*>(overlay.data()),
                      static_cast<std::streamsize>(overlay.size()));
            ASSERT_TRUE(out.flush());
        }
        korva_.WriteDataFile(DataFile());
    }

    test::ProcessResult Translate() const {
        return korva_.Run({"ENGLISH", "(GERMAN,ENGLISH,FRENCH)", target_});
    }

    test::Workspace ws_;
    Installed korva_{ws_};
    std::string original_;
    std::string target_;
};

TEST_P(RealProgram, EveryBlockIsRewrittenPerLanguageAndEverythingElseIsKept) {
    const test::ProcessResult run = Translate();
    // 5 + 16 + 3 slots, in two destinations other than the neutral one;
    // gaps and the empty French text count as found.
    EXPECT_EQ(run.output,
              Output({"Translating block #1", "Translating block #2", "Translating block #7",
                      "Block #8 is already language dependent. Skipped",
                      "Translations found          : 48", "Source strings missing      : 0",
                      "Translation strings missing : 0", "Finished"}));
    ASSERT_EQ(run.exitCode, 0);

    const auto originalLeaves = Leaves(original_);
    const auto leaves = Leaves(target_);

    // Exactly one resource per translated block and language, holding the
    // texts and the closing word; the neutral copies are gone; block 8 keeps
    // both its copies as they were.
    StringTables expected;
    for (const std::uint32_t block : kTranslatedBlocks) {
        for (const Destination& d : kDestinations) {
            expected[{block, d.language}] = StringTableData(BlockTexts(block, d));
        }
    }
    const StringTables originalTables = StringTablesOf(originalLeaves);
    ASSERT_EQ(originalTables.size(), 5u) << "blocks 1, 2, 7 and 8 (twice) in the original";
    expected[{8, 0}] = originalTables.at({8, 0});
    expected[{8, 0x407}] = originalTables.at({8, 0x407});
    EXPECT_EQ(StringTablesOf(leaves), expected);
    // Once by hand, not through the helper that built the expectation:
    // English block 1 starts with a gap, then "&Open...".
    const Bytes english = StringTablesOf(leaves)[{1, 9}];
    ASSERT_GE(english.size(), 20u);
    EXPECT_EQ(Bytes(english.begin(), english.begin() + 20),
              (Bytes{0, 0, 8, 0, '&', 0, 'O', 0, 'p', 0, 'e', 0, 'n', 0, '.', 0, '.', 0, '.', 0}));

    // Icon, icon group, version and the named RCDATA: unchanged, headers
    // included.
    const auto others = OtherResources(originalLeaves);
    EXPECT_EQ(others.size(), 4u);
    const auto otherNow = OtherResources(leaves);
    ASSERT_EQ(otherNow.size(), others.size());
    for (const auto& [key, leaf] : others) {
        const auto it = otherNow.find(key);
        ASSERT_NE(it, otherNow.end()) << std::get<0>(key) << "/" << std::get<1>(key);
        EXPECT_TRUE(SameResource(it->second, leaf)) << std::get<0>(key) << "/" << std::get<1>(key);
    }

    // The data after the last section is still there, at the very end; the
    // symbol table (mingw keeps one) still reads the same, so its pointer
    // followed it; the checksum is right where there was one.
    if (GetParam().overlay) {
        const Bytes overlay = Overlay();
        const Bytes after = test::ReadWholeFile(target_);
        ASSERT_GT(after.size(), overlay.size());
        EXPECT_TRUE(std::equal(overlay.begin(), overlay.end(),
                               after.end() - static_cast<std::ptrdiff_t>(overlay.size())));
    }
    const std::string symbols = "llvm-readobj --symbols ";
    auto symbolsOf = [&symbols](const std::string& path) {
        const std::string listing = test::RunOrThrow(symbols + test::ShellQuote(path));
        return listing.substr(listing.find("Symbols ["));
    };
    EXPECT_EQ(symbolsOf(target_), symbolsOf(original_));
    EXPECT_EQ(PefileChecksum(target_), PefileChecksum(original_));
    EXPECT_NE(PefileChecksum(target_), "wrong\n");
}

TEST_P(RealProgram, ASecondRunFindsEveryBlockLanguageDependentAndChangesNothing) {
    ASSERT_EQ(Translate().exitCode, 0);
    const Bytes translated = test::ReadWholeFile(target_);
    const test::ProcessResult again = Translate();
    EXPECT_EQ(again.output,
              Output({"Block #1 is already language dependent. Skipped",
                      "Block #2 is already language dependent. Skipped",
                      "Block #7 is already language dependent. Skipped",
                      "Block #8 is already language dependent. Skipped",
                      "Translations found          : 0", "Source strings missing      : 0",
                      "Translation strings missing : 0", "Nothing translated. Abort."}));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(test::ReadWholeFile(target_), translated);
    EXPECT_EQ(ws_.Listing(), (std::set<std::string>{"KORVA.DAT", "app.exe", "korva"}));
}

// The loader is the reader that counts: the rewritten program finds each
// block in each language through FindResourceExW.
TEST_P(RealProgram, TheRewrittenProgramShowsItsTranslationsUnderWine) {
    ASSERT_EQ(Translate().exitCode, 0);
    std::vector<std::string> queries;
    std::string expected;
    for (const std::uint32_t block : kTranslatedBlocks) {
        for (const Destination& d : kDestinations) {
            queries.push_back(Hex(d.language, 4) + ":" + Hex(block, 4));
            const std::vector<std::string> texts = BlockTexts(block, d);
            expected += Shown(block, d.language, StringTableData(texts).size(), Utf16(texts));
        }
    }
    // Block 8 as the compiler wrote it: 16 length words and the texts.
    queries.insert(queries.end(), {"0:8", "407:8"});
    expected += Shown(8, 0, std::size_t{2} * (16 + 10), {u"Left alone"});
    expected += Shown(8, 0x407, std::size_t{2} * (16 + 9), {u"", u"Bleibt so"});

    const test::ProcessResult run = test::RunUnderWine(KORVA_WINEPREFIX, target_, queries);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Toolchains, RealProgram,
    testing::Values(Variant{Builder::MingwX64, true}, Variant{Builder::MingwX86, false},
                    Variant{Builder::ClangX64, false}, Variant{Builder::ClangX86, true}),
    [](const auto& instance) {
        return BuilderName(instance.param.builder) + (instance.param.overlay ? "_overlay" : "");
    });

} // namespace
} // namespace korva::e2e
