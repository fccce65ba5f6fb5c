// UTF-8 validation with replacement of what does not decode.
#pragma once

#include <string>
#include <string_view>

namespace velmora::core {

// Appends `bytes` to `out` as UTF-8, each maximal invalid subsequence
// replaced by U+FFFD.
void push_utf8_lossy(std::string& out, std::string_view bytes);

// Appends one code point as UTF-8.
void push_code_point(char32_t code_point, std::string& out);

inline std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    push_utf8_lossy(out, bytes);
    return out;
}

}  // namespace velmora::core
