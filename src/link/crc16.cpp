#include "crc16.h"

#include <array>

namespace ombrix {

namespace {
constexpr std::array<uint16_t, 256> construirTabla()
{
    std::array<uint16_t, 256> t{};
    for (uint16_t i = 0; i < 256; ++i) {
        uint16_t c = i;
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
        t[i] = c;
    }
    return t;
}
constexpr auto kTabla = construirTabla();
} // namespace

uint16_t Crc16(const uint8_t* data, std::size_t count)
{
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>(kTabla[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

} // namespace ombrix
