#include "support/Capture.h"

#include "core/Message.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

StdoutCapture::StdoutCapture() : active_(true)
{
    flushMessages();
    std::fflush(stdout);
    testing::internal::CaptureStdout();
}

StdoutCapture::~StdoutCapture()
{
    if (active_)
        take();
}

std::string StdoutCapture::take()
{
    active_ = false;
    flushMessages();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

namespace {

// The tests' console: straight to standard output, at the level the test sets.
Message& testConsole()
{
    static Message console([](const ConsoleText& piece) { std::fwrite(piece.text.data(), 1, piece.text.size(), stdout); });
    static MessageScope scope(console);
    return console;
}

} // namespace

void setVerbosity(int level)
{
    testConsole().msgLevel = static_cast<Level>(level);
}

void setVerbosity(Level level)
{
    testConsole().msgLevel = level;
}
