#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

// Reading the programs' input files, and telling when an output would
// overwrite one.

// True when `output` names the file `input`: the same name, or another name
// (or a hard link) of the same existing file.
bool namesSameFile(const std::string& input, const std::string& output);

// What reading a whole file gave.
struct InputBytes {
    bool opened = false;   // false: the file could not be opened
    bool complete = false; // read to its end, without an error and within the limit
    bool tooLarge = false; // longer than the limit: reading stopped past it
    std::vector<unsigned char> bytes; // what was read
};

// Reads the file `name` to its end, or until more than `limit` bytes came.
// A file that opens but cannot be read (a directory) gives what could be
// read.
InputBytes readInputFile(const std::string& name,
                         std::size_t limit = std::numeric_limits<std::size_t>::max());
