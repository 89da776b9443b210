#include "datafile/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile_support.h"

namespace korva {
namespace {

using test::ReadFrom;

struct ReadLinesCase {
    std::vector<std::string> lines;
    LineReader::Status last{};
    std::uint64_t lastNumber = 0;
};

ReadLinesCase ReadAll(const std::string& data, std::size_t blockSize,
                      std::size_t failAt = std::string::npos) {
    LineReader reader(ReadFrom(data, blockSize, failAt), blockSize);
    ReadLinesCase out;
    std::string_view line;
    while ((out.last = reader.Next(line)) == LineReader::Status::Line) {
        out.lines.emplace_back(line);
        EXPECT_EQ(reader.LineNumber(), out.lines.size());
    }
    out.lastNumber = reader.LineNumber();
    return out;
}

struct SplitCase {
    const char* name;
    std::string data;
    std::vector<std::string> lines;
};

// Block sizes that put the block boundary between CR and LF, inside lines
// and right at Ctrl-Z; the result must not depend on them.
const std::size_t kBlockSizes[] = {1, 2, 3, 5, LineReader::kDefaultBlockSize};

TEST(LineReader, SplitsAtCarriageReturnsWhateverTheBlockSize) {
    using namespace std::string_literals;
    const std::vector<SplitCase> cases = {
        {"empty input", "", {}},
        {"last line without end", "a", {"a"}},
        {"CR LF is one end", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR ends a line", "a\rb", {"a", "b"}},
        {"lone LF is a character", "a\nb\r\nc\n", {"a\nb", "c\n"}},
        {"LF-only file is one line", "(\nENGLISH,\"x\"\n)\n", {"(\nENGLISH,\"x\"\n)\n"}},
        {"CR CR LF is two ends", "a\r\r\nb", {"a", "", "b"}},
        {"LF after CR LF starts the next line", "a\r\n\nb", {"a", "\nb"}},
        {"blank lines count", "\r\n\r\n\r\nx", {"", "", "", "x"}},
        {"Ctrl-Z ends the file mid-line",
         "a\r\nbc\x1A"
         "de\r\nf",
         {"a", "bc"}},
        {"Ctrl-Z at the start of a line",
         "a\r\n\x1A"
         "b\r\n",
         {"a"}},
        {"Ctrl-Z first",
         "\x1A"
         "a\r\nb",
         {}},
        {"Ctrl-Z between CR and LF", "a\r\x1A\nb", {"a"}},
        {"NUL is a character", "a\0b\r\n"s, {"a\0b"s}},
        {"BOM stays in the first line", "\xEF\xBB\xBF;x\r\n", {"\xEF\xBB\xBF;x"}},
        // Line ends are searched for many bytes at a time: ends just before,
        // at and after such steps, and a Ctrl-Z deep in a long line.
        {"ends around every sixteenth byte",
         std::string(15, 'a') + "\r\n" + std::string(16, 'b') + "\r" + std::string(17, 'c') +
             "\r\n" + std::string(31, 'd') + "\r\n" + std::string(32, 'e') + "\r\n" +
             std::string(33, 'f') + "\x1A" + "g\r\n",
         {std::string(15, 'a'), std::string(16, 'b'), std::string(17, 'c'), std::string(31, 'd'),
          std::string(32, 'e'), std::string(33, 'f')}},
    };
    for (const SplitCase& c : cases) {
        for (const std::size_t blockSize : kBlockSizes) {
            const ReadLinesCase got = ReadAll(c.data, blockSize);
            EXPECT_EQ(got.lines, c.lines) << c.name << ", block size " << blockSize;
            EXPECT_EQ(got.last, LineReader::Status::End) << c.name;
        }
    }
}

TEST(LineReader, LongLinesRunOverManyBlocks) {
    const std::string longLine(10000, 'x');
    const ReadLinesCase got = ReadAll(longLine + "\r\n" + longLine + "y", 7);
    EXPECT_EQ(got.lines, (std::vector<std::string>{longLine, longLine + "y"}));
}

TEST(LineReader, ReadFailureGivesTheCompleteLinesBeforeItThenFails) {
    const std::string data = "one\r\ntwo\r\nthree\r\n";
    for (const std::size_t blockSize : kBlockSizes) {
        // The failure comes in the middle of "three".
        const ReadLinesCase got = ReadAll(data, blockSize, 12);
        EXPECT_EQ(got.lines, (std::vector<std::string>{"one", "two"})) << blockSize;
        EXPECT_EQ(got.last, LineReader::Status::ReadFailed) << blockSize;
    }
    EXPECT_EQ(ReadAll(data, 4, 0).last, LineReader::Status::ReadFailed);
}

TEST(LineReader, AReadClaimingMoreThanAskedIsAFailure) {
    LineReader reader([](char*, std::size_t size) { return static_cast<long long>(size) + 1; }, 8);
    std::string_view line;
    EXPECT_EQ(reader.Next(line), LineReader::Status::ReadFailed);
}

} // namespace
} // namespace korva
