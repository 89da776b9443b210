// Writes the sources of a product for the benchmark, the same bytes on every
// run: many programs of 64 string-table blocks each, about a third of whose
// texts come from a pool the programs share (as menus and messages are shared
// across a product), and one data file in UTF-8 with a byte-order mark that
// holds every text of the product once. The texts are those of the UTF-8
// inputs of make_inputs: about a quarter of the words Cyrillic or CJK, a
// quarter of the data file's neutral texts in another case.
//
// Usage: make_product DIR PROGRAMS DESTS
//   PROGRAMS  how many programs (1 to 1000), named p000, p001, ...
//   DESTS     destination languages of the data file, a comma-separated
//             list of keys (FRENCH,GERMAN,...)
// Writes DIR/KORVA.DAT, DIR/names.txt (the programs' names, one a line) and
// DIR/NAME.rc for each program, for llvm-rc /C 65001.

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <string>
#include <vector>

#include "input_text.h"

namespace {

using namespace korva::bench::gen;

constexpr std::size_t kTextsPerProgram = std::size_t{64} * 16;
// Enough that a shared text is in about 17 of 200 programs, and that no
// program draws the same one twice.
constexpr std::size_t kPoolTexts = 4096;

// Every third slot of a program holds a text of the pool.
bool IsShared(std::size_t slot) {
    return slot % 3 == 2;
}

std::string ProgramName(std::size_t p) {
    std::string name = std::to_string(p);
    return "p" + std::string(3 - std::min<std::size_t>(name.size(), 3), '0') + name;
}

std::string ResourceScript(const std::vector<Text>& texts) {
    std::string rc = "STRINGTABLE\nLANGUAGE 0, 0\nBEGIN\n";
    for (std::size_t id = 0; id < texts.size(); ++id) {
        rc += "  " + std::to_string(id) + " \"" + ToUtf8(texts[id]) + "\"\n";
    }
    return rc + "END\n";
}

struct Product {
    std::vector<std::vector<Text>> programs;
    // Each text once: the programs' own ones and the pool's that are used.
    std::vector<Text> texts;
};

Product MakeProduct(std::size_t programs, const std::vector<Text>& words) {
    Random random(11);
    Random wide(13);
    std::vector<Text> pool;
    for (std::size_t k = 0; k < kPoolTexts; ++k) {
        pool.push_back(MakeText(words, random, static_cast<std::uint32_t>(1000000 + k), &wide));
    }
    std::vector<bool> used(kPoolTexts, false);
    Product product;
    for (std::size_t p = 0; p < programs; ++p) {
        // The pool's texts of this program: the head of a partial shuffle.
        std::vector<std::uint32_t> order(kPoolTexts);
        std::iota(order.begin(), order.end(), 0U);
        Random draw(1000 + p);
        std::size_t drawn = 0;
        std::vector<Text> texts;
        for (std::size_t slot = 0; slot < kTextsPerProgram; ++slot) {
            if (IsShared(slot)) {
                std::swap(order[drawn], order[drawn + draw.Below(kPoolTexts - drawn)]);
                const std::uint32_t k = order[drawn++];
                used[k] = true;
                texts.push_back(pool[k]);
            } else {
                const auto number = static_cast<std::uint32_t>(p * kTextsPerProgram + slot);
                texts.push_back(MakeText(words, random, number, &wide));
                product.texts.push_back(texts.back());
            }
        }
        product.programs.push_back(std::move(texts));
    }
    for (std::size_t k = 0; k < kPoolTexts; ++k) {
        if (used[k]) {
            product.texts.push_back(pool[k]);
        }
    }
    return product;
}

bool WriteProduct(const std::string& dir, const Product& product, const std::vector<Text>& words,
                  const std::vector<std::string>& dests) {
    std::string names;
    for (std::size_t p = 0; p < product.programs.size(); ++p) {
        const std::string name = ProgramName(p);
        names += name + "\n";
        if (!WriteFile(dir + "/" + name + ".rc", ResourceScript(product.programs[p]))) {
            return false;
        }
    }
    return WriteFile(dir + "/names.txt", names) &&
           WriteDataFile(dir + "/KORVA.DAT", words, product.texts, dests, product.texts.size(),
                         true);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_product DIR PROGRAMS DESTS\n";
        return 2;
    }
    const std::string dir = argv[1];
    const std::size_t programs = std::strtoull(argv[2], nullptr, 10);
    const std::vector<std::string> dests = SplitList(argv[3]);
    if (programs < 1 || programs > 1000 || dests.empty()) {
        std::cerr << "make_product: argument out of range\n";
        return 2;
    }
    const std::vector<Text> words = Words();
    try {
        if (!WriteProduct(dir, MakeProduct(programs, words), words, dests)) {
            std::cerr << "make_product: cannot write to " << dir << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "make_product: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
