#pragma once
// A firmware pair and release notes for trying a load without a radio or the internet: the
// simulator's own writer, so that rm7-sim needs none of the utility's code.
#include <cstdint>
#include <string>

namespace rm7sim {

// The version the made firmware carries, newer than the simulator's default 02.54.
inline constexpr uint16_t kMadeFirmwareVersion = 300;

// Writes fmcuNNNN.hex, fdspNNNN.hex and ffwnotes.rtf into `dir` (created when missing).
// Returns false with `error` set when a file cannot be written; a file is never left
// half-written under its final name.
bool MakeFirmware(const std::string& dir, std::string& error);

// Intel hex text of `size` bytes at `address`, 32 bytes a record, with extended linear
// address records where the upper 16 bits change and the end record.
std::string FormatHex(const uint8_t* data, size_t size, uint32_t address);

}  // namespace rm7sim
