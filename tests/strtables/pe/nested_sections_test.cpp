// A GNU ld program whose resource section's raw data covers the relocation
// section's, as stub builders that rewrite the resources leave it: the
// update moves the relocations out, and the independent readers and the
// loader find them as they were. Other sharing of file bytes is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "strtables/pe/image.h"
#include "strtables/pe/resource_update.h"
#include "support/fixtures.h"
#include "support/string_table_script.h"
#include "support/synthetic_image.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::pe {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

constexpr std::size_t kSizeOfRawDataField = 16;
constexpr std::size_t kPointerToRawDataField = 20;

void WriteFile(const std::string& path, const Bytes8& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.flush()) << path;
}

const SectionHeader& Named(const Image& image, const std::string& name, std::size_t* index) {
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        if (image.sections[i].Name() == name) {
            *index = i;
            return image.sections[i].header;
        }
    }
    throw std::runtime_error("no section " + name);
}

// The mingw program, its resource section's raw size stretched over the
// relocation section that follows it in the file.
std::string StretchedProgram(const std::filesystem::path& dir) {
    Bytes8 bytes = test::ReadWholeFile(
        test::BuildFixture(test::Toolchain::MingwX64, "strings", test::kStringTableScript));
    const Result<Image> image = ParseImage(bytes);
    EXPECT_TRUE(image.ok());
    std::size_t rsrc = 0;
    std::size_t reloc = 0;
    const SectionHeader& r = Named(*image, ".rsrc", &rsrc);
    const SectionHeader& l = Named(*image, ".reloc", &reloc);
    EXPECT_EQ(l.pointerToRawData, r.pointerToRawData + r.sizeOfRawData)
        << "the layout this test stretches";
    test::PutAt<std::uint32_t>(
        bytes, image->sectionTableOffset + rsrc * sizeof(SectionHeader) + kSizeOfRawDataField,
        l.pointerToRawData + l.sizeOfRawData - r.pointerToRawData);
    const std::string path = (dir / "stretched.exe").string();
    WriteFile(path, bytes);
    return path;
}

Result<void> Translate(const std::string& path, std::size_t size) {
    Result<ResourceUpdate> update = ResourceUpdate::Begin(path);
    if (!update) {
        return update.error();
    }
    EXPECT_TRUE(update->Put(ResourceId::Id(6), ResourceId::Id(1), 0x407, Bytes8(size, 0x41)).ok());
    EXPECT_TRUE(update->Remove(ResourceId::Id(6), ResourceId::Id(1), 0).ok());
    return update->Commit();
}

// llvm-readobj's list of base relocations, without the file's name.
std::string ReadobjRelocations(const std::string& path) {
    const std::string out =
        test::RunOrThrow("llvm-readobj --coff-basereloc " + test::ShellQuote(path));
    return out.substr(out.find("BaseReloc"));
}

// python3-pefile's view: the relocation table's bytes as the loader maps
// them, each fix-up, and whether any two sections share raw data.
std::string PefileRelocations(const std::string& path) {
    static const char* const script = R"PY(
import pefile, sys
pe = pefile.PE(sys.argv[1])
d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[5]
print(pe.get_data(d.VirtualAddress, d.Size).hex())
for block in pe.DIRECTORY_ENTRY_BASERELOC:
    print(' '.join('%x:%d' % (e.rva, e.type) for e in block.entries))
raw = sorted((s.PointerToRawData, s.SizeOfRawData) for s in pe.sections if s.SizeOfRawData)
print('shared' if any(a + n > b for (a, n), (b, _) in zip(raw, raw[1:])) else 'apart')
)PY";
    return test::RunOrThrow("/usr/bin/python3 -c " + test::ShellQuote(script) + " " +
                            test::ShellQuote(path));
}

class NestedRelocations : public testing::TestWithParam<std::size_t> {};

TEST_P(NestedRelocations, MoveOutWithTheirBytes) {
    test::Workspace ws;
    const std::string path = StretchedProgram(ws.path());
    const std::string readobjBefore = ReadobjRelocations(path);
    const std::string pefileBefore = PefileRelocations(path);
    ASSERT_NE(pefileBefore.find("shared"), std::string::npos) << pefileBefore;

    const Result<void> done = Translate(path, GetParam());
    ASSERT_TRUE(done.ok()) << done.error().message;

    EXPECT_EQ(ReadobjRelocations(path), readobjBefore);
    const std::string pefileAfter = PefileRelocations(path);
    EXPECT_EQ(pefileAfter.substr(0, pefileAfter.rfind('\n', pefileAfter.size() - 2)),
              pefileBefore.substr(0, pefileBefore.rfind('\n', pefileBefore.size() - 2)));
    EXPECT_NE(pefileAfter.find("apart"), std::string::npos) << pefileAfter;
    if (GetParam() > 1000) {
        const test::ProcessResult run = test::RunUnderWine(KORVA_WINEPREFIX, path, {});
        EXPECT_EQ(run.exitCode, 0) << run.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, NestedRelocations, testing::Values(40, 6000));

// A section of data whose raw data lies in the resource section's, or a
// relocation section only partly in it, is not moved, and the file is left
// as it was.
TEST(NestedSections, OtherSharingIsRefused) {
    for (const auto& [name, offset] : {std::pair{".tls", 0x200U}, std::pair{".reloc", 0x100U}}) {
        SCOPED_TRACE(name);
        test::Workspace ws;
        const std::string path = StretchedProgram(ws.path());
        Bytes8 bytes = test::ReadWholeFile(path);
        const Result<Image> image = ParseImage(bytes);
        ASSERT_TRUE(image.ok());
        std::size_t rsrc = 0;
        std::size_t moved = 0;
        const SectionHeader& r = Named(*image, ".rsrc", &rsrc);
        const SectionHeader& m = Named(*image, name, &moved);
        // Inside the resources, or from inside past their end.
        const std::uint32_t start = name == std::string(".tls")
                                        ? r.pointerToRawData + offset
                                        : r.pointerToRawData + r.sizeOfRawData - offset;
        ASSERT_LE(m.sizeOfRawData, 0x200U);
        test::PutAt<std::uint32_t>(bytes,
                                   image->sectionTableOffset + moved * sizeof(SectionHeader) +
                                       kPointerToRawDataField,
                                   start);
        WriteFile(path, bytes);

        const Result<void> done = Translate(path, 40);
        ASSERT_FALSE(done.ok());
        EXPECT_NE(done.error().message.find("section .rsrc and section " + std::string(name) +
                                            " share file bytes"),
                  std::string::npos)
            << done.error().message;
        EXPECT_EQ(test::ReadWholeFile(path), bytes);
    }
}

} // namespace
} // namespace korva::pe
