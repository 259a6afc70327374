#include "platform/os_version.h"

#include <cstdio>

#include "platform/win/wide_text.h"

namespace rm7 {

namespace {

// The true version: GetVersionEx answers what the program's manifest claims to know.
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

}  // namespace

OsVersionInfo GetOsVersion() {
    OsVersionInfo info;
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto get =
        ntdll != nullptr
            ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
    if (get == nullptr || get(&v) != 0) {
        return info;
    }
    info.major = v.dwMajorVersion;
    info.minor = v.dwMinorVersion;
    info.build = v.dwBuildNumber;
    char text[64];
    std::snprintf(text, sizeof text, "Windows %lu.%lu.%lu", v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber);
    info.text = text;
    return info;
}

}  // namespace rm7
