#pragma once
// The firmware tests' files: images with the simulator's version marker, hex files and records,
// and the outside hex tools.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rm7::test {

void WriteFile(const std::filesystem::path& file, std::string_view text);
void WriteFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& file);
std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed);

// Runs a shell command line; true when it exits with status 0.
bool Run(const std::string& command);
std::string Quote(const std::filesystem::path& path);

// One intel-hex record as the file holds it, ":LLAAAATT...CC", without a line end; the
// checksum is made right, then `checksumError` is added to it.
std::string Record(std::uint8_t type, std::uint16_t address, std::span<const std::uint8_t> data,
                   std::uint8_t checksumError = 0);
std::string Record(std::uint8_t type, std::uint16_t address, std::initializer_list<std::uint8_t> data,
                   std::uint8_t checksumError = 0);
inline constexpr std::string_view kEofRecord = ":00000001FF";

// MCU image bytes for 0x800-0x1FD7F: random, "SIMVERSION:<version>" inside, and no
// reconciliation value (the loader computes it).
std::vector<std::uint8_t> McuImageBytes(std::uint32_t seed, const char* version);
// The image as the radio must end up holding it: the reconciliation word written in, so
// that its big-endian words sum to zero.
std::vector<std::uint8_t> Reconciled(std::vector<std::uint8_t> image);
// DSP image bytes: random, with the marker when version is not null.
std::vector<std::uint8_t> DspImageBytes(std::size_t size, std::uint32_t seed, const char* version);
void WriteHexFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes, std::uint32_t address);

}  // namespace rm7::test
