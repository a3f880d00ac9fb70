#include "app/InputFile.h"

#include "app/FileAccess.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

bool namesSameFile(const std::string& input, const std::string& output)
{
    if (output == input)
        return true;
    std::error_code error; // false when either does not exist
    return std::filesystem::equivalent(filePath(input), filePath(output), error);
}

InputBytes readInputFile(const std::string& name, std::size_t limit)
{
    InputBytes result;
    std::FILE* in = openFile(name, "rb");
    if (in == nullptr)
        return result;
    result.opened = true;
    // Sized once from the file's size where it has one (not a pipe).
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(filePath(name), error);
    if (!error && size <= std::uintmax_t{1} << 31)
        result.bytes.reserve(std::min(static_cast<std::size_t>(size), limit));
    unsigned char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        result.bytes.insert(result.bytes.end(), buffer, buffer + n);
        if (result.bytes.size() > limit) {
            result.tooLarge = true;
            break;
        }
    }
    result.complete = std::ferror(in) == 0 && !result.tooLarge;
    std::fclose(in);
    return result;
}
