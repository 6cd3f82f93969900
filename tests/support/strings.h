// Helpers the tests share for moving between the program's String and
// std::string, and for making and counting text.
#pragma once

#include <string>

#include "base/string.h"

namespace kavsite_test {

inline std::string str(String s) { return std::string((const char*)s.str, s.size); }
// A String over the bytes of `s`, which must outlive it.
inline String from(const std::string& s) { return String{(u8*)s.data(), s.size()}; }

// `text` written `times` times in a row.
inline std::string repeat(const std::string& text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t k = 0; k < times; k += 1) out += text;
    return out;
}

// How many times `needle` occurs in `text`, overlapping occurrences included.
inline size_t count_of(const std::string& text, const std::string& needle) {
    size_t found = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) found += 1;
    return found;
}

}  // namespace kavsite_test
