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

// Arithmetic faults, with the texts the user knows from the platform's floating-point unit.
class EMathError : public Exception {
  public:
    using Exception::Exception;
};
class EInvalidOp : public EMathError {
  public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EZeroDivide : public EMathError {
  public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EOverflow : public EMathError {
  public:
    EOverflow() : EMathError("Floating point overflow") {}
};
// Integer division (MOD) by zero.
class EDivByZero : public EMathError {
  public:
    EDivByZero() : EMathError("Division by zero") {}
};

// A text that should have been a number: "'abc' is not a valid floating point value".
class EConvertError : public Exception {
  public:
    using Exception::Exception;
    static EConvertError NotAFloat(const std::string& text) {
        return EConvertError("'" + text + "' is not a valid floating point value");
    }
};

}  // namespace ov
