#include "quote.hpp"

#include "utf8.hpp"

#include <cstdio>

namespace velmora::core {

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, length] = decode_code_point(text, i);
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

}  // namespace velmora::core
