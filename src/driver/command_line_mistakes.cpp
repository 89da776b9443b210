#include "driver/command_line_mistakes.h"

#include "langkeys/lang_list.h"

namespace korva {
namespace {

std::string Quoted(std::string_view arg) {
    return "'" + std::string(arg) + "'";
}

// The argument that ends the list begun at args[at] when a blank, or a
// build tool, cut the list into pieces; none (args.size()) when no argument
// after it ends one.
std::size_t EndOfSplitList(const std::vector<std::string>& args, std::size_t at) {
    if (!args[at].starts_with('(') || args[at].ends_with(')')) {
        return args.size();
    }
    for (std::size_t end = at + 1; end < args.size(); ++end) {
        if (args[end].ends_with(')')) {
            return end;
        }
    }
    return args.size();
}

bool HasEmptyItem(std::string_view list) {
    const std::string_view inner = list.substr(1, list.size() - 2);
    return inner.empty() || inner.starts_with(',') || inner.ends_with(',') ||
           inner.find(",,") != std::string_view::npos;
}

} // namespace

std::string NeutralLangMistake(std::string_view arg) {
    if (arg.starts_with('(')) {
        return "NeutralLang is missing before the destination list " + std::string(arg);
    }
    const Result<int> key = ParseLangKey(arg);
    return key ? std::string() : "NeutralLang: " + key.error().message;
}

std::string DestListMistake(const std::vector<std::string>& args, std::size_t at,
                            const std::string& reason) {
    const std::string& list = args[at];
    if (list.size() > 1 && list.starts_with('-')) {
        return "DestLang: " + list + " is an option, and options come before NeutralLang";
    }
    if (const std::size_t end = EndOfSplitList(args, at); end < args.size()) {
        std::string pieces;
        for (std::size_t i = at; i <= end; ++i) {
            pieces += (i == at ? "" : " ") + Quoted(args[i]);
        }
        return "DestLang: the list is split into several arguments, " + pieces +
               ": it is one argument, without blanks (quote it in a script)";
    }
    if (!list.starts_with('(') && !list.ends_with(')')) {
        return "DestLang: " + Quoted(list) + " is not in parentheses: write (" + list + ")";
    }
    const bool parenthesised = list.size() >= 2 && list.starts_with('(') && list.ends_with(')');
    if (parenthesised && list.find_first_of(" \t") != std::string::npos) {
        return "DestLang: " + Quoted(list) + " holds a blank; the list takes none";
    }
    if (parenthesised && HasEmptyItem(list)) {
        return "DestLang: an empty item in " + list;
    }
    return "DestLang: " + reason;
}

std::string MissingArgumentsMistake(ParseState state) {
    switch (state) {
    case ParseState::ExpectNeutralLang:
        return "NeutralLang, DestLang and ProgFileName are missing";
    case ParseState::ExpectDestList:
        return "DestLang and ProgFileName are missing";
    case ParseState::ExpectProgFile:
        return "ProgFileName is missing";
    case ParseState::Complete:
        break;
    }
    return {};
}

std::string ExtraArgumentMistake(std::string_view program, std::string_view extra) {
    std::string mistake =
        "too many arguments: " + Quoted(extra) + " follows ProgFileName " + std::string(program);
    if (program.size() > 1 && program.starts_with('-')) {
        mistake += " (options come before NeutralLang)";
    }
    return mistake;
}

} // namespace korva
