#pragma once

// Whether the program should wait for Enter before it ends. On Windows a
// console program started from Explorer (a double click, a file dropped on
// it) gets a console window of its own, which closes the moment it ends and
// takes the report with it. It is then the console's only process; started
// from a command prompt there are at least two. Without the console as
// standard input there is nobody to press Enter, so it never waits then.
bool waitBeforeClosing(bool isWindows, unsigned consoleProcesses, bool stdinIsConsole);

// Asks on standard output for Enter and waits for a line, when
// waitBeforeClosing says so for the running process; otherwise does nothing.
void waitIfOwnConsoleWindow();
