// The quoting rule shared by the representations of the module's classes.
#pragma once

#include <string>
#include <string_view>

namespace velmora::py {

// Text in double quotes, with '"', '\' and control characters escaped by a
// backslash (\n, \t, \r, otherwise \u{hex}).
std::string quoted(std::string_view text);

}  // namespace velmora::py
