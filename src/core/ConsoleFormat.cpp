#include "core/ConsoleFormat.h"

#include <cstddef>
#include <cstdio>

void appendFormatted(std::string& out, const char* fmt, va_list args)
{
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0)
        return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(n) + 1);
    va_copy(copy, args);
    std::vsnprintf(out.data() + start, static_cast<std::size_t>(n) + 1, fmt, copy);
    va_end(copy);
    out.resize(start + static_cast<std::size_t>(n));
}
