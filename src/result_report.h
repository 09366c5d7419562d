#pragma once

#include <cstdint>
#include <ostream>

// Writes "PlayExclusiveStream() returned " and the result's 32-bit pattern in lower-case hex,
// without a line break: the same digits whatever the width of the platform's integers.
inline void WriteResultReport(std::ostream& out, std::int32_t result) {
    out << "PlayExclusiveStream() returned " << std::hex << static_cast<std::uint32_t>(result);
}
