// The value of a fallible operation, or a short English message saying why it failed.
// `sys` returns Windows codes; everything above it returns a Result, or a Status when
// there is no value to give.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace tess {

struct Error {
    std::string message;

    bool operator==(const Error&) const = default;
};

template <class T>
class Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const std::string& error() const { return std::get<1>(v_).message; }

    bool operator==(const Result&) const = default;

private:
    std::variant<T, Error> v_;
};

// Success, or the message saying why not.
template <>
class Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error.message)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }

    bool operator==(const Result&) const = default;

private:
    std::string error_;
    bool failed_ = false;
};

using Status = Result<void>;

}  // namespace tess
