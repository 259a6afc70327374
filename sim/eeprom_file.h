#pragma once
// The simulated radio's EEPROM file, one implementation per system.
#include <cstdint>
#include <string>
#include <vector>

namespace rm7sim {

// Temp file, flushed to the disk, renamed over path: a crash never leaves a half-written file.
// False with error (what failed, with the path) filled.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// 0 when read, ENOENT when missing, another errno or EINVAL (wrong size) otherwise.
int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace rm7sim
