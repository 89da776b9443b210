#include "dat/program_texts.h"

#include <ostream>
#include <unordered_map>

#include "common/settings.h"
#include "datafile/text_sort.h"
#include "langkeys/lang_const.h"
#include "platform/platform.h"

namespace korva::dat {

bool IsTranslatable(const TResInfo& block) {
    return block.HasOrigNeutral && block.LangCount < 2 &&
           (block.Kind == res::ResourceKind::Strings || block.Template != nullptr);
}

std::string RecordName(const TResInfo& record) {
    return std::string(ResourceNoun(record.Kind)) + " " + record.DisplayName;
}

Result<std::vector<ProgramTables>> ReadPrograms(const std::vector<std::string>& paths,
                                                const StringTableOptions& options) {
    std::vector<ProgramTables> out;
    for (const std::string& path : paths) {
        Result<std::vector<TResInfo>> blocks = ReadStringTables(path, options);
        if (!blocks) {
            if (blocks.error().kind == ErrorKind::NoSuchFile) {
                return MakeError(path + ": no such file");
            }
            if (options.kinds.IsStringsOnly()) {
                return MakeError(path + ": not a Windows program with string tables");
            }
            // The reader names the resource it could not read, and why.
            return blocks.error();
        }
        out.push_back({path, std::move(blocks).value(), {}});
    }
    return out;
}

namespace {

// The uses of one block's texts, or of another resource's.
void CollectRecord(const std::string& program, const TResInfo& record, ProgramTexts& out,
                   std::vector<TextUse>& uses) {
    std::vector<bool> lost(record.Strings.Count());
    for (const LostText& l : record.LostTexts) {
        lost.at(l.Entry) = true;
    }
    const bool isBlock = record.Kind == res::ResourceKind::Strings;
    for (std::size_t slot = 0; slot < record.Strings.Count(); ++slot) {
        const std::string_view text = record.Strings.Text(slot);
        if (text.empty()) {
            continue; // an empty slot or item is never looked up
        }
        TextLocation where;
        where.program = program;
        where.block = record.DisplayName;
        where.kind = record.Kind;
        if (isBlock) {
            // Only blocks with ids 1 and up give their strings ids.
            where.named = !record.ResName.IsId || record.ResName.Id == 0;
            where.number = static_cast<std::uint32_t>(
                where.named ? slot : (std::size_t{record.ResName.Id} - 1) * 16 + slot);
        } else {
            where.number = static_cast<std::uint32_t>(slot);
            where.where = record.Template->Texts().at(slot).where;
        }
        if (lost[slot]) {
            out.lost.push_back(std::move(where));
        } else {
            uses.push_back({std::string(text), std::move(where)});
        }
    }
}

} // namespace

ProgramTexts CollectTexts(const std::vector<ProgramTables>& programs, CodePage codePage) {
    ProgramTexts out;
    std::vector<TextUse> uses;
    for (const ProgramTables& program : programs) {
        for (const TResInfo& record : program.blocks) {
            if (!IsTranslatable(record)) {
                out.skippedBlocks.push_back(program.path + " " + RecordName(record));
                continue;
            }
            ++(record.Kind == res::ResourceKind::Strings ? out.blocks : out.resources);
            CollectRecord(program.path, record, out, uses);
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

std::string OtherResources(const ProgramTexts& texts) {
    if (texts.resources == 0) {
        return {};
    }
    return " and " + std::to_string(texts.resources) +
           (texts.resources == 1 ? " other resource" : " other resources");
}

Refusal NothingToTranslate(const std::vector<ProgramTables>& programs,
                           const LanguageChoice& choice) {
    Refusal refusal{.message = choice.kinds.IsStringsOnly()
                                   ? "no text to translate: no string-table block is in the "
                                     "original neutral language alone (see -O)"
                                   : "no text to translate: no resource of the types " +
                                         ResourcesWords(choice.kinds) +
                                         " is in the original neutral language alone (see -O)"};
    std::vector<TResInfo> all;
    for (const ProgramTables& program : programs) {
        all.insert(all.end(), program.blocks.begin(), program.blocks.end());
    }
    refusal.hint = LanguagesFoundHint(all, choice.OriginalLangId());
    return refusal;
}

std::string LostTextLines(const ProgramTexts& texts, std::string_view command) {
    std::string out;
    for (const TextLocation& where : texts.lost) {
        out += "korva-dat " + std::string(command) + ": " + where.program + ", " +
               ItemLabel(where) + ": the text holds characters that Windows-1252 cannot\n";
    }
    return out;
}

} // namespace korva::dat
