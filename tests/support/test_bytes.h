// Payloads for transfer tests, made so that a lost, doubled or reordered
// byte shows in a comparison.
#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace testing_support {

// "ABC...ZABC..." (or from another first letter), printable so that it also
// fits in a header value.
inline std::string LetterBytes(std::size_t size, char first = 'A') {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(first + i % 26);
    }
    return bytes;
}

// Every byte value, in an order fixed by seed.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

}  // namespace testing_support
