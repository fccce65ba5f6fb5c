#include "utf16.hpp"

#include "utf8.hpp"

namespace velmora::core {

std::optional<std::string> utf16_xml_to_utf8(std::string_view bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    bool big_endian;
    std::size_t at = 0;
    if (byte(0) == 0xFE && byte(1) == 0xFF) {
        big_endian = true;
        at = 2;
    } else if (byte(0) == 0xFF && byte(1) == 0xFE) {
        big_endian = false;
        at = 2;
    } else if (bytes.starts_with(std::string_view("\0<\0?", 4))) {
        big_endian = true;
    } else if (bytes.starts_with(std::string_view("<\0?\0", 4))) {
        big_endian = false;
    } else {
        return std::nullopt;
    }
    const auto unit = [&](std::size_t i) -> char32_t {
        return big_endian ? (byte(i) << 8) | byte(i + 1) : byte(i) | (byte(i + 1) << 8);
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    const std::size_t end = at + (bytes.size() - at) / 2 * 2;
    while (at < end) {
        const char32_t first = unit(at);
        at += 2;
        if (first >= 0xD800 && first <= 0xDBFF && at < end) {
            const char32_t second = unit(at);
            if (second >= 0xDC00 && second <= 0xDFFF) {
                at += 2;
                push_code_point(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00), out);
                continue;
            }
        }
        push_code_point(first >= 0xD800 && first <= 0xDFFF ? U'\uFFFD' : first, out);
    }
    return out;
}

}  // namespace velmora::core
