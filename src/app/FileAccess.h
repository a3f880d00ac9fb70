#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The program's edge with the file system and the console. Inside, file
// names are UTF-8 strings on every platform; on Windows they are turned
// into UTF-16 for the system here, and nowhere else.

// The arguments of the program as UTF-8 strings; on Windows they come from
// the UTF-16 command line, so that no name loses a character.
std::vector<std::string> programArguments(int argc, char* argv[]);

// Opens the file `name` with the C runtime's `mode` ("rb", "wt", ...).
std::FILE* openFile(const std::string& name, const char* mode);

// The file `name` as a path of the file system.
std::filesystem::path filePath(const std::string& name);

// Whether `stream` is an interactive terminal (a console window).
bool isTerminal(std::FILE* stream);

// While it lives, a console window shows the program's UTF-8 output as
// such (Windows); the console's own code page comes back afterwards.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned previous_ = 0; // the code page to restore; 0 for none
};
