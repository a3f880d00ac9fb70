#include "support/Capture.h"

#include <cstdio>
#include <utility>

namespace {

// Where the tests' console writes now: a capture's text, or standard output.
thread_local std::string* capturedText = nullptr;

// The tests' console: a record whose sink writes to the capture in force or
// to standard output, at the level the test sets.
Message& testConsole()
{
    // The record may be handed text from another thread (work run side by
    // side gives its output through it): the capture is this thread's.
    thread_local Message console([slot = &capturedText](const ConsoleText& piece) {
        if (*slot != nullptr)
            (*slot)->append(piece.text);
        else
            std::fwrite(piece.text.data(), 1, piece.text.size(), stdout);
    });
    thread_local MessageScope scope(console);
    return console;
}

} // namespace

ConsoleCapture::ConsoleCapture() : previous_(capturedText), active_(true)
{
    testConsole();
    flushMessages();
    capturedText = &text_;
}

ConsoleCapture::~ConsoleCapture()
{
    if (active_)
        take();
}

std::string ConsoleCapture::take()
{
    if (active_) {
        flushMessages();
        capturedText = previous_;
        active_ = false;
    }
    return std::exchange(text_, {});
}

void setVerbosity(int level)
{
    testConsole().msgLevel = static_cast<Level>(level);
}

void setVerbosity(Level level)
{
    testConsole().msgLevel = level;
}
