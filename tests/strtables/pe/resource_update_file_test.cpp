// The update on real files: the commit, what it keeps, how it fails, and
// toolchain-built images checked with two independent readers.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "strtables/pe/resource_module.h"
#include "strtables/pe/resource_update.h"
#include "strtables/update_resource.h"
#include "support/fixtures.h"
#include "support/process.h"
#include "support/readobj.h"
#include "support/string_table_script.h"
#include "support/synthetic_image.h"
#include "support/wine.h"
#include "support/workspace.h"

namespace korva::pe {
namespace {

namespace fs = std::filesystem;
using Bytes8 = std::vector<std::uint8_t>;

const ResourceId kStrings = ResourceId::Id(6);
const ResourceId kBlock1 = ResourceId::Id(1);

Bytes8 Pattern(std::size_t size, std::uint8_t seed) {
    Bytes8 out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>(seed + i * 13);
    }
    return out;
}

using test::Workspace;

std::string Copy(const std::string& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return to.string();
}

std::string FixtureImage(test::Toolchain toolchain) {
    return test::BuildFixture(toolchain, "strings", test::kStringTableScript);
}

// The usual change: a German copy of block 1 replaces the neutral one.
Result<void> UpdateFile(const std::string& path, const Bytes8& german) {
    Result<ResourceUpdate> update = ResourceUpdate::Begin(path);
    if (!update) {
        return update.error();
    }
    EXPECT_TRUE(update->Put(kStrings, kBlock1, 0x407, german).ok());
    EXPECT_TRUE(update->Remove(kStrings, kBlock1, 0).ok());
    return update->Commit();
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_ino;
}

TEST(ResourceUpdateFile, NothingStagedLeavesTheFileAlone) {
    Workspace ws;
    const std::string path = Copy(FixtureImage(test::Toolchain::LldX64), ws.path() / "a.dll");
    const ino_t before = Inode(path);
    {
        Result<ResourceUpdate> update = ResourceUpdate::Begin(path);
        ASSERT_TRUE(update.ok());
        ASSERT_TRUE(update->Remove(kStrings, ResourceId::Id(999), 0).ok());
        EXPECT_FALSE(update->changed());
        EXPECT_TRUE(update->Commit().ok());
    }
    EXPECT_EQ(Inode(path), before) << "a rewrite would have renamed a new file over it";
    EXPECT_EQ(ws.Listing(), std::set<std::string>{"a.dll"});
}

// An update into another file reads its source only: the copy has the
// change, or is the source itself where nothing was staged, and a path that
// holds no regular file it may write is refused before anything is done.
TEST(ResourceUpdateFile, ACopyGoesToItsOutputAndTheSourceIsOnlyRead) {
    Workspace ws;
    const std::string source = Copy(FixtureImage(test::Toolchain::LldX64), ws.path() / "a.dll");
    fs::permissions(source, fs::perms::owner_read | fs::perms::group_read);
    const Bytes8 original = test::ReadWholeFile(source);
    const ino_t inode = Inode(source);
    for (const bool stage : {true, false}) {
        const std::string output = (ws.path() / "copy.dll").string();
        {
            Result<ResourceUpdate> update = ResourceUpdate::BeginCopy(source, output);
            ASSERT_TRUE(update.ok()) << update.error().message;
            if (stage) {
                ASSERT_TRUE(update->Put(kStrings, kBlock1, 0x407, Pattern(40, 3)).ok());
            }
            const Result<void> done = update->Commit();
            ASSERT_TRUE(done.ok()) << done.error().message;
        }
        EXPECT_EQ(test::ReadWholeFile(source), original);
        EXPECT_EQ(Inode(source), inode);
        Result<ResourceModule> copy = ResourceModule::Open(output);
        ASSERT_TRUE(copy.ok());
        EXPECT_EQ(copy->Find(kStrings, kBlock1, 0x407) != nullptr, stage);
        if (!stage) {
            EXPECT_EQ(test::ReadWholeFile(output), original);
        }
        // Its owner may write it, so that the next copy can replace it.
        EXPECT_EQ(fs::status(output).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
    EXPECT_EQ(ws.Listing(), (std::set<std::string>{"a.dll", "copy.dll"}));
    ASSERT_EQ(::mkfifo((ws.path() / "fifo").c_str(), 0666), 0);
    for (const std::string& output : {ws.path().string(), (ws.path() / "fifo").string()}) {
        EXPECT_FALSE(ResourceUpdate::BeginCopy(source, output).ok()) << output;
    }
}

// Makes Pattern(size, item), and counts how often it was asked.
class PatternSource final : public DataSource {
public:
    void Produce(std::uint64_t item, std::span<std::uint8_t> out) const override {
        const Bytes8 bytes = Pattern(out.size(), static_cast<std::uint8_t>(item));
        std::copy(bytes.begin(), bytes.end(), out.begin());
        ++calls_;
    }
    int calls() const { return calls_; }

private:
    mutable int calls_ = 0;
};

// Data made on demand reaches the file as made, and is made once: the check
// after the write compares the file with a digest of what was made (the
// check's refusals are tested with the check itself).
TEST(ResourceUpdateFile, DataMadeOnDemandIsMadeOnceAndWritten) {
    Workspace ws;
    const std::string path = Copy(FixtureImage(test::Toolchain::LldX64), ws.path() / "a.dll");
    const PatternSource source;
    {
        Result<ResourceUpdate> update = ResourceUpdate::Begin(path);
        ASSERT_TRUE(update.ok());
        ASSERT_TRUE(update->Put(kStrings, kBlock1, 0x407, ProducedData{&source, 7, 3000}).ok());
        const Result<void> done = update->Commit();
        ASSERT_TRUE(done.ok()) << done.error().message;
    }
    EXPECT_EQ(source.calls(), 1);
    EXPECT_EQ(ws.Listing(), std::set<std::string>{"a.dll"});
    Result<ResourceModule> module = ResourceModule::Open(path);
    ASSERT_TRUE(module.ok());
    const ResourceData* data = module->Find(kStrings, kBlock1, 0x407);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Bytes8(data->bytes.begin(), data->bytes.end()), Pattern(3000, 7));
}

TEST(ResourceUpdateFile, KeepsPermissionsAndTheSymbolicLink) {
    Workspace ws;
    fs::create_directory(ws.path() / "real");
    const std::string target =
        Copy(FixtureImage(test::Toolchain::LldX64), ws.path() / "real" / "a.dll");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_exec);
    const fs::path link = ws.path() / "link.dll";
    fs::create_symlink(target, link);

    const Result<void> done = UpdateFile(link.string(), Pattern(40, 1));
    ASSERT_TRUE(done.ok()) << done.error().message;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), target);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_exec);
    Result<ResourceModule> module = ResourceModule::Open(target);
    ASSERT_TRUE(module.ok());
    EXPECT_NE(module->Find(kStrings, kBlock1, 0x407), nullptr);
    EXPECT_EQ(ws.Listing(), (std::set<std::string>{"link.dll", "real"}));
}

TEST(ResourceUpdateFile, BeginRefusesWhatItCannotUpdate) {
    Workspace ws;
    test::WriteScratchFile("text.txt", std::string("not an image"));
    const std::string text = Copy((test::ScratchDir() / "text.txt").string(), ws.path() / "t.txt");
    ASSERT_EQ(::mkfifo((ws.path() / "fifo").c_str(), 0666), 0);
    const std::string cases[] = {(ws.path() / "missing.dll").string(), text, ws.path().string(),
                                 (ws.path() / "fifo").string()};
    for (const std::string& path : cases) {
        EXPECT_FALSE(ResourceUpdate::Begin(path).ok()) << path;
    }
}

// How a process of its own fails, under conditions a test process cannot
// impose on itself.
struct Injection {
    const char* what;
    const char* prefix;  // shell code before the tool
    bool otherUser;      // run without root's right to ignore permissions
    fs::perms directory; // the directory's permissions during the run
    fs::perms file;
    int exitCode;
};

class FailureInjection : public testing::TestWithParam<Injection> {};

TEST_P(FailureInjection, LeavesTheTargetByteIdenticalAndNoTemporaryFile) {
    const Injection& c = GetParam();
    Workspace ws;
    const std::string path = Copy(FixtureImage(test::Toolchain::MingwX64), ws.path() / "p.exe");
    const Bytes8 before = test::ReadWholeFile(path);
    fs::permissions(path, c.file);
    fs::permissions(ws.path(), c.directory);
    std::string prefix = c.prefix;
    if (c.otherUser && ::geteuid() == 0) {
        prefix += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const test::ProcessResult result =
        test::RunProgram(PE_FILE_TOOL, {"update", path, "3000"}, prefix);
    fs::permissions(ws.path(), fs::perms::all);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.what;
    EXPECT_EQ(test::ReadWholeFile(path), before) << c.what;
    EXPECT_EQ(ws.Listing(), std::set<std::string>{"p.exe"}) << c.what;
}

constexpr fs::perms kReadWrite = fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::group_write |
                                 fs::perms::others_read | fs::perms::others_write;
constexpr fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kDirectoryReadOnly = fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec;

INSTANTIATE_TEST_SUITE_P(
    Commit, FailureInjection,
    testing::Values(
        Injection{"read-only target", "", true, fs::perms::all, kReadOnly, 2},
        Injection{"directory not writable", "", true, kDirectoryReadOnly, kReadWrite, 1},
        // 512-byte blocks in a POSIX shell: far less than the image.
        Injection{"write failing part-way", "ulimit -f 8; ", false, fs::perms::all, kReadWrite, 1}),
    [](const auto& instance) { return std::to_string(instance.index); });

TEST(ResourceUpdateFile, AKilledWriteLeavesTheOldOrTheNewFileAndNoTemporary) {
    Workspace ws;
    const std::string path = (ws.path() / "big.bin").string();
    test::WriteScratchFile("old.bin", std::string(1000, 'O'));
    Copy((test::ScratchDir() / "old.bin").string(), path);
    const std::size_t size = 48u << 20;
    for (const char* delay : {"0.02", "0.1", "0.4"}) {
        const test::ProcessResult result = test::RunProgram(
            "timeout", {"-s", "KILL", delay, PE_FILE_TOOL, "replace", path, std::to_string(size)});
        const Bytes8 now = test::ReadWholeFile(path);
        const bool old = now == Bytes8(1000, 'O');
        const bool replaced = now.size() == size &&
                              std::all_of(now.begin(), now.end(), [](auto b) { return b == 'N'; });
        EXPECT_TRUE(old || replaced) << "after " << delay << "s, exit " << result.exitCode;
        EXPECT_EQ(ws.Listing(), std::set<std::string>{"big.bin"}) << "after " << delay << "s";
        if (replaced) {
            break;
        }
    }
}

// A string table under a name given by its code units, as the string-table
// writer names blocks.
const ResourceName kStringType{true, 6, {}, {}};

ResourceName NamedBlock(std::u16string name) {
    return ResourceName{false, 0, {}, std::move(name)};
}

// Stages one new copy through the calls the string-table writer makes and
// ends the update.
Result<void> StageAndEnd(const std::string& path, const ResourceName& block, std::size_t size) {
    Result<UpdateHandle> handle = BeginResourceUpdate(path.c_str(), false);
    if (!handle) {
        return handle.error();
    }
    const Bytes8 data = Pattern(size, 4);
    if (Result<void> r = StageResource(*handle, kStringType, block, 0x407, data.data(),
                                       static_cast<std::uint32_t>(data.size()));
        !r) {
        return r;
    }
    return EndResourceUpdate(*handle, false);
}

// What the calls of the Windows style refuse: the file stays as it was, and
// the reason their Result form gives names what was refused and why.
TEST(ResourceUpdateFile, RefusalsLeaveTheFileAsItWasAndSayWhy) {
    // .data after the resources and no room for another section header.
    test::ImageShape shape;
    shape.sizeOfHeaders = 0x200;
    const Bytes8 rsrc = [] {
        ResourceDirectory empty;
        ResourceChanges tree(empty);
        EXPECT_TRUE(tree.Put(kStrings, kBlock1, 0, Pattern(20, 2)).ok());
        return *FillResources(*LayOutResources(tree.tree()), 0x2000);
    }();
    shape.sections.push_back({".text", 0x1000, 0x10, 0x200, 0x200, 0x60000020, Pattern(16, 1)});
    shape.sections.push_back(
        {".rsrc", 0x2000, static_cast<std::uint32_t>(rsrc.size()), 0x400, 0x200, 0x40000040, rsrc});
    shape.sections.push_back({".data", 0x3000, 0x10, 0x600, 0x200, 0xC0000040, Pattern(16, 3)});
    shape.directories[kResourceDirectory] = {0x2000, static_cast<std::uint32_t>(rsrc.size())};
    const Bytes8 before = test::BuildImage(shape).bytes;
    test::WriteScratchFile("full.dll", before);

    struct Case {
        const char* what;
        Result<void> (*run)(const std::string& path);
        std::vector<std::string> why;
    };
    const Case cases[] = {
        {"new resources that fit nowhere",
         [](const std::string& path) {
             return StageAndEnd(path, ResourceName{true, 1, {}, {}}, 0x900);
         },
         {"no safe place for the resources",
          "section .data follows the resources and holds code or data",
          "the headers have no room for another section header"}},
        {"a block name one unit too long for its length word",
         [](const std::string& path) {
             return StageAndEnd(path, NamedBlock(std::u16string(65536, u'x')), 40);
         },
         {"laying out resources: resource name longer than 65535 characters"}},
        {"an update that would delete every resource",
         [](const std::string& path) -> Result<void> {
             Result<UpdateHandle> handle = BeginResourceUpdate(path.c_str(), true);
             if (!handle) {
                 return handle.error();
             }
             return EndResourceUpdate(*handle, false);
         },
         {"deletes every existing resource"}},
        {"a size without data",
         [](const std::string& path) -> Result<void> {
             Result<UpdateHandle> handle = BeginResourceUpdate(path.c_str(), false);
             EXPECT_TRUE(handle.ok());
             return StageResource(*handle, kStringType, kStringType, 0x407, nullptr, 5);
         },
         {"no data for a resource of 5 bytes"}},
    };
    for (const Case& c : cases) {
        Workspace ws;
        const std::string path =
            Copy((test::ScratchDir() / "full.dll").string(), ws.path() / "f.dll");
        const Result<void> done = c.run(path);
        ASSERT_FALSE(done.ok()) << c.what;
        for (const std::string& part : c.why) {
            EXPECT_NE(done.error().message.find(part), std::string::npos)
                << c.what << ": " << done.error().message;
        }
        EXPECT_EQ(test::ReadWholeFile(path), before) << c.what;
        EXPECT_EQ(ws.Listing(), std::set<std::string>{"f.dll"}) << c.what;
    }
}

// Packed and size-optimised images may map their headers into a section
// (raw data from offset 0). The rewrite changes header fields, so it would
// change that section's bytes: the update is refused, names the section and
// leaves the file as it was, while the same image with the section's data
// after the headers is written.
TEST(ResourceUpdateFile, RefusesToRewriteHeadersThatASectionHolds) {
    const Bytes8 rsrc = [] {
        ResourceDirectory empty;
        ResourceChanges tree(empty);
        EXPECT_TRUE(tree.Put(kStrings, kBlock1, 0, Pattern(20, 2)).ok());
        return *FillResources(*LayOutResources(tree.tree()), 0x2000);
    }();
    for (const std::uint32_t codeAt : {0u, 0x600u}) {
        test::ImageShape shape;
        shape.sections.push_back({".text", 0x1000, 0x10, codeAt, 0x200, 0x60000020, {}});
        shape.sections.push_back({".rsrc", 0x2000, static_cast<std::uint32_t>(rsrc.size()), 0x400,
                                  0x200, 0x40000040, rsrc});
        shape.directories[kResourceDirectory] = {0x2000, static_cast<std::uint32_t>(rsrc.size())};
        const Bytes8 before = test::BuildImage(shape).bytes;
        Workspace ws;
        const std::string path = (ws.path() / "h.dll").string();
        test::WriteScratchFile("headers.dll", before);
        Copy((test::ScratchDir() / "headers.dll").string(), path);

        const Result<void> done = StageAndEnd(path, ResourceName{true, 1, {}, {}}, 40);
        EXPECT_EQ(ws.Listing(), std::set<std::string>{"h.dll"}) << codeAt;
        if (codeAt != 0) {
            ASSERT_TRUE(done.ok()) << done.error().message;
            EXPECT_NE(test::ReadWholeFile(path), before);
            continue;
        }
        ASSERT_FALSE(done.ok());
        EXPECT_NE(done.error().message.find(
                      "section .text shares file bytes with header fields the rewrite changes"),
                  std::string::npos)
            << done.error().message;
        EXPECT_EQ(test::ReadWholeFile(path), before);
    }
}

// The loader is the reader that matters: a program whose resources grew past
// its relocation and debug sections must still start.
TEST(ResourceUpdateFile, AGrownProgramStillRunsUnderWine) {
    Workspace ws;
    const std::string path = Copy(FixtureImage(test::Toolchain::MingwX64), ws.path() / "p.exe");
    const auto relocAddress = [](const std::string& file) {
        const Bytes8 bytes = test::ReadWholeFile(file);
        const Result<Image> image = ParseImage(bytes);
        EXPECT_TRUE(image.ok());
        for (const Section& section : image->sections) {
            if (section.Name() == ".reloc") {
                return section.header.virtualAddress;
            }
        }
        return 0u;
    };
    const std::uint32_t before = relocAddress(path);
    const Result<void> done = UpdateFile(path, Pattern(6000, 5));
    ASSERT_TRUE(done.ok()) << done.error().message;
    ASSERT_NE(before, 0u);
    EXPECT_GT(relocAddress(path), before) << "the case meant here moves the relocations";
    const test::ProcessResult run = test::RunUnderWine(KORVA_WINEPREFIX, path, {});
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// What python3-pefile, a second independent reader, sees: one line per
// leaf, then whether the checksum is right.
std::string PefileView(const std::string& path) {
    static const char* const script = R"PY(
import pefile, sys
pe = pefile.PE(sys.argv[1])
key = lambda e: '#%d' % e.id if e.name is None else str(e.name)
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        for l in n.directory.entries:
            d = l.data.struct
            print(key(t), key(n), l.id, d.CodePage, pe.get_data(d.OffsetToData, d.Size).hex())
c = pe.OPTIONAL_HEADER.CheckSum
print('checksum', 'zero' if c == 0 else ('ok' if c == pe.generate_checksum() else 'wrong'))
)PY";
    // The Debian package installs into the system interpreter.
    return test::RunOrThrow("/usr/bin/python3 -c " + test::ShellQuote(script) + " " +
                            test::ShellQuote(path));
}

std::string Hex(const Bytes8& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

using LeafKey = std::tuple<std::string, std::string, std::uint32_t>;

std::map<LeafKey, test::ReadobjLeaf> ByKey(const std::vector<test::ReadobjLeaf>& leaves) {
    std::map<LeafKey, test::ReadobjLeaf> out;
    for (const test::ReadobjLeaf& leaf : leaves) {
        out[{leaf.type, leaf.name, leaf.language}] = leaf;
    }
    return out;
}

class ToolchainImage : public testing::TestWithParam<std::tuple<test::Toolchain, std::size_t>> {};

TEST_P(ToolchainImage, UpdatedImageReadsRightInIndependentReaders) {
    const auto [toolchain, size] = GetParam();
    Workspace ws;
    const std::string original = FixtureImage(toolchain);
    const std::string path = Copy(original, ws.path() / "image");
    const Bytes8 before = test::ReadWholeFile(path);
    const Bytes8 german = Pattern(size, 7);
    const Result<void> done = UpdateFile(path, german);
    ASSERT_TRUE(done.ok()) << done.error().message;

    // llvm-readobj: exactly the old leaves, less the neutral block 1, plus
    // the German one; every other leaf byte-identical, headers included.
    auto expected = ByKey(test::ReadobjResources(original));
    ASSERT_EQ(expected.erase({"#6", "#1", 0}), 1u);
    const auto actual = ByKey(test::ReadobjResources(path));
    ASSERT_EQ(actual.size(), expected.size() + 1);
    for (const auto& [key, leaf] : expected) {
        const auto it = actual.find(key);
        ASSERT_NE(it, actual.end()) << std::get<0>(key) << "/" << std::get<1>(key);
        EXPECT_EQ(it->second.data, leaf.data);
        EXPECT_EQ(it->second.codePage, leaf.codePage);
        EXPECT_EQ(it->second.timeDateStamp, leaf.timeDateStamp);
    }
    const auto added = actual.find({"#6", "#1", 0x407});
    ASSERT_NE(added, actual.end());
    EXPECT_EQ(added->second.data, german);

    // pefile: the same leaves, and a checksum that is either absent or right.
    const std::string view = PefileView(path);
    EXPECT_NE(view.find("#6 #1 1031 0 " + Hex(german) + "\n"), std::string::npos) << view;
    EXPECT_EQ(view.find("#6 #1 0 "), std::string::npos) << view;
    EXPECT_EQ(view.find("checksum wrong"), std::string::npos) << view;
    std::istringstream lines(PefileView(original));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#6 #1 0 ", 0) != 0 && line.rfind("checksum", 0) != 0) {
            EXPECT_NE(view.find(line + "\n"), std::string::npos) << line;
        }
    }
    EXPECT_NE(test::ReadWholeFile(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    Real, ToolchainImage,
    testing::Combine(testing::Values(test::Toolchain::LldX64, test::Toolchain::LldX86,
                                     test::Toolchain::MingwX64, test::Toolchain::MingwX86),
                     testing::Values(std::size_t{40}, std::size_t{6000})),
    [](const auto& instance) {
        return test::ToolchainName(std::get<0>(instance.param)) +
               (std::get<1>(instance.param) > 1000 ? "_grown" : "_small");
    });

} // namespace
} // namespace korva::pe
