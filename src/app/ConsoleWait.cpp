// Keeps a console window that the program opened for itself on the screen
// until its report has been read.
#include "app/ConsoleWait.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

bool waitBeforeClosing(bool isWindows, unsigned consoleProcesses, bool stdinIsConsole)
{
    return isWindows && consoleProcesses == 1 && stdinIsConsole;
}

namespace {

#ifdef _WIN32
constexpr bool isWindows = true;

// The processes attached to this process's console; 0 without a console.
unsigned consoleProcesses()
{
    DWORD list[2];
    return GetConsoleProcessList(list, 2);
}

bool stdinIsConsole()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return input != nullptr && input != INVALID_HANDLE_VALUE && GetFileType(input) == FILE_TYPE_CHAR &&
           GetConsoleMode(input, &mode) != 0;
}
#else
constexpr bool isWindows = false;

unsigned consoleProcesses()
{
    return 0;
}

bool stdinIsConsole()
{
    return false;
}
#endif

} // namespace

void waitIfOwnConsoleWindow()
{
    if (!waitBeforeClosing(isWindows, consoleProcesses(), stdinIsConsole()))
        return;
    std::fputs("\nPress Enter to close this window.\n", stdout);
    std::fflush(stdout);
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
}
