#pragma once

#include <string>

class Song;

// The command line: file names of the run, and every other setting written
// straight into the song.
class Options {
public:
    static Options* _instance;
    static int _argc;
    static char** _argv;

    std::string inputName;
    std::string outputName;

    bool parseOptions(Song* song);
    void printUsage();
};
