#pragma once

#include <cstdarg>
#include <string>

// The text of console lines, made from printf formats.

// Appends the text `fmt` makes of `args`, as printf would write it.
void appendFormatted(std::string& out, const char* fmt, va_list args);
