// runProgram for Windows: CreateProcessW with its standard output and error
// read through pipes. Arguments and names are UTF-8 and reach the child as
// UTF-16, as a command line typed or dropped in Explorer does.
#include "support/Run.h"

#include <windows.h>

#include <functional>
#include <thread>

namespace {

// One argument as the C runtime's command-line parser gives it back:
// quoted when needed, with backslashes doubled only before a quote.
std::string quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + '"';
}

// The program name is taken up to the next blank, or between quotes, with
// every backslash as it stands.
std::string commandLine(const std::vector<std::string>& args)
{
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i == 0)
            line += args[0].find_first_of(" \t") == std::string::npos ? args[0] : '"' + args[0] + '"';
        else
            line += ' ' + quote(args[i]);
    }
    return line;
}

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
    return result;
}

void readAll(HANDLE pipe, std::string& sink)
{
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0)
        sink.append(buffer, n);
}

void closeAll(std::initializer_list<HANDLE> handles)
{
    for (HANDLE h : handles)
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
}

} // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const std::string& stdoutPath)
{
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    HANDLE errRead = nullptr;
    HANDLE errWrite = nullptr;
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ready = input != INVALID_HANDLE_VALUE && CreatePipe(&errRead, &errWrite, &inherit, 0) &&
                 SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    if (ready && stdoutPath.empty()) {
        ready = CreatePipe(&outRead, &outWrite, &inherit, 0) && SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    } else if (ready) {
        outWrite = CreateFileW(wide(stdoutPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ready = outWrite != INVALID_HANDLE_VALUE;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    std::wstring line = wide(commandLine(args));
    const std::wstring directory = wide(workDir);
    ready = ready && CreateProcessW(wide(program).c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                    nullptr, workDir.empty() ? nullptr : directory.c_str(), &startup, &process);

    // Only the child may hold the writing ends, so that the pipes end with it.
    closeAll({input, outWrite, errWrite});
    if (!ready) {
        closeAll({outRead, errRead});
        return result;
    }

    std::thread errReader(readAll, errRead, std::ref(result.err));
    if (outRead != nullptr)
        readAll(outRead, result.out);
    errReader.join();

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code))
        result.status = static_cast<int>(code);
    closeAll({process.hProcess, process.hThread, outRead, errRead});
    return result;
}
