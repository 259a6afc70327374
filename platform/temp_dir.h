#pragma once
// A new folder of our own in the system's temporary folder, made so that no other user can have
// made it first or see into it.
#include <filesystem>
#include <string>

#include "platform/result.h"

namespace rm7 {

// Creates "<temp>/<prefix>XXXXXX" with a fresh random tail, readable by this user only.
Result MakeTempDirectory(const std::string& prefix, std::filesystem::path& made);

}  // namespace rm7
