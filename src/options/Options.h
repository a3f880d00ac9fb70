#pragma once

#include "core/Message.h"
#include "core/Settings.h"

#include <functional>
#include <string>
#include <vector>

// The switch letters; those followed by ':' take an argument.
inline constexpr const char* switchLetters = "ab:cd:ehklnm:op:P:s:t:uv:";

// What the command line asks for: the settings and file names of a
// conversion, or a finished run (usage text or a refusal) with its status.
struct CommandLine {
    // True when a conversion follows with the settings and names below.
    bool proceed = false;
    // The exit status of a finished run (when `proceed` is false).
    int status = 1;
    // The settings the switches give.
    Settings settings;
    // The MIDI file to read, as named.
    std::string inputName;
    // The text file to write; "-" is standard output.
    std::string outputName;
    // The console lines so far, as the verbosity in force let them through:
    // the banner, the confirmations, and the usage text or refusal.
    std::vector<ConsoleLine> lines;
    // The scanner's complaints, for standard error.
    std::string errors;
    // What the reading reported, codes and values.
    Diagnostics diagnostics;
};

// Tells whether writing `output` would overwrite the file `input`.
using SameFileCheck = std::function<bool(const std::string& input, const std::string& output)>;

// The same-file check without a file system: the names are equal.
bool sameName(const std::string& input, const std::string& output);

// Reads the command line `args` (args[0] is the program's name). Writes
// nothing and keeps no state: the result holds everything it printed.
CommandLine parseOptions(const std::vector<std::string>& args, const SameFileCheck& sameFile = sameName);
