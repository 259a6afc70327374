#pragma once
// The radio's EEPROM map: its address space and every area the program reads or writes. The
// areas a saved configuration holds, the areas the block-write state may touch, and where the
// CW memories, command macros, banner, serial number and 60 m band edges lie all live here, so
// that no user keeps an address of its own.
#include <array>
#include <cstddef>
#include <cstdint>

namespace rm7 {

// Addresses 0x0000-0x83FF; the high byte is the page, the low byte the offset within it.
inline constexpr std::uint32_t kEepromSize = 0x8400;
inline constexpr std::uint32_t kEepromPageSize = 256;

using EepromImage = std::array<std::uint8_t, kEepromSize>;

struct EepromRange {
    std::uint16_t start;
    std::uint16_t length;

    constexpr std::uint32_t End() const { return std::uint32_t{start} + length; }  // one past the last byte
    constexpr bool Contains(std::uint32_t address) const { return address >= start && address < End(); }
};

// The seven configuration areas, in the order a file lists them. Ranges 0 and 3 stop short of
// their page ends on purpose: those last bytes are never saved or restored.
inline constexpr std::array<EepromRange, 7> kConfigurationRanges{{
    {0x0000, 252},
    {0x0100, 256},
    {0x0200, 256},
    {0x0300, 254},
    {0x6800, 256},
    {0x6900, 256},
    {0x7E00, 32},
}};

// The areas the EEPROM block-write state accepts; a block must lie wholly inside one of them.
// Besides the configuration: the CW memory pages, the command macro slots and the banner.
inline constexpr std::array<EepromRange, 18> kEepromWriteRanges{{
    {0x0000, 252},
    {0x0100, 256},
    {0x0200, 256},
    {0x0300, 254},
    {0x0400, 256},
    {0x0500, 256},
    {0x0600, 256},
    {0x0700, 256},
    {0x0800, 256},
    {0x0900, 256},
    {0x6800, 256},
    {0x6900, 256},
    {0x7500, 256},
    {0x7600, 256},
    {0x7700, 256},
    {0x7800, 256},
    {0x7E00, 32},
    {0x83E0, 23},
}};

constexpr std::size_t ConfigurationByteCount() {
    std::size_t total = 0;
    for (const auto& range : kConfigurationRanges) {
        total += range.length;
    }
    return total;
}
inline constexpr std::size_t kConfigurationByteCount = ConfigurationByteCount();

// True when [address, address + length) lies wholly inside one write range, the check the
// EEPROM block-write state makes before it sends a block.
bool IsWithinWriteRange(std::uint16_t address, std::uint16_t length);

// True when the byte at this address belongs to a saved configuration.
constexpr bool IsConfigurationAddress(std::uint32_t address) {
    for (const auto& range : kConfigurationRanges) {
        if (range.Contains(address)) {
            return true;
        }
    }
    return false;
}

// The six CW memories, one page each from M1's; a memory's area is the first 251 bytes of its page.
inline constexpr std::uint32_t kCwMemoryBase = 0x0400;
inline constexpr std::size_t kCwMemoryCount = 6;
inline constexpr std::size_t kCwAreaSize = 251;

constexpr std::uint32_t CwAreaAddress(std::size_t memory) {
    return kCwMemoryBase + static_cast<std::uint32_t>(memory) * kEepromPageSize;
}

// Command macros 1 to 8, one slot each: an 8-byte label, then 120 bytes of commands.
inline constexpr std::uint32_t kMacroBaseAddress = 0x7500;
inline constexpr std::size_t kRadioMacroCount = 8;
inline constexpr std::uint32_t kMacroSlotSize = 0x80;
inline constexpr std::uint32_t kMacroLabelSize = 8;
inline constexpr std::uint32_t kMacroTextSize = kMacroSlotSize - kMacroLabelSize;

// The power-on banner: 22 text bytes and the zero byte that ends them.
inline constexpr std::uint16_t kBannerAddress = 0x83E0;
inline constexpr std::size_t kBannerAreaSize = 23;

// Read only: the serial number (high byte first) and the 60 m band edges (two 5-byte values).
inline constexpr std::uint16_t kSerialNumberAddress = 0x83FA;
inline constexpr std::size_t kSerialNumberSize = 2;
inline constexpr std::uint16_t kBandEdges60mAddress = 0x8314;
inline constexpr std::size_t kBandEdges60mSize = 10;

}  // namespace rm7
