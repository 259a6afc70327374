#include "platform/os_version.h"

#include <sys/utsname.h>

#include <cstdio>

namespace rm7 {

OsVersionInfo GetOsVersion() {
    OsVersionInfo info;
    utsname name{};
    if (::uname(&name) != 0) {
        return info;
    }
    std::sscanf(name.release, "%u.%u.%u", &info.major, &info.minor, &info.build);
    info.text = std::string(name.sysname) + " " + name.release;
    return info;
}

}  // namespace rm7
