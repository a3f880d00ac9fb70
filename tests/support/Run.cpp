#include "support/Run.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Reads both pipes until the child has closed them.
void drain(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = (outFd >= 0 ? 1 : 0) + 1;
    if (outFd < 0)
        fds[0].fd = -1;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
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
}

} // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const std::string& stdoutPath)
{
    RunResult result;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if ((stdoutPath.empty() && pipe(outPipe) != 0) || pipe(errPipe) != 0)
        return result;

    std::vector<char*> argv;
    std::vector<std::string> copies(args);
    for (auto& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        if (!workDir.empty() && chdir(workDir.c_str()) != 0)
            _exit(126);
        if (stdoutPath.empty()) {
            dup2(outPipe[1], STDOUT_FILENO);
        } else {
            const int fd = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                _exit(126);
            dup2(fd, STDOUT_FILENO);
            close(fd);
        }
        dup2(errPipe[1], STDERR_FILENO);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            if (fd >= 0)
                close(fd);
        execv(program.c_str(), argv.data());
        _exit(127);
    }

    if (outPipe[1] >= 0)
        close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        if (outPipe[0] >= 0)
            close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    drain(outPipe[0], errPipe[0], result.out, result.err);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    return result;
}
