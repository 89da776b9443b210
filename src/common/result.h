#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace korva {

// What a caller may act on, beside the message meant for people: most
// failures are only reported, and are Other.
enum class ErrorKind {
    Other,
    NoSuchFile,    // no regular file at the path (missing, a directory, a device)
    LimitExceeded, // more than the program can count or hold
};

// Why something could not be done. Each layer adds its context once: the
// structure or system call at the bottom, the file name at the top.
struct Error {
    std::string message;
    ErrorKind kind = ErrorKind::Other;
};

inline Error MakeError(std::string message, ErrorKind kind = ErrorKind::Other) {
    return Error{std::move(message), kind};
}

// The same error with an outer layer's context in front; its kind stays.
inline Error WithContext(const std::string& context, const Error& inner) {
    return Error{context + ": " + inner.message, inner.kind};
}

// A value or the reason there is none. The layers below the stages (the PE
// library, the platform seam) throw nothing across their APIs; they return
// one of these, and the stages turn a failure into their message.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// Done, or the reason it was not: `return {};` for success.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }

    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

} // namespace korva

// Propagation in one line, where a failure is passed up unchanged. Both
// work in a function that returns a Result of any type (or an Error).
//
//   KORVA_RETURN_IF_ERROR(CheckWritable(path));
//   KORVA_ASSIGN_OR_RETURN(MappedFile file, MappedFile::Open(path));
//   KORVA_ASSIGN_OR_RETURN(image, ParseImage(file)); // an existing variable
#define KORVA_RETURN_IF_ERROR(...)                                                                 \
    do {                                                                                           \
        if (auto korvaResult_ = (__VA_ARGS__); !korvaResult_.ok()) {                               \
            return korvaResult_.error();                                                           \
        }                                                                                          \
    } while (false)

// `decl` is a declaration or an assignable expression; it must not hold a
// comma outside parentheses.
#define KORVA_ASSIGN_OR_RETURN(decl, ...)                                                          \
    KORVA_ASSIGN_OR_RETURN_IMPL_(KORVA_RESULT_CONCAT_(korvaResult_, __LINE__), decl, __VA_ARGS__)

#define KORVA_RESULT_CONCAT_INNER_(a, b) a##b
#define KORVA_RESULT_CONCAT_(a, b) KORVA_RESULT_CONCAT_INNER_(a, b)
// NOLINTBEGIN(bugprone-macro-parentheses): a declaration cannot be parenthesised
#define KORVA_ASSIGN_OR_RETURN_IMPL_(result, decl, ...)                                            \
    auto result = (__VA_ARGS__);                                                                   \
    if (!result.ok()) {                                                                            \
        return result.error();                                                                     \
    }                                                                                              \
    decl = std::move(result).value()
// NOLINTEND(bugprone-macro-parentheses)
