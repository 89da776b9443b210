#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace korva::pe {

// A failure with its context, innermost structure first and each layer
// prefixing what it was doing ("placing resources: section .reloc: ...").
struct Error {
    std::string message;

    Error WithContext(const std::string& context) const { return Error{context + ": " + message}; }
};

// A value or the error that prevented it; the PE layer reports failures this
// way and never throws across its API.
template <typename T> class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::move(value)) {}
    Expected(Error error) : state_(std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() {
        assert(*this);
        return std::get<0>(state_);
    }
    const T& operator*() const {
        assert(*this);
        return std::get<0>(state_);
    }
    T* operator->() { return &**this; }
    const T* operator->() const { return &**this; }
    const Error& error() const {
        assert(!*this);
        return std::get<1>(state_);
    }

private:
    std::variant<T, Error> state_;
};

// Success or an error, for operations without a value.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)), failed_(true) {}

    static Status Ok() { return Status(); }
    explicit operator bool() const { return !failed_; }
    const Error& error() const {
        assert(failed_);
        return error_;
    }

private:
    Error error_;
    bool failed_ = false;
};

inline Error MakeError(std::string message) { return Error{std::move(message)}; }

} // namespace korva::pe
