#pragma once

#include "support/Run.h"

#include <string>
#include <vector>

// A finished child process with the resources it used.
struct MeasuredRun : RunResult {
    long peakKb = 0;       // peak resident memory of the child, in KiB (under an
                           // emulator: the emulator's, which holds the program's)
    bool hung = false;     // killed after the guard ran out
};

// Runs `program` like runProgram (args[0] is the name the program sees) in
// `workDir`, standard output discarded unless `keepStdout`. A child still
// running after `guardSeconds` is killed and reported as hung; the guard is
// a generous hang detector, not a timing. POSIX only; it shares the child
// handling of runProgram in Run.cpp.
MeasuredRun runMeasured(const std::string& program, const std::vector<std::string>& args,
                        const std::string& workDir, int guardSeconds = 120, bool keepStdout = false);
