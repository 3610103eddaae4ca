// The element of both file formats: one UTF-16 unit, stored little-endian (low byte first).
#pragma once

#include <cstdint>

using Unit = std::uint16_t;
