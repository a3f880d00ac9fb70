#include "core/ConsoleFormat.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// One conversion of the kinds the converter's formats use: %d, %u and %x
// with a width (blanks, or zeros with a leading 0) and the h length, %s,
// %g and %%.
struct Conversion {
    bool zeros = false;
    int width = 0;
    bool half = false; // h: the value is a short
    char kind = 0;     // d, u, x, s, g or %; 0 for any other
    const char* end = nullptr;
};

Conversion parse(const char* p)
{
    Conversion c;
    ++p; // the '%'
    if (*p == '0') {
        c.zeros = true;
        ++p;
    }
    for (; *p >= '0' && *p <= '9' && c.width < 100; ++p)
        c.width = c.width * 10 + (*p - '0');
    if (*p == 'h') {
        c.half = true;
        ++p;
    }
    if (*p == 'd' || *p == 'u' || *p == 'x' || (*p == 's' && !c.zeros && !c.half) ||
        ((*p == '%' || *p == 'g') && c.width == 0 && !c.zeros && !c.half))
        c.kind = *p;
    c.end = *p != '\0' ? p + 1 : p;
    return c;
}

} // namespace

// The conversions the converter's own formats use are made here, as printf
// makes them; any other is copied as it stands, and takes no value.
void appendFormatted(std::string& out, const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    for (const char* p = fmt;;) {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out.append(p);
            break;
        }
        out.append(p, static_cast<std::size_t>(percent - p));
        const Conversion c = parse(percent);
        if (c.kind == 0) {
            out.append(percent, c.end);
        } else if (c.kind == '%') {
            out += '%';
        } else if (c.kind == 's') {
            const char* text = va_arg(copy, const char*);
            const std::size_t length = std::strlen(text != nullptr ? text : "(null)");
            if (static_cast<std::size_t>(c.width) > length)
                out.append(static_cast<std::size_t>(c.width) - length, ' ');
            out.append(text != nullptr ? text : "(null)");
        } else if (c.kind == 'g') {
            // printf's own: not every standard library here makes %g with to_chars.
            char digits[32];
            const int length = std::snprintf(digits, sizeof digits, "%g", va_arg(copy, double));
            out.append(digits, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof digits) - 1)));
        } else {
            const int value = va_arg(copy, int);
            char digits[16];
            char* end = nullptr;
            if (c.kind == 'd')
                end = std::to_chars(digits, digits + sizeof digits, c.half ? static_cast<short>(value) : value).ptr;
            else
                end = std::to_chars(digits, digits + sizeof digits,
                                    c.half ? static_cast<unsigned short>(value) : static_cast<unsigned>(value),
                                    c.kind == 'x' ? 16 : 10)
                          .ptr;
            const auto length = static_cast<int>(end - digits);
            if (c.width > length) {
                const auto pad = static_cast<std::size_t>(c.width - length);
                if (c.zeros && digits[0] == '-') {
                    out += '-';
                    out.append(pad, '0');
                    out.append(digits + 1, end);
                    p = c.end;
                    continue;
                }
                out.append(pad, c.zeros ? '0' : ' ');
            }
            out.append(digits, end);
        }
        p = c.end;
    }
    va_end(copy);
}

std::string formatted(const char* fmt, ...)
{
    std::string out;
    va_list args;
    va_start(args, fmt);
    appendFormatted(out, fmt, args);
    va_end(args);
    return out;
}
