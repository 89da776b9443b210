#include "dat/po_file.h"

#include <algorithm>

#include "dat/po_lexer.h"
#include "text/text.h"
#include "text/utf8.h"

namespace korva::dat {
namespace {

// Where the message being read stands, in the order gettext's grammar
// gives its parts: [msgctxt] msgid, then msgstr, or msgid_plural and
// msgstr[0], msgstr[1], ...
enum class Stage { Context, Id, IdPlural, Str, Forms };

// A message being read. Its strings live in `message`; which of them a
// string line continues follows from the stage alone.
struct Draft {
    PoMessage message;
    Stage stage = Stage::Context;
    bool obsolete = false;
    std::size_t start = 0; // the line of its first keyword

    bool Whole() const { return stage == Stage::Str || stage == Stage::Forms; }
};

// The string an optional holds, made first if there is none.
std::string& Held(std::optional<std::string>& s) {
    return s ? *s : s.emplace();
}

// The string a continuation line adds to.
std::string& Continued(Draft& draft) {
    switch (draft.stage) {
    case Stage::Context:
        return Held(draft.message.context);
    case Stage::Id:
        return draft.message.msgid;
    case Stage::IdPlural:
        return Held(draft.message.msgidPlural);
    case Stage::Str:
    case Stage::Forms:
        break;
    }
    if (draft.message.msgstr.empty()) {
        draft.message.msgstr.emplace_back();
    }
    return draft.message.msgstr.back();
}

std::string MessageAt(const PoMessage& m) {
    return "the message at line " + std::to_string(m.line);
}

// Why a draft cut short is no message.
Error Unfinished(const Draft& draft) {
    switch (draft.stage) {
    case Stage::Context:
        return MakeError("the msgctxt at line " + std::to_string(draft.start) + " has no msgid");
    case Stage::IdPlural:
        return MakeError(MessageAt(draft.message) + " has no msgstr[0]");
    default:
        return MakeError(MessageAt(draft.message) + " has no msgstr");
    }
}

bool IsText(std::string_view s) {
    return IsValidUtf8(s) && s.find('\0') == std::string_view::npos;
}

bool AllText(const PoMessage& m) {
    return IsText(m.msgid) && IsText(m.context.value_or("")) &&
           IsText(m.msgidPlural.value_or("")) &&
           std::all_of(m.msgstr.begin(), m.msgstr.end(),
                       [](const std::string& s) { return IsText(s); });
}

// Comments belong to the message that follows them.
void AddComment(PoMessage& m, const PoToken& comment) {
    const std::string_view body = comment.text;
    switch (comment.kind) {
    case PoTokenKind::ExtractedComment:
        m.extractedComments.emplace_back(TrimBlanks(body));
        break;
    case PoTokenKind::Reference:
        for (std::string_view rest = TrimBlanks(body); !rest.empty(); rest = TrimBlanks(rest)) {
            const std::size_t end = rest.find_first_of(" \t");
            m.references.emplace_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        }
        break;
    case PoTokenKind::Flags:
        for (std::string_view rest = body; !rest.empty();) {
            const std::size_t comma = rest.find(',');
            if (const std::string_view flag = TrimBlanks(rest.substr(0, comma)); !flag.empty()) {
                m.flags.emplace_back(flag);
            }
            rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
        }
        break;
    default:
        break; // translators' comments and previous strings are not needed
    }
}

// The messages of a file, token by token. Obsolete messages (#~) are read
// by the same rules, as their own messages, and left out at the end.
class MessageRules {
public:
    // A failure's message names no file or line.
    Result<void> Take(PoToken token) {
        // A comment ends the message before it: gettext's grammar has none
        // inside a message.
        if (token.IsComment() || token.kind == PoTokenKind::End) {
            if (Result<void> closed = Close(); !closed) {
                return closed;
            }
            AddComment(comments_, token);
            return {};
        }
        const bool continuesContext =
            token.kind == PoTokenKind::Msgid && draft_ && draft_->stage == Stage::Context;
        if ((token.kind == PoTokenKind::Msgctxt || token.kind == PoTokenKind::Msgid) &&
            !continuesContext) {
            if (Result<void> closed = Close(); !closed) {
                return closed;
            }
            Start(std::move(token));
            return {};
        }
        if (!draft_) {
            return MakeError(token.kind == PoTokenKind::String
                                 ? "a string continues no msgid or msgstr"
                                 : token.keyword + " before msgid");
        }
        if (token.obsolete != draft_->obsolete) {
            return MakeError("inconsistent use of #~ in the message at line " +
                             std::to_string(draft_->start));
        }
        return Continue(*draft_, std::move(token));
    }

    // Each message goes to `take` once it is whole, instead of into the list.
    void HandTo(const PoMessageSink* take) { take_ = take; }
    std::vector<PoMessage> TakeMessages() { return std::move(messages_); }

private:
    void Start(PoToken token) {
        Draft& draft = draft_.emplace();
        draft.message = std::move(comments_);
        comments_ = PoMessage();
        draft.obsolete = token.obsolete;
        draft.start = token.line;
        if (token.kind == PoTokenKind::Msgctxt) {
            draft.message.context = std::move(token.text);
        } else {
            TakeMsgid(draft, std::move(token));
        }
    }

    static void TakeMsgid(Draft& draft, PoToken token) {
        draft.message.msgid = std::move(token.text);
        draft.message.line = token.line;
        draft.stage = Stage::Id;
    }

    static Result<void> Continue(Draft& draft, PoToken token) {
        switch (token.kind) {
        case PoTokenKind::String:
            Continued(draft) += token.text;
            return {};
        case PoTokenKind::Msgid: // after msgctxt
            TakeMsgid(draft, std::move(token));
            return {};
        case PoTokenKind::MsgidPlural:
            return TakePlural(draft, std::move(token));
        default:
            return TakeMsgstr(draft, std::move(token));
        }
    }

    static Result<void> TakePlural(Draft& draft, PoToken token) {
        if (draft.stage == Stage::Context) {
            return MakeError("msgid_plural before msgid");
        }
        if (draft.stage == Stage::IdPlural) {
            return MakeError("a second msgid_plural for " + MessageAt(draft.message));
        }
        if (draft.Whole()) {
            return MakeError("msgid_plural after the msgstr of " + MessageAt(draft.message));
        }
        draft.message.msgidPlural = std::move(token.text);
        draft.stage = Stage::IdPlural;
        return {};
    }

    // msgstr, or msgstr[N]: one msgstr for a message, the forms of a plural
    // one counting up from 0.
    static Result<void> TakeMsgstr(Draft& draft, PoToken token) {
        if (draft.stage == Stage::Context) {
            return MakeError(token.keyword + " before msgid");
        }
        const bool plural = draft.stage == Stage::IdPlural || draft.stage == Stage::Forms;
        const std::string next = "msgstr[" + std::to_string(draft.message.msgstr.size()) + "]";
        if (token.kind == PoTokenKind::Msgstr && plural) {
            return MakeError("msgstr in the plural message at line " +
                             std::to_string(draft.message.line) + ", where " + next + " belongs");
        }
        if (token.kind == PoTokenKind::Msgstr && draft.Whole()) {
            return MakeError("a second msgstr for " + MessageAt(draft.message));
        }
        if (token.kind == PoTokenKind::MsgstrForm && !plural) {
            return MakeError(token.keyword + " in " + MessageAt(draft.message) +
                             ", which has no msgid_plural");
        }
        if (token.kind == PoTokenKind::MsgstrForm && token.form != draft.message.msgstr.size()) {
            return MakeError(token.keyword + " where " + next + " belongs");
        }
        draft.message.msgstr.push_back(std::move(token.text));
        draft.stage = plural ? Stage::Forms : Stage::Str;
        return {};
    }

    // The message read so far is complete, or the file is wrong.
    Result<void> Close() {
        if (!draft_) {
            return {};
        }
        if (!draft_->Whole()) {
            return Unfinished(*draft_);
        }
        if (!AllText(draft_->message)) {
            return MakeError(MessageAt(draft_->message) + " is not valid UTF-8 text");
        }
        if (!draft_->obsolete) {
            Keep(std::move(draft_->message));
        }
        draft_.reset();
        return {};
    }

    void Keep(PoMessage&& message) {
        if (take_ != nullptr) {
            (*take_)(std::move(message));
        } else {
            messages_.push_back(std::move(message));
        }
    }

    std::vector<PoMessage> messages_;
    const PoMessageSink* take_ = nullptr;
    PoMessage comments_; // those read since the last message
    std::optional<Draft> draft_;
};

} // namespace

bool PoMessage::Fuzzy() const {
    return std::find(flags.begin(), flags.end(), "fuzzy") != flags.end();
}

namespace {

Result<void> RunRules(std::string_view bytes, const std::string& name, MessageRules& rules) {
    PoLexer lexer(bytes);
    for (;;) {
        const auto at = [&](const Error& e) {
            return MakeError(name + ":" + std::to_string(lexer.Line()) + ": " + e.message);
        };
        Result<PoToken> token = lexer.Next();
        if (!token) {
            return at(token.error());
        }
        const bool end = token->kind == PoTokenKind::End;
        if (Result<void> taken = rules.Take(std::move(token.value())); !taken) {
            return at(taken.error());
        }
        if (end) {
            return {};
        }
    }
}

} // namespace

Result<std::vector<PoMessage>> ParsePo(std::string_view bytes, const std::string& name) {
    MessageRules rules;
    KORVA_RETURN_IF_ERROR(RunRules(bytes, name, rules));
    return rules.TakeMessages();
}

Result<void> ReadPo(std::string_view bytes, const std::string& name, const PoMessageSink& take) {
    MessageRules rules;
    rules.HandTo(&take);
    return RunRules(bytes, name, rules);
}

std::optional<std::string> HeaderField(const PoMessage& header, std::string_view field) {
    const std::string_view text =
        header.msgstr.empty() ? std::string_view() : header.msgstr.front();
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lf = text.find('\n', pos);
        const std::string_view line = text.substr(pos, lf - pos);
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view name = TrimBlanks(line.substr(0, colon));
        if (name.size() == field.size() &&
            std::equal(name.begin(), name.end(), field.begin(), [](char a, char b) {
                const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
                return lower(a) == lower(b);
            })) {
            return std::string(TrimBlanks(line.substr(colon + 1)));
        }
    }
    return std::nullopt;
}

} // namespace korva::dat
