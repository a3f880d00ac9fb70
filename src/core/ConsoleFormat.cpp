#include "core/ConsoleFormat.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

// Appends what vsnprintf makes of `fmt`.
void formatPrintf(std::string& out, const char* fmt, va_list args)
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
    std::vsnprintf(out.data() + start, static_cast<std::size_t>(n) + 1, fmt, args);
    out.resize(start + static_cast<std::size_t>(n));
}

} // namespace

// Plain text and the conversions %d, %s and %% are done here in one pass,
// as printf does them, without its cost: the warnings of a large file can
// run to a million lines. At any other conversion the whole text is left
// to vsnprintf.
void appendFormatted(std::string& out, const char* fmt, va_list args)
{
    const std::size_t start = out.size();
    va_list copy;
    va_copy(copy, args);
    for (const char* p = fmt;;) {
        const char* percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out.append(p);
            break;
        }
        out.append(p, static_cast<std::size_t>(percent - p));
        const char conversion = percent[1];
        if (conversion == 'd') {
            char digits[16];
            const auto end = std::to_chars(digits, digits + sizeof digits, va_arg(copy, int)).ptr;
            out.append(digits, static_cast<std::size_t>(end - digits));
        } else if (conversion == 's') {
            const char* text = va_arg(copy, const char*);
            out.append(text != nullptr ? text : "(null)");
        } else if (conversion == '%') {
            out += '%';
        } else {
            out.resize(start);
            formatPrintf(out, fmt, args);
            break;
        }
        p = percent + 2;
    }
    va_end(copy);
}

void describeFormat(FormatInfo& info, Level level, const char* fmt)
{
    info.fmt = fmt;
    info.level = level;
    info.length = std::strlen(fmt);
    info.text.assign(fmt, info.length);
    info.plain = true;
    info.numbers = true;
    info.count = 0;
    for (const char* p = std::strchr(fmt, '%'); p != nullptr; p = std::strchr(p + 2, '%')) {
        info.plain = false;
        if (p[1] != 'd') {
            info.numbers = false;
            break;
        }
        ++info.count;
    }
    const char* newline = std::strchr(fmt, '\n');
    info.oneLine = newline != nullptr && newline == fmt + info.length - 1;
    info.line.clear();
    if (info.plain && info.oneLine) {
        info.line.assign(paddedLabel(level), labelWidth);
        info.line.append(fmt, info.length);
    }
    info.conversions.clear();
    info.quickNumbers = !info.plain && info.numbers && info.oneLine && info.length <= quickLength;
    if (info.quickNumbers) {
        for (const char* p = std::strchr(fmt, '%'); p != nullptr; p = std::strchr(p + 2, '%'))
            info.conversions.push_back(static_cast<std::uint16_t>(p - fmt));
        info.quickNumbers = info.conversions.size() <= quickConversions;
    }
}
