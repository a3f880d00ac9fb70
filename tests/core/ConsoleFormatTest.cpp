// Tests of the console formats: text as printf makes it, and what a format
// is found to hold.
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
    char text[1024];
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

// Every format, with numbers at the ends of the int range, made as printf
// makes it; and what describeFormat finds in it.
TEST(ConsoleFormatTest, FormatsMakeWhatPrintfMakesAndAreDescribed)
{
    struct Case {
        std::string fmt;
        bool plain;
        bool numbers;
        int count;
        bool oneLine;
        bool quickNumbers;
    };
    const std::string longest = std::string(quickLength - 3, 'x') + "%d\n";
    const std::vector<Case> cases = {
        {"plain line\n", true, true, 0, true, false},
        {"two\nlines\n", true, true, 0, false, false},
        {"no line end", true, true, 0, false, false},
        {"%d\n", false, true, 1, true, true},
        {"note %d ch %d note %d.\n", false, true, 3, true, true},
        {"%d%d%d%d%d%d%d%d\n", false, true, 8, true, true},
        {"%d%d%d%d%d%d%d%d%d\n", false, true, 9, true, false},
        {"open %d ", false, true, 1, false, false},
        {"%d\nand %d\n", false, true, 2, false, false},
        {longest, false, true, 1, true, true},
        {"x" + longest, false, true, 1, true, false},
        {"%d %s %d%%\n", false, false, 1, true, false},
        {"%5d|%x|%c\n", false, false, 0, true, false},
    };
    const int v[] = {INT_MIN, -1, 0, 7, INT_MAX, 123456, -99, 1, 42};
    for (const Case& c : cases) {
        const char* fmt = c.fmt.c_str();
        const bool text = c.fmt.find("%s") != std::string::npos;
        // The values as the format takes them: a text second where it has one.
        const std::string expected = text ? printed(fmt, v[0], "word", v[1])
                                          : printed(fmt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
        const std::string made = text ? appended(fmt, v[0], "word", v[1])
                                      : appended(fmt, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
        EXPECT_EQ(made, "before|" + expected) << c.fmt;

        FormatInfo info;
        describeFormat(info, Level::Warn, fmt);
        EXPECT_EQ(info.length, c.fmt.size()) << c.fmt;
        EXPECT_EQ(info.plain, c.plain) << c.fmt;
        EXPECT_EQ(info.numbers, c.numbers) << c.fmt;
        if (c.numbers) {
            EXPECT_EQ(info.count, c.count) << c.fmt;
        }
        EXPECT_EQ(info.oneLine, c.oneLine) << c.fmt;
        EXPECT_EQ(info.quickNumbers, c.quickNumbers) << c.fmt;
        EXPECT_EQ(info.line, c.plain && c.oneLine ? "WARN:   " + c.fmt : "") << c.fmt;
    }
}

} // namespace
