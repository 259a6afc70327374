#include "platform/program_version.h"

#include "platform/format.h"
#include "platform/version.h"

namespace rm7 {

std::string ProgramVersionText() {
    return StrFormat("%u.%u.%u.%u", kVersionMajor, kVersionMinor, kVersionPatch, kVersionTweak);
}

std::string ProgramVersionLine() {
    return StrFormat("%s Version %s", kProductName, ProgramVersionText().c_str());
}

}  // namespace rm7
