#pragma once

#include <string>
#include <utility>
#include <variant>

namespace velmora::platform {

// An operating-system failure: the system's error number (errno or GetLastError)
// and the system's own text for it.
struct Error {
    int code = 0;
    std::string message;
};

// A value or the reason there is none. Callers must look at it.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(state_); }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<T>(state_); }
    T& value() & { return std::get<T>(state_); }
    T&& value() && { return std::get<T>(std::move(state_)); }
    const Error& error() const { return std::get<Error>(state_); }

private:
    std::variant<T, Error> state_;
};

// Success, or the reason for failure.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : failed_(true), error_(std::move(error)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return error_; }

private:
    bool failed_ = false;
    Error error_;
};

// The last system error of the calling thread, with the system's text.
Error lastSystemError();
// The system's text for an error number.
Error systemError(int code);

} // namespace velmora::platform
