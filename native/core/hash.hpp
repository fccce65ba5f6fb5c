// The small unkeyed multiplicative hash of the internal hash maps.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmora::core {

inline std::uint64_t small_hash(std::string_view text) {
    constexpr std::uint64_t multiplier = 0x517CC1B727220A95ull;
    std::uint64_t state = 0;
    auto mix = [&](std::uint64_t word) { state = (std::rotl(state, 5) ^ word) * multiplier; };
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        mix(word);
    }
    if (i < text.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, text.size() - i);
        mix(word);
    }
    mix(text.size());  // so "a" and "a\0" differ
    return state;
}

// Transparent hasher for maps keyed by std::string, looked up by std::string_view.
struct SmallHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return small_hash(text); }
    std::size_t operator()(const std::string& text) const { return small_hash(text); }
};

}  // namespace velmora::core
