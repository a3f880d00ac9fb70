#include "app/FileAccess.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
std::wstring toWide(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string toUtf8(const wchar_t* text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
    utf8.pop_back(); // the terminating zero
    return utf8;
}
#endif

} // namespace

std::vector<std::string> programArguments(int argc, char* argv[])
{
#if defined(_WIN32)
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 0; i < count; ++i)
            args.push_back(toUtf8(wide[i]));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

std::FILE* openFile(const std::string& name, const char* mode)
{
#if defined(_WIN32)
    return _wfopen(toWide(name).c_str(), toWide(mode).c_str());
#else
    return std::fopen(name.c_str(), mode);
#endif
}

std::filesystem::path filePath(const std::string& name)
{
#if defined(_WIN32)
    return std::filesystem::path(toWide(name));
#else
    return std::filesystem::path(name);
#endif
}

bool isTerminal(std::FILE* stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

Utf8Console::Utf8Console()
{
#if defined(_WIN32)
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        previous_ = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
    }
#endif
}

Utf8Console::~Utf8Console()
{
#if defined(_WIN32)
    if (previous_ != 0)
        SetConsoleOutputCP(previous_);
#endif
}
