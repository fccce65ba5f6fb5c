// The quoted form of a value that may be empty or hold odd characters, shared
// by messages and representations.
#pragma once

#include <string>
#include <string_view>

namespace velmora::core {

// Text in double quotes, with '"', '\' and control characters escaped by a
// backslash (\n, \t, \r, otherwise \u{hex}).
std::string quoted(std::string_view text);

}  // namespace velmora::core
