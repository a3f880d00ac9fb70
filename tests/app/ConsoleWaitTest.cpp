// When the program waits for Enter before it ends: only in a console window
// of its own on Windows, with someone at that console to press the key.
#include "app/ConsoleWait.h"

#include <gtest/gtest.h>

namespace {

TEST(ConsoleWaitTest, WaitsOnlyInAConsoleWindowOfItsOwn)
{
    struct Case {
        bool isWindows;
        unsigned consoleProcesses;
        bool stdinIsConsole;
        bool waits;
    };
    const Case cases[] = {
        {true, 1, true, true},    // double click or a file dropped on it in Explorer
        {true, 2, true, false},   // typed at a command prompt: the prompt keeps the window
        {true, 3, true, false},   // from a batch file started at a prompt
        {true, 1, false, false},  // input redirected: nobody could press Enter
        {true, 0, false, false},  // no console at all (pipes, a service)
        {true, 0, true, false},
        {false, 1, true, false},  // other systems leave windows to the terminal
        {false, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "windows " << c.isWindows << ", processes " << c.consoleProcesses
                                        << ", console input " << c.stdinIsConsole);
        EXPECT_EQ(waitBeforeClosing(c.isWindows, c.consoleProcesses, c.stdinIsConsole), c.waits);
    }
}

} // namespace
