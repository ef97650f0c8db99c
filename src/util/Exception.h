// The root of the system's error classes: every error the engine raises carries the text
// shown to the user and derives from Exception, so a unit of work can catch them all.
#pragma once

#include <stdexcept>
#include <string>

namespace ov {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The run-time errors of the pointer collections: 213 (index out of range) and 214 (overflow).
class ERunError : public Exception {
public:
    explicit ERunError(int errorCode);
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

}  // namespace ov
