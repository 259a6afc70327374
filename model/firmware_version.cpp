#include "model/firmware_version.h"

#include <cstdio>

namespace rm7 {

bool IsKnownVersion(std::uint16_t version) {
    return version != kVersionNotRead && version != kVersionNotAvailable && version != kVersionLoading;
}

std::string VersionText(std::uint16_t version) {
    switch (version) {
        case kVersionNotRead:
            return "??.??";
        case kVersionNotAvailable:
            return " N/A ";
        case kVersionLoading:
            return "Loading";
        default: {
            char text[16];
            std::snprintf(text, sizeof text, "%02u.%02u", version / 100u, version % 100u);
            return text;
        }
    }
}

}  // namespace rm7
