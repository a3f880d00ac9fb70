#pragma once

#include <string>
#include <vector>

// What a finished child process left behind.
struct RunResult {
    int status = -1;  // exit status; 128 + signal number when killed by a signal
    std::string out;  // everything written to standard output
    std::string err;  // everything written to standard error
};

// Runs `program` with the argument vector `args` (args[0] is the name the
// program sees) in the directory `workDir` and waits for it. When
// `stdoutPath` is given, standard output goes to that file instead.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const std::string& stdoutPath = "");
