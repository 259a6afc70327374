#pragma once
#include <string>

#include "platform/result.h"

namespace rm7 {

// The message for any result code, without a trailing line break; empty when the code
// has none (formats that show it then show only the hexadecimal code).
std::string ErrorText(Result code);

// "Error code 0x%08X: %s"
std::string ErrorCodeText(Result code);

}  // namespace rm7
