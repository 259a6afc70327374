#pragma once
#include <cstdarg>
#include <string>

namespace rm7 {

// printf-style formatting into a std::string; the system's texts are printf formats.
// (gnu_printf: the C99 formats everywhere, also where the C library of Windows knows fewer.)
[[gnu::format(gnu_printf, 1, 2)]] std::string StrFormat(const char* format, ...);
std::string StrFormatV(const char* format, std::va_list args);

}  // namespace rm7
