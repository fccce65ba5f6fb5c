// UTF-8 validation with replacement of what does not decode.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace velmora::core {

// Appends `bytes` to `out` as UTF-8, each maximal invalid subsequence
// replaced by U+FFFD.
void push_utf8_lossy(std::string& out, std::string_view bytes);

// The code point starting at `text[i]` and its length in bytes; a byte that
// starts no valid sequence stands for itself.
std::pair<char32_t, std::size_t> decode_code_point(std::string_view text, std::size_t i);

// Appends one code point as UTF-8.
void push_code_point(char32_t code_point, std::string& out);

inline std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    push_utf8_lossy(out, bytes);
    return out;
}

}  // namespace velmora::core
