// A program whose code reads a constant from a section that lies after its
// resources, as lld-link lays out a read-only discardable section
// (/section:.zz,RD). x64 code reads it RIP-relatively, so no base
// relocation and no header records the reference: translated, the program
// reads the constant only if that section kept its address.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
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

// Prints "get=N" and then hands over to show_strings.c (built with its entry
// point renamed), which prints the blocks asked for on the command line.
const char* const kProgram = R"C(
typedef void *HANDLE;
typedef unsigned long DWORD;
typedef int BOOL;
__declspec(dllimport) __stdcall HANDLE GetStdHandle(DWORD which);
__declspec(dllimport) __stdcall BOOL WriteFile(HANDLE file, const void *data, DWORD size,
                                               DWORD *written, void *overlapped);
void show_strings_main(void);

/* A section of its own, discardable and read-only, that lld-link puts after
   .rsrc. */
__asm__(".section .zz,\"drD\"\n.globl zz_value\n.p2align 2\nzz_value:\n.long 7\n.text\n");
extern const volatile int zz_value;

__attribute__((noinline)) int get(void) { return zz_value; }

void mainCRTStartup(void) {
    char line[16] = "get=";
    char digits[12];
    unsigned value = (unsigned)get();
    int n = 0;
    int used = 4;
    DWORD written = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) line[used++] = digits[--n];
    line[used++] = '\n';
    WriteFile(GetStdHandle((DWORD)-11), line, (DWORD)used, &written, 0);
    show_strings_main();
}
)C";

struct Destination {
    const char* key;
    std::uint32_t language;
};
const Destination kDestinations[] = {{"ENGLISH", 0x09}, {"FRENCH", 0x0C}, {"GERMAN", 0x07}};

// Block 2 (ids 16 to 31) in full, in one language: long enough that three copies do not
// fit in the resource section's 512 bytes.
std::vector<std::string> Texts(const std::string& key) {
    std::vector<std::string> texts;
    for (int i = 0; i < 16; ++i) {
        texts.push_back(key + " text " + std::to_string(i) + " of the block, long enough to grow");
    }
    return texts;
}

std::string ResourceScript() {
    std::string rc = "LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n";
    const std::vector<std::string> neutral = Texts("ENGLISH");
    for (std::size_t i = 0; i < neutral.size(); ++i) {
        rc += "  " + std::to_string(16 + i) + " " + RcString(neutral[i]) + "\n";
    }
    return rc + "END\n";
}

std::string DataFile() {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < 16; ++i) {
        lines.emplace_back("(");
        for (const Destination& d : kDestinations) {
            lines.push_back(std::string(d.key) + "," + DataFileText(Texts(d.key)[i]));
        }
        lines.emplace_back(")");
    }
    return CrLfLines(lines);
}

// Builds app.exe in `dir` with clang, llvm-rc and lld-link for x64.
std::string BuildProgram(const std::filesystem::path& dir) {
    using programs_detail::WriteText;
    std::filesystem::create_directories(dir);
    WriteText(dir / "zz_main.c", kProgram);
    WriteText(dir / "app.rc", ResourceScript());
    std::filesystem::copy_file(KORVA_E2E_PROGRAM_SOURCE, dir / "show_strings.c");
    for (const char* dll : {"kernel32", "user32"}) {
        WriteText(dir / (std::string(dll) + ".def"), programs_detail::ImportDef(dll, false));
    }
    const std::string compile = "clang --target=x86_64-pc-windows-msvc -O1 -ffreestanding "
                                "-fno-builtin -fno-stack-protector ";
    test::RunOrThrow(
        "cd " + test::ShellQuote(dir.string()) +
        " && llvm-dlltool -d kernel32.def -l kernel32.lib -m i386:x86-64"
        " && llvm-dlltool -d user32.def -l user32.lib -m i386:x86-64"
        " && llvm-rc /fo app.res app.rc && " +
        compile + "-DmainCRTStartup=show_strings_main -c show_strings.c -o show_strings.obj && " +
        compile + "-c zz_main.c -o zz_main.obj" +
        " && lld-link /nologo /machine:x64 /subsystem:console /nodefaultlib /out:app.exe"
        " zz_main.obj show_strings.obj app.res kernel32.lib user32.lib /section:.zz,RD");
    return (dir / "app.exe").string();
}

// What llvm-readobj shows of a section.
struct SectionView {
    std::uint64_t virtualAddress = 0;
    std::uint64_t virtualSize = 0;
    std::uint64_t rawSize = 0;
    std::uint64_t rawPointer = 0;
};

struct Layout {
    std::vector<std::string> order; // section names in table order
    std::map<std::string, SectionView> sections;
    std::uint64_t resourceRva = 0;
};

Layout ReadLayout(const std::string& path) {
    std::istringstream lines(
        test::RunOrThrow("llvm-readobj --file-headers --sections " + test::ShellQuote(path)));
    Layout layout;
    SectionView* current = nullptr;
    std::string line;
    const auto number = [&line](const char* field) -> std::optional<std::uint64_t> {
        const std::size_t at = line.find(field);
        if (at == std::string::npos) {
            return std::nullopt;
        }
        return std::stoull(line.substr(at + std::string(field).size()), nullptr, 0);
    };
    while (std::getline(lines, line)) {
        if (const std::size_t at = line.find("Name: "); at != std::string::npos) {
            const std::string rest = line.substr(at + 6);
            const std::string name = rest.substr(0, rest.find(' '));
            layout.order.push_back(name);
            current = &layout.sections[name];
        } else if (const auto rva = number("ResourceTableRVA: ")) {
            layout.resourceRva = *rva;
        } else if (current == nullptr) {
            continue;
        } else if (const auto va = number("VirtualAddress: ")) {
            current->virtualAddress = *va;
        } else if (const auto vs = number("VirtualSize: ")) {
            current->virtualSize = *vs;
        } else if (const auto raw = number("RawDataSize: ")) {
            current->rawSize = *raw;
        } else if (const auto pointer = number("PointerToRawData: ")) {
            current->rawPointer = *pointer;
        }
    }
    return layout;
}

Bytes RawBytes(const std::string& path, const SectionView& section) {
    const Bytes file = test::ReadWholeFile(path);
    if (section.rawPointer + section.rawSize > file.size()) {
        throw std::runtime_error("section data past the end of " + path);
    }
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(section.rawPointer);
    return Bytes(begin, begin + static_cast<std::ptrdiff_t>(section.rawSize));
}

TEST(PlacementProgram, ASectionThatCodeReadsAfterTheResourcesKeepsItsAddress) {
    test::Workspace ws;
    const std::string built = BuildProgram(ws.path() / "build");
    const std::string target = ws.Copy(built, "app.exe");
    const Installed korva(ws);
    korva.WriteDataFile(DataFile());

    // The case meant here: .zz follows the resources in memory and in the
    // file, and the program reads 7 from it.
    const Layout before = ReadLayout(target);
    ASSERT_EQ(before.sections.count(".zz"), 1u);
    ASSERT_EQ(before.sections.count(".rsrc"), 1u);
    const SectionView zz = before.sections.at(".zz");
    const SectionView rsrc = before.sections.at(".rsrc");
    ASSERT_GT(zz.virtualAddress, rsrc.virtualAddress);
    ASSERT_GT(zz.rawPointer, rsrc.rawPointer);
    ASSERT_EQ(before.resourceRva, rsrc.virtualAddress);
    std::vector<std::string> queries;
    for (const Destination& d : kDestinations) {
        queries.push_back(Hex(d.language, 1) + ":2");
    }
    const test::ProcessResult original = test::RunUnderWine(KORVA_WINEPREFIX, target, queries);
    ASSERT_EQ(original.exitCode, 0);
    ASSERT_EQ(original.output.substr(0, 6), "get=7\n");

    const test::ProcessResult run = korva.Run({"ENGLISH", "(ENGLISH,FRENCH,GERMAN)", target});
    EXPECT_EQ(run.output, Output({"Translating block #2", "Translations found          : 32",
                                  "Source strings missing      : 0",
                                  "Translation strings missing : 0", "Finished"}));
    ASSERT_EQ(run.exitCode, 0);

    // .zz where it was, with its bytes; the resources in a section added
    // after every other one.
    const Layout after = ReadLayout(target);
    ASSERT_EQ(after.sections.count(".zz"), 1u);
    const SectionView zzNow = after.sections.at(".zz");
    EXPECT_EQ(zzNow.virtualAddress, zz.virtualAddress);
    EXPECT_EQ(zzNow.virtualSize, zz.virtualSize);
    EXPECT_EQ(zzNow.rawPointer, zz.rawPointer);
    EXPECT_EQ(RawBytes(target, zzNow), RawBytes(built, zz));
    ASSERT_EQ(after.order.size(), before.order.size() + 1);
    const SectionView added = after.sections.at(after.order.back());
    EXPECT_EQ(after.resourceRva, added.virtualAddress);
    EXPECT_GT(added.virtualAddress, zz.virtualAddress);

    std::string expected = "get=7\n";
    for (const Destination& d : kDestinations) {
        const std::vector<std::string> texts = Texts(d.key);
        expected += Shown(2, d.language, StringTableData(Utf16(texts)).size(), Utf16(texts));
    }
    const test::ProcessResult translated = test::RunUnderWine(KORVA_WINEPREFIX, target, queries);
    EXPECT_EQ(translated.exitCode, 0);
    EXPECT_EQ(translated.output, expected);
}

} // namespace
} // namespace korva::e2e
