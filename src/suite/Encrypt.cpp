// The password cipher and the login field.
#include "suite/Encrypt.h"

namespace ov {

void TEncrypt::Decode(const std::uint8_t* input, std::uint8_t* output, std::size_t count) const {
    std::uint32_t running = key;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t in = input[i];  // read before output[i] may overwrite it
        output[i] = static_cast<std::uint8_t>(in ^ ((running >> 8) & 0xFFu));
        // The key follows the enciphered byte, which here is the input.
        running = (running + in) * const1 + const2;
    }
}

void TEncrypt::Encode(const std::uint8_t* input, std::uint8_t* output, std::size_t count) const {
    std::uint32_t running = key;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t out = static_cast<std::uint8_t>(input[i] ^ ((running >> 8) & 0xFFu));
        output[i] = out;
        // The key follows the enciphered byte, which here is the output.
        running = (running + out) * const1 + const2;
    }
}

std::string TEncrypt::Decode(std::string_view input) const {
    std::string output(input);
    auto* p = reinterpret_cast<std::uint8_t*>(output.data());
    Decode(p, p, output.size());
    return output;
}

std::string TEncrypt::Encode(std::string_view input) const {
    std::string output(input);
    auto* p = reinterpret_cast<std::uint8_t*>(output.data());
    Encode(p, p, output.size());
    return output;
}

std::string DecodeLogin(std::string_view enciphered, std::string& rest) {
    std::string plain = TEncrypt().Decode(enciphered.substr(0, LoginFieldLength));
    std::size_t colon = plain.find(':');
    if (colon == std::string::npos) {
        rest.clear();
        return {};
    }
    rest = plain.substr(colon + 1, LoginRestLength);
    plain.resize(colon);
    return plain;
}

std::string DecodeLogin(std::string_view enciphered) {
    std::string rest;
    return DecodeLogin(enciphered, rest);
}

bool EncodeLogin(std::string_view password, std::string_view rest, std::string& field) {
    if (password.find(':') != std::string_view::npos || password.size() + 1 > LoginFieldLength) {
        return false;
    }
    std::string plain(password);
    plain += ':';
    plain += rest.substr(0, LoginRestLength);
    field = TEncrypt().Encode(plain);
    return true;
}

}  // namespace ov
