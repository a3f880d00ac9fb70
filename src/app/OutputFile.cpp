#include "app/OutputFile.h"

#include "app/FileAccess.h"

#include <atomic>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::string_view partial = ".partial";
// The output's own name goes into the temporary name up to this many bytes,
// so that a long name still leaves room for the rest.
constexpr std::size_t keptNameBytes = 64;

// What is found under the output's name.
enum class Found { Nothing, PlainFile, Other };

// The folder part of `name` (up to its last separator) and the rest.
std::pair<std::string, std::string> splitName(const std::string& name)
{
#if defined(_WIN32)
    const std::size_t cut = name.find_last_of("/\\:");
#else
    const std::size_t cut = name.find_last_of('/');
#endif
    if (cut == std::string::npos)
        return {"", name};
    return {name.substr(0, cut + 1), name.substr(cut + 1)};
}

// `name` cut to `bytes` at most, not inside a UTF-8 sequence.
std::string cutName(const std::string& name, std::size_t bytes)
{
    if (name.size() <= bytes)
        return name;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

// True for "PREFIX<digits>.partial".
template <typename Char>
bool isTemporaryName(std::basic_string_view<Char> name, std::basic_string_view<Char> prefix)
{
    if (name.size() <= prefix.size() + partial.size() || name.substr(0, prefix.size()) != prefix)
        return false;
    const auto tail = name.substr(name.size() - partial.size());
    for (std::size_t i = 0; i < partial.size(); ++i)
        if (tail[i] != static_cast<Char>(partial[i]))
            return false;
    for (std::size_t i = prefix.size(); i < name.size() - partial.size(); ++i)
        if (name[i] < Char('0') || name[i] > Char('9'))
            return false;
    return true;
}

// Removes the temporary files of `prefix` in `folder` last written before `start`.
void removeStale(const std::string& folder, const std::string& prefix, fs::file_time_type start)
{
    const fs::path::string_type prefixName = filePath(prefix).native();
    std::error_code error;
    fs::directory_iterator entry(filePath(folder.empty() ? "." : folder), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const fs::path::string_type name = entry->path().filename().native();
        if (!isTemporaryName<fs::path::value_type>(name, prefixName))
            continue;
        std::error_code ignored;
        if (entry->is_regular_file(ignored) && entry->last_write_time(ignored) < start)
            fs::remove(entry->path(), ignored);
    }
}

#if defined(_WIN32)

std::atomic<const wchar_t*> pendingTemporary{nullptr};

BOOL WINAPI onConsoleEvent(DWORD)
{
    // The file is open with deletion shared: it goes when the process ends.
    if (const wchar_t* name = pendingTemporary.load())
        DeleteFileW(name);
    return FALSE; // the console's own handling ends the process as before
}

Found find(const std::string& name)
{
    const HANDLE handle =
        CreateFileW(filePath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Found::Nothing : Found::Other;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    CloseHandle(handle);
    return plain ? Found::PlainFile : Found::Other;
}

std::FILE* createTemporary(const std::string& temporary, const std::string&, const char* mode)
{
    const HANDLE handle = CreateFileW(filePath(temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const bool text = std::string_view(mode).find('b') == std::string_view::npos;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | (text ? _O_TEXT : _O_BINARY));
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, mode);
    if (file == nullptr)
        _close(fd);
    return file;
}

bool replace(const std::string& temporary, const std::string& name)
{
    return MoveFileExW(filePath(temporary).c_str(), filePath(name).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string processId()
{
    return std::to_string(GetCurrentProcessId());
}

void watchInterrupts(const std::string& temporary)
{
    static std::wstring name;
    name = filePath(temporary).native();
    pendingTemporary.store(name.c_str());
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void unwatchInterrupts()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    pendingTemporary.store(nullptr);
}

#else

std::atomic<const char*> pendingTemporary{nullptr};
constexpr int interrupts[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[std::size(interrupts)];

extern "C" void onInterrupt(int signal)
{
    if (const char* name = pendingTemporary.load())
        unlink(name);
    // The handler was reset on entry: the signal now ends the run as before.
    raise(signal);
}

Found find(const std::string& name)
{
    struct stat status{};
    if (lstat(name.c_str(), &status) != 0)
        return errno == ENOENT ? Found::Nothing : Found::Other;
    return S_ISREG(status.st_mode) ? Found::PlainFile : Found::Other;
}

// The new file, with the permission bits (and, where allowed, the owner) of
// the file it replaces.
std::FILE* createTemporary(const std::string& temporary, const std::string& replaced, const char*)
{
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat status{};
    if (!replaced.empty() && stat(replaced.c_str(), &status) == 0) {
        if (fchown(fd, status.st_uid, status.st_gid) != 0) {
            // Only the owner's group may change, or nothing: the new file is the runner's.
        }
        fchmod(fd, status.st_mode & 07777);
    }
    std::FILE* file = fdopen(fd, "w"); // text and binary are one here
    if (file == nullptr)
        close(fd);
    return file;
}

bool replace(const std::string& temporary, const std::string& name)
{
    return std::rename(temporary.c_str(), name.c_str()) == 0;
}

std::string processId()
{
    return std::to_string(getpid());
}

void watchInterrupts(const std::string& temporary)
{
    pendingTemporary.store(temporary.c_str());
    for (std::size_t i = 0; i < std::size(interrupts); ++i) {
        struct sigaction action{};
        action.sa_handler = onInterrupt;
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(interrupts[i], nullptr, &previous[i]);
        // A signal the run was told to ignore stays ignored.
        if (previous[i].sa_handler != SIG_IGN)
            sigaction(interrupts[i], &action, nullptr);
    }
}

void unwatchInterrupts()
{
    for (std::size_t i = 0; i < std::size(interrupts); ++i)
        sigaction(interrupts[i], &previous[i], nullptr);
    pendingTemporary.store(nullptr);
}

#endif

} // namespace

OutputFile::OutputFile(std::string program)
    : program_(std::move(program)), start_(fs::file_time_type::clock::now())
{
}

OutputFile::~OutputFile()
{
    abandon();
}

bool OutputFile::open(const std::string& name, const char* mode)
{
    abandon();
    name_ = name;
    const Found found = find(name);
    if (found == Found::Other) {
        file_ = openFile(name, mode);
        return file_ != nullptr;
    }
    if (found == Found::PlainFile) {
        // A file that would not open for writing is not replaced either.
        std::FILE* probe = openFile(name, "ab");
        if (probe == nullptr)
            return false;
        std::fclose(probe);
    }
    const auto [folder, base] = splitName(name);
    const std::string prefix = cutName(base, keptNameBytes) + "." + program_ + "-";
    removeStale(folder, prefix, start_);
    temporary_ = folder + prefix + processId() + std::string(partial);
    watchInterrupts(temporary_);
    file_ = createTemporary(temporary_, found == Found::PlainFile ? name : "", mode);
    if (file_ == nullptr) {
        unwatchInterrupts();
        temporary_.clear();
    }
    return file_ != nullptr;
}

bool OutputFile::commit()
{
    if (file_ == nullptr)
        return false;
    // A full disk shows up only when the stream is flushed or closed.
    bool written = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    written = std::fclose(file_) == 0 && written;
    file_ = nullptr;
    if (temporary_.empty())
        return written;
    if (!written || !replace(temporary_, name_)) {
        abandon();
        return false;
    }
    unwatchInterrupts();
    temporary_.clear();
    return true;
}

void OutputFile::abandon()
{
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    if (temporary_.empty())
        return;
    std::error_code ignored;
    fs::remove(filePath(temporary_), ignored);
    unwatchInterrupts();
    temporary_.clear();
}
