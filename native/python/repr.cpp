#include "repr.hpp"

#include <cstdio>

namespace velmora::py {
namespace {

// The code point at `text[i]` and its length in bytes; invalid bytes stand
// for themselves.
std::pair<char32_t, std::size_t> code_point_at(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) return {lead, 1};
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return {c, length};
}

}  // namespace

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, length] = code_point_at(text, i);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
                    char escape[16];
                    std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out.append(text.substr(i, length));
                }
        }
        i += length;
    }
    out += '"';
    return out;
}

}  // namespace velmora::py
