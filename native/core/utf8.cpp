#include "utf8.hpp"

#include <cstdint>

namespace velmora::core {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the valid sequence starting at `p`, or 0 with `bad` set to the
// length of the maximal invalid prefix to replace.
std::size_t valid_sequence(const unsigned char* p, std::size_t left, std::size_t& bad) {
    const unsigned char lead = p[0];
    std::size_t need;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) need = 1;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        const unsigned char lo = i == 1 ? low : 0x80, hi = i == 1 ? high : 0xBF;
        if (i >= left || p[i] < lo || p[i] > hi) {
            bad = i;
            return 0;
        }
    }
    return need + 1;
}

}  // namespace

std::pair<char32_t, std::size_t> decode_code_point(std::string_view text, std::size_t i) {
    std::size_t bad = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + i;
    const std::size_t length = p[0] < 0x80 ? 1 : valid_sequence(p, text.size() - i, bad);
    if (length == 0) return {p[0], 1};
    char32_t c = length == 1 ? p[0] : p[0] & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (p[k] & 0x3F);
    return {c, length};
}

void push_code_point(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void push_utf8_lossy(std::string& out, std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    out.reserve(out.size() + n);
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = i;
        while (run < n && p[run] < 0x80) ++run;
        out.append(bytes.data() + i, run - i);
        i = run;
        if (i == n) break;
        std::size_t bad = 0;
        if (const std::size_t good = valid_sequence(p + i, n - i, bad)) {
            out.append(bytes.data() + i, good);
            i += good;
        } else {
            out.append(replacement);
            i += bad;
        }
    }
}

}  // namespace velmora::core
