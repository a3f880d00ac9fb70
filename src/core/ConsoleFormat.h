#pragma once

#include <cstdarg>
#include <string>

// The text of console lines, made from printf formats.

// Appends the text `fmt` makes of `args`, as printf would write it.
void appendFormatted(std::string& out, const char* fmt, va_list args);

// The text `fmt` makes of the values that follow, as printf would write it.
std::string formatted(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
