#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "langkeys/lang_const.h"
#include "langkeys/lang_selection.h"
#include "strtables/string_tables.h"
#include "strtables/update_resource.h"
#include "text/codepage.h"

namespace korva {

namespace {

// The program's own code units for the entry at `slot` of a run, when its
// text is that slot's text as read and lost characters on the way in;
// otherwise null, and the text is converted.
const std::vector<std::uint8_t>* OriginalUnits(const TResInfo& record, std::size_t slot,
                                               std::string_view text) {
    const auto lost = std::lower_bound(
        record.LostTexts.begin(), record.LostTexts.end(), slot,
        [](const LostText& item, std::size_t entry) { return item.Entry < entry; });
    if (lost != record.LostTexts.end() && lost->Entry == slot && lost->Converted == text) {
        return &lost->Utf16Le;
    }
    return nullptr;
}

std::size_t UnitCount(const TResInfo& record, std::size_t slot, std::string_view text,
                      CodePage codePage) {
    const std::vector<std::uint8_t>* original = OriginalUnits(record, slot, text);
    return original != nullptr ? original->size() / 2 : AnsiUtf16Length(text, codePage);
}

// A block holds the strings of sixteen ids, and the loader finds the string
// of an id by walking that many length words from the block's start without
// checking its size: a shorter run would hand out what follows it for the
// ids past its end. Resource compilers write all sixteen.
constexpr std::size_t kBlockSlots = 16;

// Empty slots after the entries of a run of `count`, to fill the block.
std::size_t PaddingOf(std::size_t count) {
    return count < kBlockSlots ? kBlockSlots - count : 0;
}

// The size of the data of entries [first, last) of a block: each text as a
// counted UTF-16 string, empty slots up to the block's sixteen, then one
// zero word. Nothing when a text is too long
// for its 16-bit length word, which the caller treats as a failed update:
// cutting the text would change the program's strings without a word.
std::optional<std::uint32_t> RunSize(const TResInfo& record, std::size_t first, std::size_t last,
                                     CodePage codePage) {
    // Under UTF-8 the units are counted from the texts, which lie anywhere
    // in a large store: fetched together, they arrive together.
    if (codePage == CodePage::Utf8) {
        for (std::size_t i = first; i < last; ++i) {
            __builtin_prefetch(record.Strings.Text(i).data());
        }
    }
    std::uint64_t size = 2 * (1 + PaddingOf(last - first));
    for (std::size_t i = first; i < last; ++i) {
        const std::size_t units = UnitCount(record, i - first, record.Strings.Text(i), codePage);
        if (units > std::numeric_limits<std::uint16_t>::max()) {
            return std::nullopt;
        }
        size += 2 * (std::uint64_t{units} + 1);
    }
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(size);
}

// The runs of all blocks, each made only when the file is written, straight
// from the block's texts. An item names the
// block by its place in the blocks and the run by its first and last entry.
class RunSource final : public pe::DataSource {
public:
    static constexpr std::size_t kMaxEntries = 0xFFFF;

    RunSource(const std::vector<TResInfo>& blocks, CodePage codePage)
        : blocks_(blocks), codePage_(codePage) {}

    static std::uint64_t Item(std::size_t block, std::size_t first, std::size_t last) {
        return (std::uint64_t{block} << 32) | (std::uint64_t{first} << 16) | last;
    }

    // The texts of a run may lie anywhere in a large store; fetching them
    // while the run before is made hides most of the waiting.
    void Prefetch(std::uint64_t item) const override {
        const RunSpan run = RunOf(item);
        for (std::size_t i = run.first; i < run.last; ++i) {
            __builtin_prefetch(run.record.Strings.Text(i).data());
        }
    }

    void Produce(std::uint64_t item, std::span<std::uint8_t> out) const override {
        const RunSpan run = RunOf(item);
        // Asked for at once, the texts arrive together, also for a run made
        // with no hint ahead (the first one).
        Prefetch(item);
        std::uint8_t* at = out.data();
        const auto putWord = [](std::uint8_t* place, std::size_t word) {
            place[0] = static_cast<std::uint8_t>(word);
            place[1] = static_cast<std::uint8_t>(word >> 8);
        };
        for (std::size_t i = run.first; i < run.last; ++i) {
            const std::string_view text = run.record.Strings.Text(i);
            // The length word goes in once the text shows how many units it
            // took: under UTF-8 that would take a pass of its own.
            std::uint8_t* length = at;
            at += 2;
            if (const auto* original = OriginalUnits(run.record, i - run.first, text)) {
                at = std::copy(original->begin(), original->end(), at);
            } else {
                at = PutAnsiAsUtf16Le(text, at, codePage_);
            }
            putWord(length, static_cast<std::size_t>(at - length - 2) / 2);
        }
        // The empty slots, then the closing word: all zero words.
        const std::size_t zeros = PaddingOf(run.last - run.first) + 1;
        std::fill_n(at, 2 * zeros, std::uint8_t{0});
    }

private:
    struct RunSpan {
        const TResInfo& record;
        std::size_t first;
        std::size_t last;
    };
    // The other way from Item.
    RunSpan RunOf(std::uint64_t item) const {
        return {blocks_.at(static_cast<std::size_t>(item >> 32)),
                static_cast<std::size_t>((item >> 16) & kMaxEntries),
                static_cast<std::size_t>(item & kMaxEntries)};
    }

    const std::vector<TResInfo>& blocks_;
    CodePage codePage_;
};

// The languages each destination's runs are written in: its own, and those
// the selection adds for users of other regions and other languages.
class CopyPlan {
public:
    // At most three: the destination's own, its language's and the fallback's.
    struct Copies {
        std::array<std::uint16_t, 3> ids{};
        std::size_t count = 0;
        const std::uint16_t* begin() const { return ids.data(); }
        const std::uint16_t* end() const { return ids.data() + count; }
    };

    explicit CopyPlan(const LangSelection& languages) {
        for (const int dest : languages.dests) {
            Copies copies;
            for (const std::uint16_t id : languages.CopyLangIds(dest)) {
                copies.ids.at(copies.count++) = id;
            }
            copies_.emplace_back(LangIdOf(dest), copies);
        }
    }

    Copies CopiesOf(std::uint16_t language) const {
        for (const auto& [id, copies] : copies_) {
            if (id == language) {
                return copies;
            }
        }
        return {{language}, 1};
    }

private:
    std::vector<std::pair<std::uint16_t, Copies>> copies_;
};

// What staging the blocks takes besides each block.
struct Staging {
    const UpdateHandle& handle;
    const RunSource& source;
    const CopyPlan& plan;
    CodePage codePage;
    std::uint16_t origNeutralLangId;
};

// One copy of a resource read into its parts, built with `texts`.
Result<void> StageBuilt(const UpdateHandle& handle, const TResInfo& record,
                        std::span<const std::u16string_view> texts, std::uint16_t language) {
    const std::string name = std::string(ResourceNoun(record.Kind)) + " " + record.DisplayName;
    Result<std::vector<std::uint8_t>> bytes = record.Template->Build(texts, language);
    if (!bytes) {
        return WithContext(name, bytes.error());
    }
    if (bytes->size() > std::numeric_limits<std::uint32_t>::max()) {
        return MakeError(name + " is too large to write");
    }
    return StageResource(handle, record.ResType, record.ResName, language, bytes->data(),
                         static_cast<std::uint32_t>(bytes->size()));
}

// The neutral copy's deletion, unless a destination's copy replaced it.
Result<void> DropNeutralCopy(const Staging& staging, const TResInfo& record, bool neutralWritten) {
    if (neutralWritten) {
        return {};
    }
    return StageResource(staging.handle, record.ResType, record.ResName, staging.origNeutralLangId,
                         nullptr, 0);
}

// A resource read into its parts: one copy per destination, each holding
// its run of texts, the program's own code units where a text lost
// characters on the way in and came back unchanged.
Result<void> StageFromTemplate(const Staging& staging, const TResInfo& record) {
    const res::TextTemplate& parts = *record.Template;
    const std::size_t n = parts.Texts().size();
    const std::size_t count = record.Strings.Count();
    bool neutralWritten = false;
    std::vector<std::u16string> texts(n);
    std::vector<std::u16string_view> views(n);
    for (std::size_t start = 0; n > 0 && start + n <= count; start += n) {
        const auto language = static_cast<std::uint16_t>(record.Strings.GetObject(start) & 0xFFFF);
        for (std::size_t i = 0; i < n; ++i) {
            const std::string_view text = record.Strings.Text(start + i);
            if (const auto* original = OriginalUnits(record, i, text)) {
                texts[i].assign(original->size() / 2, u'\0');
                std::memcpy(texts[i].data(), original->data(), original->size());
            } else {
                texts[i] = AnsiToUtf16(text, staging.codePage);
            }
            views[i] = texts[i];
        }
        // Built once per copy: a version resource names its own language.
        for (const std::uint16_t copy : staging.plan.CopiesOf(language)) {
            neutralWritten = neutralWritten || copy == staging.origNeutralLangId;
            KORVA_RETURN_IF_ERROR(StageBuilt(staging.handle, record, views, copy));
        }
    }
    return DropNeutralCopy(staging, record, neutralWritten);
}

// Stages every run of one block, then the deletion of its original neutral
// copy unless a run replaced it. False on the first failed stage.
Result<void> StageBlock(const Staging& staging, const TResInfo& record, std::size_t blockIndex) {
    if (record.Template) {
        return StageFromTemplate(staging, record);
    }
    bool neutralWritten = false;
    const std::size_t count = record.Strings.Count();
    if (count > RunSource::kMaxEntries) {
        return MakeError("block " + record.DisplayName + " has too many texts to write");
    }
    std::size_t start = 0;
    while (start < count) {
        const std::int32_t object = record.Strings.GetObject(start);
        std::size_t end = start + 1;
        while (end < count && record.Strings.GetObject(end) == object) {
            ++end;
        }
        const auto language = static_cast<std::uint16_t>(object & 0xFFFF);
        const std::optional<std::uint32_t> size = RunSize(record, start, end, staging.codePage);
        if (!size) {
            return MakeError("a text of block " + record.DisplayName +
                             " is longer than the 65535 UTF-16 code units a string can hold");
        }
        const pe::ProducedData data{&staging.source, RunSource::Item(blockIndex, start, end),
                                    *size};
        for (const std::uint16_t copy : staging.plan.CopiesOf(language)) {
            neutralWritten = neutralWritten || copy == staging.origNeutralLangId;
            KORVA_RETURN_IF_ERROR(
                StageResource(staging.handle, record.ResType, record.ResName, copy, data));
        }
        start = end;
    }
    return DropNeutralCopy(staging, record, neutralWritten);
}

Result<UpdateHandle> BeginWrite(const std::string& path, const StringTableWriteOptions& options) {
    if (options.rehearse) {
        return BeginResourceRehearsal(path.c_str());
    }
    return options.output.empty() ? BeginResourceUpdate(path.c_str(), false)
                                  : BeginResourceUpdateInto(path, options.output);
}

} // namespace

Result<void> WriteStringTables(const std::string& path, const std::vector<TResInfo>& blocks,
                               const StringTableWriteOptions& options) {
    // Outlives the handle, which makes the runs at its end.
    const RunSource source(blocks, options.codePage);
    const CopyPlan plan(options.languages);
    KORVA_ASSIGN_OR_RETURN(UpdateHandle handle, BeginWrite(path, options));
    const Staging staging{handle, source, plan, options.codePage,
                          options.languages.origNeutralLangId};
    Result<void> staged;
    try {
        for (std::size_t i = 0; i < blocks.size() && staged; ++i) {
            if (!blocks[i].Skipped) {
                staged = StageBlock(staging, blocks[i], i);
            }
        }
    } catch (...) {
        // Exhausted memory while staging: nothing may reach the file.
        (void)EndResourceUpdate(handle, true);
        throw;
    }
    if (!staged) {
        (void)EndResourceUpdate(handle, true);
        return staged;
    }
    return options.rehearse ? RehearseResourceUpdate(handle) : EndResourceUpdate(handle, false);
}

Result<void> WriteStringTablesOrSayWhy() {
    return WriteStringTables(
        ProgFileName, ResBlocks,
        {.codePage = RunCodePage, .languages = RunLangSelection(), .output = OutputFileName});
}

bool WriteStringTables() {
    return WriteStringTablesOrSayWhy().ok();
}

} // namespace korva
