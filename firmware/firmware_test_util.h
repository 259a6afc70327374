#pragma once
// Helpers for the firmware tests: files, records and the hex tools.
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

}  // namespace rm7::test
