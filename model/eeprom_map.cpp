#include "model/eeprom_map.h"

namespace rm7 {

bool IsWithinWriteRange(std::uint16_t address, std::uint16_t length) {
    // In 32 bits, so a block near 0xFFFF cannot wrap round into a low range.
    const std::uint32_t end = std::uint32_t{address} + length;
    for (const auto& range : kEepromWriteRanges) {
        if (range.start <= address && end <= range.End()) {
            return true;
        }
    }
    return false;
}

}  // namespace rm7
