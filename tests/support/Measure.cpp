#include "support/Measure.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

MeasuredRun runMeasured(const std::string& program, const std::vector<std::string>& args,
                        const std::string& workDir, int guardSeconds, bool keepStdout)
{
    MeasuredRun result;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return result;

    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    for (auto& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Under AddressSanitizer, freed memory waits in a quarantine (256 MB by
    // default) that would count as the program's own; keep it small.
    const char* asan = getenv("ASAN_OPTIONS");
    const std::string asanOptions = std::string(asan != nullptr ? asan : "") + (asan != nullptr ? ":" : "") +
                                    "quarantine_size_mb=16";

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
        if (!workDir.empty() && chdir(workDir.c_str()) != 0)
            _exit(126);
        if (keepStdout) {
            dup2(outPipe[1], STDOUT_FILENO);
        } else {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            close(null);
        }
        dup2(errPipe[1], STDERR_FILENO);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            close(fd);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }

    // Collect both streams until the child closes them or the guard runs out.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openPipes = 2;
    while (openPipes > 0) {
        using std::chrono::milliseconds;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.hung = true;
            kill(pid, SIGKILL);
            break;
        }
        const int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);

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
