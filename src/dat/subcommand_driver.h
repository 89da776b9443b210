#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/result.h"
#include "dat/command_args.h"
#include "platform/platform.h"

namespace korva::dat {

// Why a subcommand stops without its product.
struct Refusal {
    std::string message = {}; // after "korva-dat <command>: "
    std::string notes = {};   // whole lines that explain it (syntax errors...), written first
    bool usage = false;       // the command line is at fault: point at --help
    std::string hint = {};    // a line after the message that says what would do
};

// What a compute step returns: its outcome, or why it refuses. A failure of
// a stage below converts to a plain refusal, so KORVA_ASSIGN_OR_RETURN
// passes it up in one line.
template <typename T> class [[nodiscard]] Computed {
public:
    Computed(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Computed(Refusal refusal) : state_(std::in_place_index<1>, std::move(refusal)) {}
    Computed(const Error& error)
        : state_(std::in_place_index<1>, Refusal{.message = error.message}) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    T& operator*() & { return value(); }
    const Refusal& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Refusal> state_;
};

// A refusal that only says "nothing written: ..." after its notes.
inline Refusal NothingWritten(const std::string& why, std::string notes = {}) {
    return {.message = "nothing written: " + why, .notes = std::move(notes)};
}
inline Refusal UsageRefusal(std::string message) {
    return {.message = std::move(message), .usage = true};
}

// Writes the refusal's notes and message to `io.err`; returns 2.
int Refuse(Streams io, std::string_view command, const Refusal& refusal);

// A subcommand in three steps: `parse` turns the arguments into a request
// (its error is the command line's fault), `compute` does the work and
// writes to no stream, `report` writes the outcome and returns the exit code.
template <typename Request, typename Outcome> struct SubcommandSteps {
    std::string_view name;
    OptionSet options;
    Result<Request> (*parse)(CommandArgs args);
    Computed<Outcome> (*compute)(const Request& request);
    int (*report)(const Request& request, Outcome& outcome, Streams io);
    // The data file the command reads and may write back in place, or
    // nothing: held locked from before it is read until the command ends,
    // so that a second korva-dat on it waits and then reads the first one's
    // result, and a file changed meanwhile by a program that takes no lock
    // (an editor) is not replaced.
    const std::string& (*rewrites)(const Request& request) = nullptr;
};

// The opening every subcommand shares: arguments parsed, --help answered,
// a wrong command line pointed at --help.
template <typename Request, typename Outcome>
int RunSubcommand(const std::vector<std::string>& args, Streams io,
                  const SubcommandSteps<Request, Outcome>& steps) {
    Result<CommandArgs> parsed = ParseCommandArgs(args, steps.options);
    if (!parsed) {
        return UsageError(io, steps.name, parsed.error().message);
    }
    if (parsed->help) {
        return AnswerHelp(io, steps.name);
    }
    Result<Request> request = steps.parse(std::move(parsed).value());
    if (!request) {
        return UsageError(io, steps.name, request.error().message);
    }
    const TargetLock lock = steps.rewrites != nullptr
                                ? TargetLock::Acquire(steps.rewrites(*request))
                                : TargetLock::Acquire({});
    Computed<Outcome> outcome = steps.compute(*request);
    if (!outcome) {
        return Refuse(io, steps.name, outcome.error());
    }
    return steps.report(*request, *outcome, io);
}

} // namespace korva::dat
