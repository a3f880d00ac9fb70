#pragma once

#include <functional>
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

#if !defined(_WIN32)
// How a child starts on POSIX systems, beyond runProgram's defaults.
struct ChildOptions {
    // The child's file-size limit (RLIMIT_FSIZE) in bytes, with SIGXFSZ
    // ignored: a write past it fails as on a full disk. -1: no limit.
    long long fileSizeLimit = -1;
    // Started by root, the child runs as user and group 65534 instead, for
    // whom permissions hold.
    bool dropRoot = false;
    // Called with the child's process id before its output is read.
    std::function<void(int pid)> started;
};

// runProgram, with the child started as `options` say.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const ChildOptions& options);
#endif
