#pragma once
// CRC-16 of Modbus RTU: reflected polynomial 0xA001, initial value 0xFFFF,
// no final xor, table driven. The result goes on the line low byte first.

#include <cstddef>
#include <cstdint>

namespace ombrix {

uint16_t Crc16(const uint8_t* data, std::size_t count);

} // namespace ombrix
