#pragma once
// The program's version as every title, log and file shows it: the four parts of the build's
// version (platform/version.h, generated), dot-separated.
#include <string>

namespace rm7 {

// "1.0.0.1"
std::string ProgramVersionText();
// "RM7 Utility Version 1.0.0.1"
std::string ProgramVersionLine();

}  // namespace rm7
