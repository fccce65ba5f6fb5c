// UTF-16 XML parts, transcoded to UTF-8 for the reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::core {

// The UTF-8 text of a UTF-16 XML document, or nothing when the bytes are not
// recognised as UTF-16 (by a byte-order mark or a leading "<?").
std::optional<std::string> utf16_xml_to_utf8(std::string_view bytes);

}  // namespace velmora::core
