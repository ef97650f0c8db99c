// The suite's cipher for the database password in the data-server settings, and the login
// field built from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ov {

// A byte stream cipher: each byte is XORed with bits 8-15 of a running 32-bit key, and the
// key then advances by the enciphered byte ((key + byte) * const1 + const2, modulo 2^32).
class TEncrypt {
  public:
    std::uint32_t key = 41953;
    std::uint32_t const1 = 39871;
    std::uint32_t const2 = 25309;

    // Deciphers count bytes; input and output may be the same buffer.
    void Decode(const std::uint8_t* input, std::uint8_t* output, std::size_t count) const;
    // Enciphers count bytes so that Decode gives them back; input and output may be the same.
    void Encode(const std::uint8_t* input, std::uint8_t* output, std::size_t count) const;

    std::string Decode(std::string_view input) const;
    std::string Encode(std::string_view input) const;
};

// The login field holds "password:rest" enciphered; only its first 30 characters count.
inline constexpr std::size_t LoginFieldLength = 30;
inline constexpr std::size_t LoginRestLength = 19;

// The password of an enciphered login field: the deciphered text before the first ":" of
// its first 30 characters; empty when there is no ":" (an empty field included).
std::string DecodeLogin(std::string_view enciphered);
// The same, also giving the text after the ":" (at most 19 characters), which the engine
// does not use.
std::string DecodeLogin(std::string_view enciphered, std::string& rest);

// The enciphered login field for password, as the suite's setup writes it: password, ":",
// rest cut to 19 characters. False (field unchanged) for a password that cannot be read back
// from such a field: one holding ":" or longer than 29 characters.
bool EncodeLogin(std::string_view password, std::string_view rest, std::string& field);

}  // namespace ov
