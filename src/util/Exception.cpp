// Texts of the run-time errors raised by the collections.
#include "util/Exception.h"

namespace ov {

namespace {
std::string RunErrorText(int code) {
    switch (code) {
        case 213:
            return "Collection index out of range";
        case 214:
            return "Collection overflow error";
        default:
            return "Runtime error " + std::to_string(code);
    }
}
}  // namespace

ERunError::ERunError(int errorCode) : Exception(RunErrorText(errorCode)), errorCode_(errorCode) {}

}  // namespace ov
