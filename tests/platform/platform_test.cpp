// The platform seam's contract, the same on both of its sides: files read,
// mapped and replaced whatever characters their names hold; what is no
// regular file refused in one way; a replacement
// that leaves nothing behind when dropped, and that another program's change
// to the file stops; pages of a mapped file handed back; the directory of a
// path and the program's own path.
#include "platform/platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace korva {
namespace {

namespace fs = std::filesystem;

// A directory of one test's own, removed with what is in it.
class Scratch {
public:
    Scratch() {
        std::random_device random;
        while (dir_.empty()) {
            const fs::path candidate =
                fs::temp_directory_path() / ("korva-platform-" + std::to_string(random()));
            if (fs::create_directory(candidate)) {
                dir_ = candidate;
            }
        }
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const fs::path& dir() const { return dir_; }

    // The seam's form of the path of `name` in here.
    std::string Path(const std::string& name) const {
        return PathString(dir_ / FileSystemPath(name));
    }

private:
    fs::path dir_;
};

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(FileSystemPath(path), std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.flush()) << path;
}

std::string Read(const std::string& path) {
    std::ifstream in(FileSystemPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::set<std::string> Listing(const fs::path& where) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(where)) {
        names.insert(PathString(entry.path().filename()));
    }
    return names;
}

std::string Bytes(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string ReadThroughTheSeam(const std::string& path) {
    ReadOnlyFile file;
    if (!file.Open(path).ok()) {
        return "(cannot open)";
    }
    std::string out;
    char buffer[7]; // small, so that a read ends inside the file
    for (long long n = 0; (n = file.Read(buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

// Blanks, quotes, Latin, CJK, Greek, a character past U+FFFF (a surrogate
// pair on Windows) and punctuation the shells treat apart.
const std::vector<std::string> kNames = {"plain.bin",
                                         "blank and 'quote'.bin",
                                         "\303\234bersetzung.bin",
                                         "\xE6\x97\xA5\xE6\x9C\xAC.bin",
                                         "\xCE\xA9\xCE\xBC.bin",
                                         "emoji \xF0\x9F\x98\x80.bin",
                                         "semi;colon,comma=&.bin"};

TEST(Platform, FilesOfAnyNameAreReadAndReplacedWhole) {
    const Scratch s;
    std::set<std::string> all;
    for (const std::string& name : kNames) {
        const std::string path = s.Path(name);
        EXPECT_EQ(PathString(FileSystemPath(path)), path);
        const std::string content = name + std::string(1, '\0') + "\r\n\x80\xFF";
        Write(path, content);
        all.insert(name);

        const Result<std::vector<std::uint8_t>> whole = ReadWholeFile(path);
        ASSERT_TRUE(whole.ok()) << whole.error().message;
        EXPECT_EQ(Bytes(*whole), content);
        const Result<MappedFile> mapped = MappedFile::Open(path);
        ASSERT_TRUE(mapped.ok()) << mapped.error().message;
        EXPECT_EQ(Bytes(mapped->Bytes()), content);
        EXPECT_EQ(ReadThroughTheSeam(path), content);
        EXPECT_TRUE(CheckWritable(path).ok()) << name;
        EXPECT_TRUE(TargetLock::Acquire(path).Held()) << name;

        const std::string replaced = "new " + name;
        const std::vector<std::uint8_t> bytes(replaced.begin(), replaced.end());
        const Result<void> done = ReplaceFileAtomically(path, bytes);
        ASSERT_TRUE(done.ok()) << done.error().message;
        EXPECT_EQ(Read(path), replaced);
        EXPECT_EQ(Listing(s.dir()), all) << "a temporary file was left";
    }
}

// Pages handed back come again from the file unchanged. A range that is not
// this file's is left alone: memory of another kind, given back, would come
// back as zeros.
TEST(Platform, ReleasedPagesReadTheSameAndOtherMemoryIsLeftAlone) {
    const Scratch s;
    const std::string path = s.Path("pages.bin");
    std::string content(std::size_t{5} << 16, '\0'); // many pages on every system
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>('a' + i % 23);
    }
    Write(path, content);
    const Result<MappedFile> mapped = MappedFile::Open(path);
    ASSERT_TRUE(mapped.ok()) << mapped.error().message;
    const std::span<const std::uint8_t> file = mapped->Bytes();
    const std::vector<std::uint8_t> other(content.size(), 0x5A);
    struct Range {
        const char* name;
        std::span<const std::uint8_t> bytes;
    };
    const Range ranges[] = {
        {"inside, not on page bounds", file.subspan(100, 70000)},
        {"the last bytes", file.last(3)},
        {"nothing", file.subspan(4096, 0)},
        {"memory that is not the file's", other},
        {"the whole file", file},
    };
    for (const Range& r : ranges) {
        mapped->ReleasePages(r.bytes);
        EXPECT_EQ(Bytes(file), content) << r.name;
        EXPECT_EQ(Bytes(other), std::string(other.size(), '\x5A')) << r.name;
    }
}

struct NoFile {
    const char* name;
    friend void PrintTo(const NoFile& c, std::ostream* os) { *os << c.name; }
    std::string (*make)(const Scratch& s); // returns the path
    const char* read;                      // what reading says, "{}" standing for the path
    const char* write;                     // what CheckWritable says, the same way
};

const NoFile kNoFiles[] = {
    {"Missing", [](const Scratch& s) { return s.Path("missing.bin"); },
     "cannot open {}: No such file or directory",
     "cannot open {} for writing: No such file or directory"},
    {"Directory",
     [](const Scratch& s) {
         fs::create_directory(s.dir() / "sub");
         return s.Path("sub");
     },
     "{} is not a regular file", nullptr /* the systems word it differently */},
#ifdef _WIN32
    {"Device", [](const Scratch&) { return std::string("NUL"); }, "{} is not a regular file",
     "{} is not a regular file"},
#else
    {"Device", [](const Scratch&) { return std::string("/dev/null"); }, "{} is not a regular file",
     "{} is not a regular file"},
#endif
};

std::string Say(const char* pattern, const std::string& path) {
    std::string out = pattern;
    out.replace(out.find("{}"), 2, path);
    return out;
}

class Refused : public testing::TestWithParam<NoFile> {};

TEST_P(Refused, InOneWayByEveryCall) {
    const Scratch s;
    const NoFile& c = GetParam();
    const std::string path = c.make(s);
    const std::string read = Say(c.read, path);
    // Each says so in its kind too: there is no file to read at the path.
    const Result<std::vector<std::uint8_t>> whole = ReadWholeFile(path);
    ASSERT_FALSE(whole.ok());
    EXPECT_EQ(whole.error().message, read);
    EXPECT_EQ(whole.error().kind, ErrorKind::NoSuchFile);
    const Result<MappedFile> mapped = MappedFile::Open(path);
    ASSERT_FALSE(mapped.ok());
    EXPECT_EQ(mapped.error().message, read);
    EXPECT_EQ(mapped.error().kind, ErrorKind::NoSuchFile);
    ReadOnlyFile file;
    const Result<void> opened = file.Open(path);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().message, read);
    EXPECT_EQ(opened.error().kind, ErrorKind::NoSuchFile);
    const Result<void> writable = CheckWritable(path);
    ASSERT_FALSE(writable.ok());
    if (c.write != nullptr) {
        EXPECT_EQ(writable.error().message, Say(c.write, path));
    }
    const Result<FileReplacement> replacement = FileReplacement::Begin(path);
    ASSERT_FALSE(replacement.ok());
    EXPECT_NE(replacement.error().message.find(path), std::string::npos);
    EXPECT_FALSE(TargetLock::Acquire(path).Held());
}

INSTANTIATE_TEST_SUITE_P(Platform, Refused, testing::ValuesIn(kNoFiles),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(Platform, AReplacementNotCommittedLeavesTheFileAndNothingElse) {
    const Scratch s;
    const std::string path = s.Path("target.bin");
    Write(path, "old");
    {
        Result<FileReplacement> replacement = FileReplacement::Begin(path);
        ASSERT_TRUE(replacement.ok()) << replacement.error().message;
        const std::vector<std::uint8_t> bytes{'n', 'e', 'w', '\0', 'x'};
        ASSERT_TRUE(replacement->Append(bytes).ok());
        const Result<MappedFile> written = replacement->MapWritten();
        ASSERT_TRUE(written.ok()) << written.error().message;
        EXPECT_EQ(Bytes(written->Bytes()), std::string("new\0x", 5));
    }
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(Listing(s.dir()), std::set<std::string>{"target.bin"});
}

// Another program writes the file while the run holds it: the run's new
// file does not replace it, and the other program's content stays.
TEST(Platform, AFileChangedDuringTheRunIsNotReplaced) {
    const Scratch s;
    const std::string path = s.Path("target.bin");
    Write(path, "old");
    {
        const TargetLock lock = TargetLock::Acquire(path);
        ASSERT_TRUE(lock.Held());
        Result<FileReplacement> replacement = FileReplacement::Begin(path);
        ASSERT_TRUE(replacement.ok()) << replacement.error().message;
        ASSERT_TRUE(replacement->Append(std::vector<std::uint8_t>{'n', 'e', 'w'}).ok());
        Write(path, "other program's");
        const Result<void> done = replacement->Commit();
        ASSERT_FALSE(done.ok());
        EXPECT_EQ(done.error().message, path + " was changed by another program during the run");
    }
    EXPECT_EQ(Read(path), "other program's");
    EXPECT_EQ(Listing(s.dir()), std::set<std::string>{"target.bin"});
    // With the lock let go, nothing stands in the way.
    ASSERT_TRUE(ReplaceFileAtomically(path, std::vector<std::uint8_t>{'n', 'e', 'w'}).ok());
    EXPECT_EQ(Read(path), "new");
}

// Copies from a mapped file give what appending the same bytes would, in
// any order and mix with appends, and a range past the file's end is
// refused. A source on another file system (a tmpfs under Linux) takes the
// path of written bytes, since copy_file_range refuses to cross.
TEST(Platform, CopiedRangesAreTheBytesAppendingThemGives) {
    const Scratch s;
    std::string source(300000, '\0');
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    std::vector<std::string> sources = {s.Path("source.bin")};
    std::error_code ec;
    if (const fs::path shm = "/dev/shm"; fs::is_directory(shm, ec)) {
        sources.push_back(PathString(shm / ("korva-" + PathString(s.dir().filename()))));
    }
    for (const std::string& from : sources) {
        Write(from, source);
        const std::string path = s.Path("target.bin");
        Write(path, "old");
        {
            const Result<MappedFile> mapped = MappedFile::Open(from);
            ASSERT_TRUE(mapped.ok()) << mapped.error().message;
            Result<FileReplacement> replacement = FileReplacement::Begin(path);
            ASSERT_TRUE(replacement.ok()) << replacement.error().message;
            ASSERT_TRUE(replacement->AppendCopy(*mapped, 4097, 100000).ok()) << from;
            ASSERT_TRUE(replacement->Append(std::vector<std::uint8_t>{'|'}).ok());
            ASSERT_TRUE(replacement->AppendCopy(*mapped, 0, 0).ok());
            ASSERT_TRUE(replacement->AppendCopy(*mapped, 0, 5).ok());
            ASSERT_TRUE(replacement->AppendCopy(*mapped, 250000, 50000).ok());
            EXPECT_FALSE(replacement->AppendCopy(*mapped, 250000, 50001).ok());
            const Result<void> done = replacement->Commit();
            ASSERT_TRUE(done.ok()) << done.error().message;
        }
        EXPECT_EQ(Read(path), source.substr(4097, 100000) + "|" + source.substr(0, 5) +
                                  source.substr(250000, 50000))
            << from;
        fs::remove(FileSystemPath(from));
    }
}

// One file by its other names: another spelling, a hard link, on POSIX a
// symbolic link; never another file of the same bytes, nor nothing. What is
// not there at all is told from what is there, and a relative path is made
// full from the working directory.
TEST(Platform, OneFileIsKnownByEveryNameItHas) {
    const Scratch s;
    const std::string file = s.Path("a.bin");
    Write(file, "same");
    Write(s.Path("copy.bin"), "same");
    fs::create_directory(FileSystemPath(s.Path("d")));
    fs::create_hard_link(FileSystemPath(file), FileSystemPath(s.Path("hard.bin")));
    std::vector<std::string> names = {file, s.Path("d") + "/../a.bin", s.Path("hard.bin")};
#ifndef _WIN32
    fs::create_symlink(FileSystemPath(file), FileSystemPath(s.Path("link.bin")));
    names.push_back(s.Path("link.bin"));
#endif
    for (const std::string& name : names) {
        EXPECT_TRUE(SameFile(file, name)) << name;
        EXPECT_TRUE(SameFile(name, file)) << name;
    }
    EXPECT_FALSE(SameFile(file, s.Path("copy.bin")));
    EXPECT_FALSE(SameFile(file, s.Path("missing.bin")));
    EXPECT_FALSE(SameFile(s.Path("missing.bin"), s.Path("missing.bin")));

    EXPECT_TRUE(NothingAt(s.Path("missing.bin")));
    EXPECT_TRUE(NothingAt(s.Path("missing/a.bin")));
    EXPECT_FALSE(NothingAt(file));
    EXPECT_FALSE(NothingAt(s.Path("d")));

    const fs::path home = fs::current_path();
    fs::current_path(s.dir());
    const std::string full = FullPath("a.bin");
    fs::current_path(home);
    EXPECT_TRUE(FileSystemPath(full).is_absolute()) << full;
    EXPECT_TRUE(SameFile(full, file)) << full;
    EXPECT_EQ(FullPath(file), file);
}

#ifndef _WIN32
// A copy made new takes the read, write and execute bits of the file it
// copies, whatever the umask, and its owner may write it; without a model
// the umask decides, as for any new file.
TEST(Platform, ANewCopyTakesThePermissionsOfItsModel) {
    const Scratch s;
    const std::string model = s.Path("model.bin");
    Write(model, "model");
    fs::permissions(model, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_exec |
                               fs::perms::others_read);
    const mode_t umask = ::umask(077);
    const Result<void> copied = [&]() -> Result<void> {
        KORVA_ASSIGN_OR_RETURN(FileReplacement copy,
                               FileReplacement::BeginNew(s.Path("copy.bin"), model));
        KORVA_RETURN_IF_ERROR(copy.Append(std::vector<std::uint8_t>{'c'}));
        return copy.Commit();
    }();
    const Result<void> plain =
        CreateFileAtomically(s.Path("plain.bin"), std::vector<std::uint8_t>{'p'});
    ::umask(umask);
    ASSERT_TRUE(copied.ok()) << copied.error().message;
    ASSERT_TRUE(plain.ok()) << plain.error().message;
    EXPECT_EQ(fs::status(s.Path("copy.bin")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec |
                  fs::perms::group_exec | fs::perms::others_read);
    EXPECT_EQ(fs::status(s.Path("plain.bin")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}
#endif

struct Directory {
    const char* path;
    const char* posix;
    const char* windows;
};

const Directory kDirectories[] = {
    {"a/b/c.exe", "a/b/", "a/b/"},
    {"c.exe", "", ""},
    {"/c.exe", "/", "/"},
    {R"(C:\dir\c.exe)", "", R"(C:\dir\)"},
    {"C:c.exe", "", "C:"},
    {R"(\\server\share\c.exe)", "", R"(\\server\share\)"},
    {R"(dir\sub/c.exe)", R"(dir\sub/)", R"(dir\sub/)"},
    {R"(dir/sub\c.exe)", "dir/", R"(dir/sub\)"},
};

TEST(Platform, TheDirectoryOfAPathEndsInItsSeparator) {
    for (const Directory& d : kDirectories) {
#ifdef _WIN32
        EXPECT_EQ(DirectoryOf(d.path), d.windows) << d.path;
#else
        EXPECT_EQ(DirectoryOf(d.path), d.posix) << d.path;
#endif
    }
}

TEST(Platform, TheProgramKnowsItsOwnFile) {
    const std::string self = OwnExecutablePath();
    ASSERT_FALSE(self.empty());
    const fs::path path = FileSystemPath(self);
    EXPECT_TRUE(path.is_absolute()) << self;
    EXPECT_TRUE(fs::is_regular_file(path)) << self;
    EXPECT_EQ(PathString(path.stem()), "platform_test");
    EXPECT_EQ(DirectoryOf(self) + PathString(path.filename()), self);
}

} // namespace
} // namespace korva
