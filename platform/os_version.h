#pragma once
// The operating system's version, as the loader logs show it.
#include <string>

namespace rm7 {

struct OsVersionInfo {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    std::string text;  // the system's name and full release, e.g. "Linux 6.1.0-18-amd64"
};

// From uname(2): the kernel release "6.1.0-18" gives 6, 1 and build 0.
OsVersionInfo GetOsVersion();

}  // namespace rm7
