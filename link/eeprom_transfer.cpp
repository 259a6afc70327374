#include "link/eeprom_transfer.h"
#include "platform/format.h"

namespace rm7::eeprom {
namespace {

std::uint8_t Checksum(std::uint32_t address, std::uint32_t length, std::uint32_t dataSum) {
    const std::uint32_t sum = ((address >> 8) & 0xFF) + (address & 0xFF) + length + dataSum;
    return static_cast<std::uint8_t>((256 - (sum % 256)) % 256);
}

}  // namespace

std::string ReadCommand(std::uint32_t address, std::uint32_t length) {
    return StrFormat("%s%04X%02X%02X;", "ER", address & 0xFFFF, length & 0xFF, Checksum(address, length, 0));
}

std::string WriteCommand(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
    std::string hex;
    hex.reserve(length * 2);
    std::uint32_t sum = 0;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::uint32_t i = 0; i < length; ++i) {
        hex.push_back(kDigits[data[i] >> 4]);
        hex.push_back(kDigits[data[i] & 0x0F]);
        sum += data[i];
    }
    return StrFormat("%s%04X%02X%s%02X;", "EW", address & 0xFFFF, length & 0xFF, hex.c_str(),
                     Checksum(address, length, sum));
}

bool CheckReadAnswer(const std::string& command, const std::string& answer, std::uint32_t length, std::uint8_t* out) {
    if (command.size() != 11 || answer.size() < 11 || answer.compare(0, 8, command, 0, 8) != 0) {
        return false;
    }
    std::uint8_t hi = 0;
    std::uint8_t lo = 0;
    std::uint8_t count = 0;
    if (!ParseByte(answer, 2, hi) || !ParseByte(answer, 4, lo) || !ParseByte(answer, 6, count)) {
        return false;
    }
    if (count > 64 || count != length || answer.size() != 11 + 2u * count || answer.back() != ';') {
        return false;
    }
    std::uint8_t data[64];
    std::uint32_t sum = hi + lo + count;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!ParseByte(answer, 8 + 2 * i, data[i])) {
            return false;
        }
        sum += data[i];
    }
    std::uint8_t checksum = 0;
    if (!ParseByte(answer, 8 + 2u * count, checksum) || (sum + checksum) % 256 != 0) {
        return false;
    }
    // Only a block that passed every check reaches the caller's buffer.
    std::copy(data, data + count, out);
    return true;
}

bool CheckWriteAnswer(const std::string& command, const std::string& answer) {
    if (answer.size() != 11 || command.size() < 8 || answer.compare(0, 8, command, 0, 8) != 0 || answer.back() != ';') {
        return false;
    }
    std::uint8_t hi = 0;
    std::uint8_t lo = 0;
    std::uint8_t count = 0;
    std::uint8_t checksum = 0;
    if (!ParseByte(answer, 2, hi) || !ParseByte(answer, 4, lo) || !ParseByte(answer, 6, count) ||
        !ParseByte(answer, 8, checksum)) {
        return false;
    }
    return (hi + lo + count + checksum) % 256 == 0;
}

}  // namespace rm7::eeprom
