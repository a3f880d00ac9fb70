#pragma once

#include <string>

// Collects everything the code under test writes to standard output.
// Construct before the call, then take() the bytes (exactly as written).
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Ends the capture and returns what was written.
    std::string take();

private:
    bool active_;
};

#include "core/Message.h"

// Installs the tests' console on this thread (messages straight to standard
// output) and sets its verbosity.
void setVerbosity(int level);
void setVerbosity(Level level);
