// Keeps a slip of the command line (two MIDI files named, the second taken
// as the output) from destroying a song.
#include "app/OutputCheck.h"

#include "app/FileAccess.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

bool isMidiOutput(const std::string& outputName)
{
    if (outputName == "-")
        return false;
    // Only regular files are opened: reading a pipe or a device could block
    // or take bytes meant for someone else.
    std::error_code error;
    if (!std::filesystem::is_regular_file(filePath(outputName), error))
        return false;
    std::FILE* file = openFile(outputName, "rb");
    if (file == nullptr)
        return false;
    unsigned char start[12] = {};
    const std::size_t n = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    const bool smf = n >= 4 && std::memcmp(start, "MThd", 4) == 0;
    const bool rmid = n >= 12 && std::memcmp(start, "RIFF", 4) == 0 && std::memcmp(start + 8, "RMID", 4) == 0;
    return smf || rmid;
}
