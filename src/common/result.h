#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace korva {

// Why something could not be done. Each layer adds its context once: the
// structure or system call at the bottom, the file name at the top.
struct Error {
    std::string message;
};

inline Error MakeError(std::string message) {
    return Error{std::move(message)};
}

// The same error with an outer layer's context in front.
inline Error WithContext(const std::string& context, const Error& inner) {
    return Error{context + ": " + inner.message};
}

// A value or the reason there is none. The layers below the stages (the PE
// library, the platform seam) throw nothing across their APIs; they return
// one of these, and the stages turn a failure into their message.
template <typename T> class Result {
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
template <> class Result<void> {
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
