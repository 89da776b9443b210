#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "datafile/trans_dict.h"

namespace korva {

// Takes the data file line by line; each Take returns false on a syntax error.
class DataParser {
public:
    DataParser(TransDictBuilder& builder, bool utf8) : builder_(builder), utf8_(utf8) {}

    bool Take(std::string_view rawLine);

    // Inside an entry: after its "(", before its ")".
    bool InEntry() const { return inEntry_; }

private:
    bool TakeTextLine(std::string_view line);
    int LangOf(std::string_view name);

    struct KnownName {
        std::string name;
        int lang = -1;
    };

    TransDictBuilder& builder_;
    bool utf8_;
    std::array<KnownName, 64> known_{};
    std::size_t lineInEntry_ = 0;
    bool inEntry_ = false;
    std::string resolved_;
};

} // namespace korva
