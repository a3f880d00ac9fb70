#include "support/Capture.h"

#include "core/Message.h"

#include <gtest/gtest.h>

StdoutCapture::StdoutCapture() : active_(true)
{
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
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

void setVerbosity(int level)
{
    Message::instance()->msgLevel = level;
}
