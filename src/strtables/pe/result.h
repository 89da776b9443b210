#pragma once

#include <string>
#include <utility>
#include <variant>

namespace korva::pe {

// Why a file could not be read. Each layer adds its context once: the
// structure at the bottom, the file name at the top.
struct Error {
    std::string message;
};

// A value or the reason there is none; the PE layer throws nothing across its
// API.
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

inline Error MakeError(std::string message) {
    return Error{std::move(message)};
}

// The same error with an outer layer's context in front.
inline Error WithContext(const std::string& context, const Error& inner) {
    return Error{context + ": " + inner.message};
}

} // namespace korva::pe
