// Exception types through which failures and cancellation travel from jobs
// back to the render command.
#pragma once

#include <exception>
#include <string>

namespace Kel {

// A failure with a message "place: text"; the message is never shown to the
// user, it only travels to the entry point's catch-all.
class Exception : public std::exception {
public:
    Exception(const char* place, const char* text)
        : message_(std::string(place) + ": " + text) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The user cancelled while jobs ran. Thrown by value, carries nothing.
struct Interrupted {};

} // namespace Kel
