#include "dat/po_check.h"

#include <vector>

#include "dat/entry_writer.h"
#include "dat/file_io.h"
#include "dat/po_file.h"
#include "dat/po_header.h"
#include "dat/po_marks.h"
#include "dat/text_codec.h"
#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {

bool IsPoFileName(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    std::string extension;
    for (const char c : path.substr(dot)) {
        extension += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return extension == ".po" || extension == ".pot";
}

Result<PoAsData> ReadPoAsData(const std::string& path) {
    KORVA_ASSIGN_OR_RETURN(const std::string bytes, ReadFileBytes(path));
    KORVA_ASSIGN_OR_RETURN(const std::vector<PoMessage> messages, ParsePo(bytes, path));
    KORVA_ASSIGN_OR_RETURN(const PoLanguages languages,
                           PoFileLanguages(messages, DataDocument(), path));
    LanguageChoice choice;
    choice.neutral = languages.neutral;
    choice.dests = {languages.dest};
    std::string text(kUtf8Mark);
    std::vector<std::size_t> sourceLines;
    const auto add = [&](const std::string& line, std::size_t poLine) {
        AppendLine(text, line, "\r\n");
        sourceLines.push_back(poLine);
    };
    add(LanguagesLine(choice), 1);
    PoAsData out;
    for (const PoMessage& m : messages) {
        if (m.IsHeader() || m.msgidPlural || m.msgid.empty()) {
            continue;
        }
        // Untranslated and fuzzy messages count as texts without translation.
        add("(", m.line);
        add(TextLine(languages.neutral, m.msgid), m.line);
        if (m.msgstr.size() == 1 && !m.msgstr.front().empty() && !m.Fuzzy()) {
            add(TextLine(languages.dest, m.msgstr.front()), m.line);
        }
        add(")", m.line);
        out.msgidAt.emplace(m.line, m.msgid);
    }
    out.doc = ParseDataDocument(std::move(text), path);
    out.doc.sourceLines = std::move(sourceLines);
    return out;
}

std::string WithMsgids(const std::string& lines, const PoAsData& po) {
    const std::string prefix = po.doc.name + ":";
    std::string out;
    for (std::size_t begin = 0; begin < lines.size();) {
        std::size_t end = lines.find('\n', begin);
        end = end == std::string::npos ? lines.size() : end;
        std::string_view line(lines.data() + begin, end - begin);
        out += line;
        if (line.starts_with(prefix)) {
            const std::string_view rest = line.substr(prefix.size());
            const auto number = ParseInteger(rest.substr(0, rest.find(':')), IntegerSyntax{});
            if (const auto it =
                    number ? po.msgidAt.find(static_cast<std::size_t>(*number)) : po.msgidAt.end();
                it != po.msgidAt.end()) {
                out += " (msgid \"" + OneLine(it->second) + "\")";
            }
        }
        out += '\n';
        begin = end + 1;
    }
    return out;
}

} // namespace korva::dat
