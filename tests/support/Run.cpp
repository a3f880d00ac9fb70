// Child processes for the end-to-end tests on POSIX systems: fork/exec with
// pipes for standard output and error, an optional hang guard and the
// child's peak memory. In a cross build tested under an emulator
// (MIDI2VARN_EMULATOR, the emulator's command as C strings) children start
// through the emulator.
#include "support/Measure.h"
#include "support/Run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

#ifdef MIDI2VARN_EMULATOR
const char* const emulator[] = MIDI2VARN_EMULATOR;
#endif

// Where the child's standard output goes and how long it may run.
struct ChildSetup {
    std::string stdoutPath; // a file to write it to, or "" for the pipe
    bool discardStdout = false;
    int guardSeconds = 0;   // 0: wait as long as it takes
    bool smallQuarantine = false;
    ChildOptions options;
};

// In the child, after fork: the limits and the user of `options`.
void applyOptions(const ChildOptions& options)
{
    if (options.fileSizeLimit >= 0) {
        signal(SIGXFSZ, SIG_IGN); // stays ignored across exec
        const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(126);
    }
    if (options.dropRoot && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
}

// Reads both pipes until the child has closed them or the guard runs out;
// false when it ran out.
bool drain(int outFd, int errFd, std::string& out, std::string& err, int guardSeconds)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(guardSeconds);
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = (outFd >= 0 ? 1 : 0) + 1;
    while (open > 0) {
        int timeout = -1;
        if (guardSeconds > 0) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            if (left <= 0)
                return false;
            timeout = static_cast<int>(left);
        }
        const int ready = poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return true;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

MeasuredRun runChild(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const ChildSetup& setup)
{
    MeasuredRun result;
    const bool pipeStdout = setup.stdoutPath.empty() && !setup.discardStdout;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};

    std::vector<std::string> copies(args);
#ifdef MIDI2VARN_EMULATOR
    // The emulator runs the program; qemu hands the program args[0] from
    // QEMU_ARGV0 (other emulators ignore it).
    const std::string argv0 = copies.empty() ? program : copies.front();
    if (copies.empty())
        copies.push_back(program);
    else
        copies.front() = program;
    copies.insert(copies.begin(), std::begin(emulator), std::end(emulator));
    const std::string executable = emulator[0];
#else
    const std::string& executable = program;
#endif
    std::vector<char*> argv;
    for (auto& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Under AddressSanitizer freed memory waits in a quarantine (256 MB by
    // default) that would count as the program's own; keep it small.
    std::string asanOptions;
    if (setup.smallQuarantine) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        asanOptions = std::string(asan != nullptr ? asan : "") + (asan != nullptr ? ":" : "") +
                      "quarantine_size_mb=16";
    }

    // A busy machine may refuse a pipe or a process for a moment (EAGAIN,
    // ENOMEM); such a refusal is retried for a few seconds rather than
    // failing a test that has nothing to do with it.
    pid_t pid = -1;
    for (int attempt = 0;; ++attempt) {
        errno = 0;
        if ((!pipeStdout || pipe(outPipe) == 0) && pipe(errPipe) == 0) {
            pid = fork();
            if (pid >= 0)
                break;
        }
        const int reason = errno;
        for (int* fds : {outPipe, errPipe})
            for (int i = 0; i < 2; ++i)
                if (fds[i] >= 0) {
                    close(fds[i]);
                    fds[i] = -1;
                }
        const bool passing = reason == EAGAIN || reason == ENOMEM || reason == EMFILE || reason == ENFILE;
        if (!passing || attempt == 50) {
            result.err = std::string("could not start ") + executable + ": " + std::strerror(reason);
            return result;
        }
        usleep(100000);
    }
    if (pid == 0) {
        if (setup.smallQuarantine)
            setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
#ifdef MIDI2VARN_EMULATOR
        setenv("QEMU_ARGV0", argv0.c_str(), 1);
#endif
        applyOptions(setup.options);
        if (!workDir.empty() && chdir(workDir.c_str()) != 0)
            _exit(126);
        if (pipeStdout) {
            dup2(outPipe[1], STDOUT_FILENO);
        } else {
            const int fd = setup.discardStdout
                               ? open("/dev/null", O_WRONLY)
                               : open(setup.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                _exit(126);
            dup2(fd, STDOUT_FILENO);
            close(fd);
        }
        dup2(errPipe[1], STDERR_FILENO);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            if (fd >= 0)
                close(fd);
        execv(executable.c_str(), argv.data());
        _exit(127);
    }

    if (outPipe[1] >= 0)
        close(outPipe[1]);
    close(errPipe[1]);
    if (setup.options.started)
        setup.options.started(pid);
    if (!drain(outPipe[0], errPipe[0], result.out, result.err, setup.guardSeconds)) {
        result.hung = true;
        kill(pid, SIGKILL);
        for (int fd : {outPipe[0], errPipe[0]})
            if (fd >= 0)
                close(fd);
    }

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.peakKb = usage.ru_maxrss;
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    return result;
}

} // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const std::string& stdoutPath)
{
    ChildSetup setup;
    setup.stdoutPath = stdoutPath;
    return runChild(program, args, workDir, setup);
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const ChildOptions& options)
{
    ChildSetup setup;
    setup.options = options;
    return runChild(program, args, workDir, setup);
}

MeasuredRun runMeasured(const std::string& program, const std::vector<std::string>& args,
                        const std::string& workDir, int guardSeconds, bool keepStdout)
{
    ChildSetup setup;
    setup.discardStdout = !keepStdout;
    setup.guardSeconds = guardSeconds;
    setup.smallQuarantine = true;
    return runChild(program, args, workDir, setup);
}
