#pragma once

#include "core/Message.h"

#include <string>

// Collects the console lines the code under test prints through the
// tests' console (see setVerbosity), from construction until take(),
// exactly as they would be printed.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Ends the capture and returns what was printed.
    std::string take();

private:
    std::string text_;
    std::string* previous_;
    bool active_;
};

// Installs the tests' console on this thread (messages to standard output,
// or to the capture in force) and sets its verbosity.
void setVerbosity(int level);
void setVerbosity(Level level);
