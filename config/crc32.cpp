#include "config/crc32.h"

#include <array>

namespace rm7 {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        }
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

void CCrc32::Update(std::string_view bytes) {
    std::uint32_t reg = ~m_value;
    for (const char ch : bytes) {
        reg = (reg >> 8) ^ kTable[(reg ^ static_cast<std::uint8_t>(ch)) & 0xFFu];
    }
    m_value = ~reg;
}

}  // namespace rm7
