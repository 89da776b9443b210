// Writes the sources of one benchmark target and its data file, the same
// bytes on every run: a resource script (string tables and a few other
// resources), a C file whose initialised data sizes the data section, a blob
// for a large RCDATA resource, and the data file in code page 1252 with CR LF.
//
// Usage: make_inputs DIR BLOCKS DATA_BYTES RCDATA_BYTES DESTS [ENTRIES]
//   BLOCKS        string-table blocks, all 16 slots used, language 0
//   DATA_BYTES    size of the initialised data array
//   RCDATA_BYTES  size of the large RCDATA resource (0: none)
//   DESTS         destination languages of the data file, a comma-separated
//                 list of keys (FRENCH,GERMAN,...)
//   ENTRIES       data file entries (default: one per text); texts beyond the
//                 program's ones are other texts that match nothing

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A small deterministic generator (SplitMix64), so the inputs never depend
// on the standard library's distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

private:
    std::uint64_t state_;
};

// Interface words in code page 1252, accented letters written as escapes so
// that this source stays ASCII.
constexpr std::array<std::string_view, 40> kWords = {
    "Open",      "file",         "Save",       "changes",       "the",
    "Close",     "window",       "Print",      "preview",       "Cannot",
    "find",      "folder",       "Replace",    "all",           "Undo",
    "Options",   "Export",       "as",         "Delete",        "item",
    "Gr\xF6\xDF" "e",            "\xC4nderung", "\xE9l\xE9ment", "Donn\xE9" "es",
    "caf\xE9",   "A\xF1o",       "Configuraci\xF3n", "\xDC" "bersicht", "na\xEFve",
    "\xD8re",    "\xC6r\xF8",    "Sm\xF6rg\xE5sbord", "fa\xE7" "ade", "Ma\xDF",
    "d\xE9j\xE0", "\xE0 la",     "Z\xFCrich",  "\x80 price",    "\x84quoted\x93",
    "Stra\xDF" "e"};

// A text of 10 to 60 characters that `number` makes unique.
std::string MakeText(Random& random, std::uint32_t number) {
    const std::string suffix = " " + std::to_string(number);
    const std::size_t target = 10 + random.Below(51);
    std::string text;
    while (text.size() + suffix.size() < target) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kWords[random.Below(kWords.size())];
    }
    text += suffix;
    if (text.size() > 60) {
        text.erase(0, text.size() - 60);
    }
    if (text.front() == ' ') {
        text.front() = 'x';
    }
    return text;
}

// The translation of a text into the d-th destination: a short tag in front
// and the text with its case changed here and there, at most 64 characters.
std::string Translate(const std::string& text, std::string_view dest, std::size_t d) {
    std::string out(dest.substr(0, 2));
    out += ": ";
    out += text;
    for (std::size_t i = d % 3; i < out.size(); i += 3) {
        const char c = out[i];
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary);
    file << content;
    return static_cast<bool>(file);
}

std::string ResourceScript(const std::vector<std::string>& texts, std::uint64_t rcdataBytes) {
    std::string rc;
    rc += "STRINGTABLE\nLANGUAGE 0, 0\nBEGIN\n";
    for (std::size_t id = 0; id < texts.size(); ++id) {
        rc += "  " + std::to_string(id) + " \"" + texts[id] + "\"\n";
    }
    rc += "END\n\n";
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
         "  int s = 0;\n  for (int i = 0; i < n; ++i) s += *(unsigned char*)bench_pointers[i & 255];\n"
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

bool WriteDataFile(const std::string& path, const std::vector<std::string>& texts,
                   const std::vector<std::string>& dests, std::size_t entries) {
    // Every text of the program gets an entry; further entries hold texts of
    // their own. The entries come in a shuffled order, as a file maintained
    // by hand would not follow the program's ids.
    std::vector<std::uint32_t> order(std::max(entries, texts.size()));
    std::iota(order.begin(), order.end(), 0U);
    Random random(7);
    for (std::size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[random.Below(i)]);
    }
    std::ofstream file(path, std::ios::binary);
    file << "; translations for the benchmark target\r\n\r\n";
    Random other(99);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t n = order[k];
        const std::string text =
            n < texts.size() ? texts[n] : MakeText(other, 1000000 + n);
        file << "(\r\nENGLISH,\"" << text << "\"\r\n";
        for (std::size_t d = 0; d < dests.size(); ++d) {
            file << dests[d] << ",\"" << Translate(text, dests[d], d) << "\"\r\n";
        }
        file << ")\r\n";
        if (k % 500 == 499) {
            file << "\r\n; part " << k / 500 + 1 << "\r\n";
        }
    }
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::cerr << "usage: make_inputs DIR BLOCKS DATA_BYTES RCDATA_BYTES DESTS [ENTRIES]\n";
        return 2;
    }
    const std::string dir = argv[1];
    const std::size_t blocks = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t dataBytes = std::strtoull(argv[3], nullptr, 10);
    const std::uint64_t rcdataBytes = std::strtoull(argv[4], nullptr, 10);
    std::vector<std::string> dests;
    for (std::string_view list = argv[5]; !list.empty();) {
        const std::size_t comma = std::min(list.find(','), list.size());
        dests.emplace_back(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    if (blocks < 1 || blocks > 4096 || dataBytes < 256 || dests.empty()) {
        std::cerr << "make_inputs: argument out of range\n";
        return 2;
    }
    Random random(1);
    std::vector<std::string> texts;
    texts.reserve(blocks * 16);
    for (std::size_t i = 0; i < blocks * 16; ++i) {
        texts.push_back(MakeText(random, static_cast<std::uint32_t>(i)));
    }
    const std::size_t entries = argc == 7 ? std::strtoull(argv[6], nullptr, 10) : texts.size();

    const bool ok = WriteFile(dir + "/target.rc", ResourceScript(texts, rcdataBytes)) &&
                    WriteFile(dir + "/data.c", DataSource(dataBytes)) &&
                    (rcdataBytes == 0 || WriteFile(dir + "/blob.bin", Blob(rcdataBytes))) &&
                    WriteDataFile(dir + "/KORVA.DAT", texts, dests, entries);
    if (!ok) {
        std::cerr << "make_inputs: cannot write to " << dir << "\n";
        return 1;
    }
    return 0;
}
