// Writes the sources of one benchmark target and its data file, the same
// bytes on every run: a resource script (string tables and a few other
// resources), a C file whose initialised data sizes the data section, a blob
// for a large RCDATA resource, and the data file with CR LF. The script and
// the data file are in code page 1252, or with `utf8` in UTF-8 (the data file
// with a byte-order mark, the script for llvm-rc /C 65001).
//
// Usage: make_inputs DIR BLOCKS DATA_BYTES RCDATA_BYTES DESTS [ENTRIES] [utf8]
//   BLOCKS        string-table blocks, all 16 slots used, language 0; past
//                 the 4096 that string ids can number, blocks are named
//                 (S4096, S4097, ...) and the target holds nothing else
//   DATA_BYTES    size of the initialised data array
//   RCDATA_BYTES  size of the large RCDATA resource (0: none)
//   DESTS         destination languages of the data file, a comma-separated
//                 list of keys (FRENCH,GERMAN,...)
//   ENTRIES       data file entries (default: one per text); texts beyond the
//                 program's ones are other texts that match nothing
//   utf8          about a quarter of the words Cyrillic or CJK instead; the
//                 other words, and so the texts' count and order, stay those
//                 of the 1252 inputs. A quarter of the data file's neutral
//                 texts have their letters' case swapped, and every
//                 translation holds characters outside 1252.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <numeric>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "input_text.h"

namespace {

using namespace korva::bench::gen;

// STRINGTABLE numbers blocks only up to 4096; named blocks are written as
// raw RT_STRING (type 6) resources: each text as its length and its units.
constexpr std::size_t kNumberedTexts = std::size_t{4096} * 16;

std::string NamedBlocks(const std::vector<Text>& texts, bool utf8) {
    std::string rc = "LANGUAGE 0, 0\n";
    for (std::size_t first = kNumberedTexts; first < texts.size(); first += 16) {
        rc += "S" + std::to_string(first / 16) + " 6\nBEGIN\n";
        for (std::size_t id = first; id < first + 16; ++id) {
            std::size_t units = 0;
            for (const char32_t c : texts[id]) {
                units += c > 0xFFFF ? 2 : 1;
            }
            rc += "  " + std::to_string(units) + ", L\"" + Encode(texts[id], utf8) + "\"" +
                  (id + 1 < first + 16 ? ",\n" : "\n");
        }
        rc += "END\n";
    }
    return rc + "\n";
}

std::string ResourceScript(const std::vector<Text>& texts, std::uint64_t rcdataBytes, bool utf8) {
    std::string rc;
    rc += "STRINGTABLE\nLANGUAGE 0, 0\nBEGIN\n";
    for (std::size_t id = 0; id < std::min(texts.size(), kNumberedTexts); ++id) {
        rc += "  " + std::to_string(id) + " \"" + Encode(texts[id], utf8) + "\"\n";
    }
    rc += "END\n\n";
    if (texts.size() > kNumberedTexts) {
        // Only string tables: lld-link links at most 65,535 resources (its
        // object's relocation count is 16 bits), and 65,535 blocks take all.
        return rc + NamedBlocks(texts, utf8);
    }
    rc += "1 VERSIONINFO\nFILEVERSION 1,2,3,4\nPRODUCTVERSION 1,2,3,4\nBEGIN\n"
          "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904B0\"\n    BEGIN\n"
          "      VALUE \"FileDescription\", \"Benchmark target\"\n"
          "      VALUE \"FileVersion\", \"1.2.3.4\"\n    END\n  END\n"
          "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1200\n  END\n"
          "END\n\n";
    rc += "100 MENU\nBEGIN\n  POPUP \"&File\"\n  BEGIN\n    MENUITEM \"&Open\", 1\n"
          "    MENUITEM \"&Save\", 2\n    MENUITEM SEPARATOR\n    MENUITEM \"E&xit\", 3\n"
          "  END\nEND\n\n";
    rc += "101 DIALOGEX 0, 0, 200, 80\nCAPTION \"About\"\nBEGIN\n"
          "  LTEXT \"Benchmark target\", -1, 10, 10, 180, 10\n"
          "  DEFPUSHBUTTON \"OK\", 1, 75, 55, 50, 14\nEND\n\n";
    rc += "102 ACCELERATORS\nBEGIN\n  \"O\", 1, VIRTKEY, CONTROL\n  \"S\", 2, VIRTKEY, CONTROL\n"
          "END\n\n";
    rc += "CONFIG RCDATA\nBEGIN\n  \"settings\\0\", 1, 2, 3\nEND\n";
    if (rcdataBytes > 0) {
        rc += "BLOB RCDATA \"blob.bin\"\n";
    }
    return rc;
}

// Initialised data of the requested size, and pointers into it so that the
// image needs base relocations.
std::string DataSource(std::uint64_t dataBytes) {
    std::string c;
    c += "__declspec(dllexport) unsigned char bench_table[" + std::to_string(dataBytes) +
         "] = {1, 2, 3, 4};\n";
    c += "__declspec(dllexport) void* bench_pointers[] = {\n";
    for (std::uint64_t i = 0; i < 256; ++i) {
        c += "  &bench_table[" + std::to_string(i * (dataBytes / 256)) + "],\n";
    }
    c += "};\n";
    c += "__declspec(dllexport) int bench_sum(int n) {\n"
         "  int s = 0;\n  for (int i = 0; i < n; ++i) s += *(unsigned char*)bench_pointers[i & "
         "255];\n"
         "  return s;\n}\n";
    return c;
}

std::string Blob(std::uint64_t bytes) {
    Random random(42);
    std::string blob(bytes, '\0');
    for (std::uint64_t i = 0; i < bytes; i += 8) {
        const std::uint64_t v = random.Next();
        for (std::uint64_t k = 0; k < 8 && i + k < bytes; ++k) {
            blob[i + k] = static_cast<char>(v >> (8 * k));
        }
    }
    return blob;
}

} // namespace

int main(int argc, char** argv) {
    const bool utf8 = argc >= 7 && std::string_view(argv[argc - 1]) == "utf8";
    if (utf8) {
        --argc;
    }
    if (argc != 6 && argc != 7) {
        std::cerr << "usage: make_inputs DIR BLOCKS DATA_BYTES RCDATA_BYTES DESTS [ENTRIES] "
                     "[utf8]\n";
        return 2;
    }
    const std::string dir = argv[1];
    const std::size_t blocks = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t dataBytes = std::strtoull(argv[3], nullptr, 10);
    const std::uint64_t rcdataBytes = std::strtoull(argv[4], nullptr, 10);
    const std::vector<std::string> dests = SplitList(argv[5]);
    if (blocks < 1 || blocks > 65535 || dataBytes < 256 || dests.empty()) {
        std::cerr << "make_inputs: argument out of range\n";
        return 2;
    }
    const std::vector<Text> words = Words();
    Random random(1);
    Random wide(3);
    std::vector<Text> texts;
    texts.reserve(blocks * 16);
    for (std::size_t i = 0; i < blocks * 16; ++i) {
        texts.push_back(
            MakeText(words, random, static_cast<std::uint32_t>(i), utf8 ? &wide : nullptr));
    }
    const std::size_t entries = argc == 7 ? std::strtoull(argv[6], nullptr, 10) : texts.size();

    try {
        const bool ok = WriteFile(dir + "/target.rc", ResourceScript(texts, rcdataBytes, utf8)) &&
                        WriteFile(dir + "/data.c", DataSource(dataBytes)) &&
                        (rcdataBytes == 0 || WriteFile(dir + "/blob.bin", Blob(rcdataBytes))) &&
                        WriteDataFile(dir + "/KORVA.DAT", words, texts, dests, entries, utf8);
        if (!ok) {
            std::cerr << "make_inputs: cannot write to " << dir << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "make_inputs: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
