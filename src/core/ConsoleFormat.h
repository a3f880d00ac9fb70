#pragma once

#include "core/Diagnostic.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The text of console lines, made from printf formats: the level labels,
// the formatting itself, and what a format holds, worked out once so that
// the lines a large file prints hundreds of thousands of times cost little.

// The width the level labels are padded to, as printed.
inline constexpr std::size_t labelWidth = 8;
// The longest format, and the most conversions, a line of numbers is made
// in place for.
inline constexpr std::size_t quickLength = 200;
inline constexpr std::size_t quickConversions = 8;

// The labels of the levels, "FATAL:" to "All:", padded with blanks to
// labelWidth.
inline constexpr const char* paddedLabels[10] = {
    "FATAL:  ", "ERROR:  ", "FORMAT: ", "WARN:   ", "Output: ",
    "Info:   ", "Notice: ", "Debug:  ", "Ignore: ", "All:    ",
};

// The padded label of `level` (0..9).
inline const char* paddedLabel(Level level)
{
    return paddedLabels[static_cast<int>(level)];
}

// Appends the text `fmt` makes of `args`, as printf would write it.
void appendFormatted(std::string& out, const char* fmt, va_list args);

// What a format string holds, as describeFormat found it.
struct FormatInfo {
    const char* fmt = nullptr; // the string described (null: no entry)
    std::string text;          // what it held then, to tell a reused buffer
    Level level = Level::Fatal; // the level it was described at
    std::size_t length = 0;    // its length
    bool plain = false;        // no conversion: printed as it stands
    bool numbers = false;      // no conversion but %d
    int count = 0;             // numbers: how many
    bool oneLine = false;      // a single line end, at the end
    std::string line;          // plain and one line: the line as printed
    // Numbers and one line, short: where each %d stands, so that the
    // line is made without looking for them again.
    std::vector<std::uint16_t> conversions;
    bool quickNumbers = false;
};

// Describes `fmt`, printed at `level`, into `info`.
void describeFormat(FormatInfo& info, Level level, const char* fmt);
