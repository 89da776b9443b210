#include "dat/program_texts.h"

#include <ostream>
#include <unordered_map>

#include "common/settings.h"
#include "datafile/text_sort.h"
#include "langkeys/lang_const.h"
#include "platform/platform.h"

namespace korva::dat {

bool IsTranslatable(const TResInfo& block) {
    return block.HasOrigNeutral && block.LangCount < 2;
}

Result<std::vector<ProgramTables>> ReadPrograms(const std::vector<std::string>& paths,
                                                const StringTableOptions& options) {
    std::vector<ProgramTables> out;
    for (const std::string& path : paths) {
        Result<std::vector<TResInfo>> blocks = ReadStringTables(path, options);
        if (!blocks) {
            return MakeError(path + (blocks.error().kind == ErrorKind::NoSuchFile
                                         ? ": no such file"
                                         : ": not a Windows program with string tables"));
        }
        out.push_back({path, std::move(blocks).value()});
    }
    return out;
}

ProgramTexts CollectTexts(const std::vector<ProgramTables>& programs, CodePage codePage) {
    ProgramTexts out;
    std::vector<TextUse> uses;
    for (const ProgramTables& program : programs) {
        for (const TResInfo& block : program.blocks) {
            if (!IsTranslatable(block)) {
                out.skippedBlocks.push_back(program.path + " block " + block.DisplayName);
                continue;
            }
            ++out.blocks;
            std::vector<bool> lost(block.Strings.Count());
            for (const LostText& l : block.LostTexts) {
                lost.at(l.Entry) = true;
            }
            for (std::size_t slot = 0; slot < block.Strings.Count(); ++slot) {
                const std::string_view text = block.Strings.Text(slot);
                if (text.empty()) {
                    continue; // an empty slot is never looked up
                }
                TextLocation where;
                where.program = program.path;
                where.block = block.DisplayName;
                // Only blocks with ids 1 and up give their strings ids.
                where.named = !block.ResName.IsId || block.ResName.Id == 0;
                where.number = static_cast<std::uint32_t>(
                    where.named ? slot : (std::size_t{block.ResName.Id} - 1) * 16 + slot);
                if (lost[slot]) {
                    out.lost.push_back(std::move(where));
                } else {
                    uses.push_back({std::string(text), std::move(where)});
                }
            }
        }
    }
    out.uses = uses.size();
    std::vector<std::string_view> views;
    views.reserve(uses.size());
    for (const TextUse& use : uses) {
        views.push_back(use.text);
    }
    // Each use joins the group of the first use that compares equal to it.
    std::vector<std::size_t> firstOf(uses.size());
    std::size_t groupFirst = 0;
    for (const SortedText& sorted : SortTexts(views, codePage)) {
        if (!sorted.sameAsPrevious) {
            groupFirst = sorted.index;
        }
        firstOf[sorted.index] = groupFirst;
    }
    std::unordered_map<std::size_t, std::size_t> textOf; // first use -> distinct text
    for (std::size_t i = 0; i < uses.size(); ++i) {
        if (firstOf[i] == i) {
            textOf.emplace(i, out.texts.size());
            out.texts.push_back({std::move(uses[i].text), {}});
        }
        out.texts[textOf.at(firstOf[i])].uses.push_back(std::move(uses[i].location));
    }
    return out;
}

std::string LostTextLines(const ProgramTexts& texts, std::string_view command) {
    std::string out;
    for (const TextLocation& where : texts.lost) {
        out += "korva-dat " + std::string(command) + ": " + where.program + ", block " +
               where.block + (where.named ? ", slot " : ", string id ") +
               std::to_string(where.number) +
               ": the text holds characters that Windows-1252 cannot\n";
    }
    return out;
}

} // namespace korva::dat
