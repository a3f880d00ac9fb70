// Tests of the console formats: text as printf makes it.
#include "core/ConsoleFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// What vsnprintf makes of `fmt`: the oracle.
std::string printed(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    char text[2048];
    const int n = std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(text, static_cast<std::size_t>(n));
}

// What appendFormatted adds to a text that holds something already.
std::string appended(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string out = "before|";
    appendFormatted(out, fmt, args);
    va_end(args);
    return out;
}

// Every format, with numbers at the ends of the int range and texts long
// and short, made as printf makes it.
TEST(ConsoleFormatTest, FormatsMakeWhatPrintfMakes)
{
    const std::string longText(600, 'y');
    const std::vector<std::string> formats = {
        "plain line\n", "two\nlines\n", "no line end", "%d\n", "note %d ch %d note %d.\n",
        "%d%d%d%d%d%d%d%d%d\n", "%d %s %d%%\n", "%5d|%x\n", std::string(300, 'x') + "%d\n", "%02x|%hu|%3d+%d/%d|%hd|%u\n",
        "%03d %5s %08x\n",
    };
    const int v[] = {INT_MIN, -1, 0, 7, INT_MAX, 123456, -99, 1, 42};
    for (const std::string& format : formats) {
        const char* fmt = format.c_str();
        const bool text = format.find("%s") != std::string::npos || format.find("%5s") != std::string::npos;
        for (const char* word : {"word", longText.c_str()}) {
            // The values as the format takes them: a text second where it has one.
            const std::string expected = text ? printed(fmt, v[0], word, v[1])
                                              : printed(fmt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
            const std::string made = text ? appended(fmt, v[0], word, v[1])
                                          : appended(fmt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
            EXPECT_EQ(made, "before|" + expected) << format;
        }
    }
}

// A tempo or a position as %g prints it: six significant digits, then the
// exponent form.
TEST(ConsoleFormatTest, DoublesAsPrintfMakesThem)
{
    for (const double value : {0.0, 1.0, 80.0, 125.5, 1.0 / 3, 60000000.0 / 7, 123456.5, 1234567.0, 1e-4, 1e-5,
                               -2.5, 6e7})
        EXPECT_EQ(appended("x %g @ %d\n", value, 3), "before|" + printed("x %g @ %d\n", value, 3)) << value;
}

} // namespace
