#pragma once

#include <cstdarg>
#include <string>

// The text of console lines, made from printf formats.

// Appends the text `fmt` makes of `args`, as printf would write it, for the
// conversions console formats use: %d, %u and %x (with a width, a leading 0
// and the h length), %s (with a width), %g and %%. Any other is copied as it
// stands and takes no value.
void appendFormatted(std::string& out, const char* fmt, va_list args);

// The text `fmt` makes of the values that follow, as appendFormatted makes it.
std::string formatted(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
