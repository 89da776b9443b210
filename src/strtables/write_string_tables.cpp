#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "common/codepage.h"
#include "driver/settings.h"
#include "langkeys/lang_const.h"
#include "strtables/string_tables.h"
#include "strtables/update_resource.h"

namespace korva {

namespace {

// The data of entries [first, last) of a block: each text as a counted
// UTF-16 string, then one zero word. False when a text is too long for its
// 16-bit length word, which the caller treats as a failed update: cutting
// the text would change the program's strings without a word.
bool BuildRun(const TStringList<std::int32_t>& strings, std::size_t first, std::size_t last,
              std::vector<std::uint8_t>& buffer) {
    // 1252 is a single-byte code page: one code unit per character.
    std::uint64_t size = 2;
    for (std::size_t i = first; i < last; ++i) {
        const std::size_t units = strings.Text(i).size();
        if (units > std::numeric_limits<std::uint16_t>::max()) {
            return false;
        }
        size += 2 * (std::uint64_t{units} + 1);
    }
    buffer.resize(static_cast<std::size_t>(size));
    std::uint8_t* out = buffer.data();
    const auto put = [&](std::uint16_t word) {
        out[0] = static_cast<std::uint8_t>(word);
        out[1] = static_cast<std::uint8_t>(word >> 8);
        out += 2;
    };
    for (std::size_t i = first; i < last; ++i) {
        const std::string_view text = strings.Text(i);
        put(static_cast<std::uint16_t>(text.size()));
        out = PutAnsiAsUtf16Le(text, out);
    }
    put(0);
    return true;
}

// Stages every run of one block, then the deletion of its original neutral
// copy unless a run replaced it. False on the first failed stage.
bool StageBlock(const TUpdateHandle& handle, const TResInfo& record) {
    bool neutralWritten = false;
    const std::size_t count = record.Strings.Count();
    std::size_t start = 0;
    while (start < count) {
        const std::int32_t object = record.Strings.GetObject(start);
        std::size_t end = start + 1;
        while (end < count && record.Strings.GetObject(end) == object) {
            ++end;
        }
        const auto language = static_cast<std::uint16_t>(object & 0xFFFF);
        if (language == OrigNeutralLangId) {
            neutralWritten = true;
        }
        std::vector<std::uint8_t> buffer;
        if (!BuildRun(record.Strings, start, end, buffer) ||
            !UpdateResourceA(handle, record.ResType, record.ResName, language, std::move(buffer))) {
            return false;
        }
        start = end;
    }
    return neutralWritten ||
           UpdateResourceA(handle, record.ResType, record.ResName, OrigNeutralLangId, nullptr, 0);
}

} // namespace

bool WriteStringTables() {
    TUpdateHandle handle = BeginUpdateResourceA(ProgFileName.c_str(), false);
    if (handle == nullptr) {
        return false;
    }
    bool discard = true;
    try {
        for (const TResInfo& record : ResBlocks) {
            if (record.Skipped) {
                continue;
            }
            if (!StageBlock(handle, record)) {
                EndUpdateResourceA(handle, true);
                return false;
            }
        }
        discard = false;
    } catch (...) {
        // Exhausted memory while staging: nothing may reach the file.
        EndUpdateResourceA(handle, true);
        throw;
    }
    return EndUpdateResourceA(handle, discard);
}

} // namespace korva
