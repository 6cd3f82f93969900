// Running a piece of a test in a child process: a crash fails only that
// piece, and a hang or quadratic work becomes a failure after a wall-clock
// limit. The limit catches hangs; it is no measure of speed.
#pragma once

#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace kavsite_test {

// Runs `body` in a child process that exits with what `body` returns, and
// waits at most `seconds` of wall-clock time (then the child is killed).
// "" when the child exited with 0; otherwise "exit N" (the body prints why),
// "signal N" or "took more than N s".
inline std::string run_in_child(const std::function<int()>& body, int seconds) {
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        int code = body();
        fflush(stdout);
        fflush(stderr);
        _exit(code);
    }
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? "" : "exit " + std::to_string(WEXITSTATUS(status));
            if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
            return "unknown status " + std::to_string(status);
        }
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec >= seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return "took more than " + std::to_string(seconds) + " s";
        }
        usleep(2000);
    }
}

}  // namespace kavsite_test
