// Running the kavsite program in tests: each argument is passed as one
// argument (as a shell passes them), standard output and standard error are
// collected apart, and a hang becomes a test failure.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kavsite_test {

struct RunResult {
    int status;  // exit status; -1 when the program did not exit normally
    std::string output;  // standard output, where the program reports
    std::string errors;  // standard error (sanitizer reports)
};

// Runs the program with `args` (each one argument, as a shell passes them)
// in `cwd`. `as_nobody`: when the tests run as root, the program runs as
// user nobody so that permissions apply.
inline RunResult run_kavsite(const std::vector<std::string>& args, const std::string& cwd, bool as_nobody = false) {
    int out_fds[2], err_fds[2];
    EXPECT_EQ(pipe(out_fds), 0);
    EXPECT_EQ(pipe(err_fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_fds[1], 1);
        dup2(err_fds[1], 2);
        close(out_fds[0]);
        close(out_fds[1]);
        close(err_fds[0]);
        close(err_fds[1]);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        if (as_nobody && geteuid() == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
        }
        std::vector<char*> argv;
        argv.push_back((char*)KAVSITE_BINARY);
        // Every build makes a connection test; in tests it goes to a local
        // port that refuses, so nothing leaves the machine. It comes first so
        // that no argument of the case can take it as its value.
        bool has_consent = false;
        for (const std::string& a : args) has_consent = has_consent || a.find("consent_url") != std::string::npos;
        std::string consent = "consent_url=https://127.0.0.1:1/save";
        if (!has_consent) argv.push_back((char*)consent.c_str());
        for (const std::string& a : args) argv.push_back((char*)a.c_str());
        argv.push_back(nullptr);
        execv(KAVSITE_BINARY, argv.data());
        _exit(127);
    }
    close(out_fds[1]);
    close(err_fds[1]);
    RunResult result = {-1, "", ""};
    // A generous limit turns a hang into a failure instead of a stuck test.
    time_t give_up = time(nullptr) + 120;
    struct pollfd fds[2] = {{out_fds[0], POLLIN, 0}, {err_fds[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.output, &result.errors};
    int open_count = 2;
    char buffer[4096];
    while (open_count > 0) {
        int ready = poll(fds, 2, 1000);
        if (ready == 0 && time(nullptr) > give_up) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << "kavsite did not finish";
            break;
        }
        for (int i = 0; i < 2 && ready > 0; i += 1) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
            if (n > 0) {
                sinks[i]->append(buffer, (size_t)n);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_count -= 1;
            }
        }
    }
    for (struct pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

}  // namespace kavsite_test
