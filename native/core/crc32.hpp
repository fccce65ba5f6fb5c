// The ZIP CRC-32 (reflected polynomial EDB88320), slicing by eight.
#pragma once

#include <cstdint>

#include "bytes.hpp"

namespace velmora::core {

// Continues a CRC from `crc` (0 for a fresh one) over `data`.
std::uint32_t crc32(ByteView data, std::uint32_t crc = 0);

}  // namespace velmora::core
