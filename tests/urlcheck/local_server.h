// A local HTTP(S) server for the URL check tests: a throw-away CA and a
// server certificate for localhost, www.localhost, other.localhost and
// 127.0.0.1 are made with openssl in a fresh folder under /tmp, and
// https_server.py is started on 127.0.0.1. One server per test process; it
// exits when the process ends (its standard input closes).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "base/os.h"
#include "urlcheck/http.h"

struct LocalServer {
    std::string dir;
    std::string ca_file;
    int tls_port = 0;
    int plain_port = 0;
    int silent_port = 0;  // accepts and never speaks
    int garbage_port = 0; // answers with bytes that are neither TLS nor HTTP
    pid_t pid = 0;
    int stdin_fd = -1;
    bool ok = false;

    std::string https(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "https://" + host + ":" + std::to_string(tls_port) + path;
    }
};

inline std::string local_run_capture(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    return out;
}

inline bool local_make_certificates(const std::string& dir) {
    std::string ext = dir + "/ext.cnf";
    FILE* f = fopen(ext.c_str(), "w");
    if (!f) return false;
    fputs("subjectAltName=DNS:localhost,DNS:www.localhost,DNS:other.localhost,IP:127.0.0.1\n", f);
    fclose(f);
    std::string d = dir;
    std::string cmd =
        "cd '" + d + "' && "
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem "
        "-days 2 -subj '/CN=kavsite throw-away test CA' >/dev/null 2>&1 && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr "
        "-subj '/CN=localhost' >/dev/null 2>&1 && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 "
        "-extfile ext.cnf >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

inline void local_server_stop(LocalServer* s) {
    if (s->stdin_fd >= 0) close(s->stdin_fd);
    s->stdin_fd = -1;
    if (s->pid > 0) {
        int status = 0;
        // Closing its standard input ends the server; a stuck one is killed.
        for (int i = 0; i < 50 && waitpid(s->pid, &status, WNOHANG) == 0; i += 1) usleep(20000);
        if (waitpid(s->pid, &status, WNOHANG) == 0) {
            kill(s->pid, SIGKILL);
            waitpid(s->pid, &status, 0);
        }
    }
    s->pid = 0;
    if (!s->dir.empty()) system(("rm -rf '" + s->dir + "'").c_str());
}

inline bool local_server_start(LocalServer* s) {
    char tmpl[] = "/tmp/kavsite-urlcheck-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    s->dir = tmpl;
    if (!local_make_certificates(s->dir)) return false;
    s->ca_file = s->dir + "/ca.pem";

    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) return false;
    std::string script = std::string(KAVSITE_SOURCE_DIR) + "/tests/urlcheck/https_server.py";
    std::string cert = s->dir + "/server.pem";
    std::string key = s->dir + "/server.key";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        close(in_pipe[1]);
        close(out_pipe[0]);
        execlp("python3", "python3", script.c_str(), "--cert", cert.c_str(), "--key", key.c_str(), (char*)0);
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    fcntl(in_pipe[1], F_SETFD, FD_CLOEXEC);
    s->pid = pid;
    s->stdin_fd = in_pipe[1];

    std::string line;
    char c;
    while (read(out_pipe[0], &c, 1) == 1 && c != '\n') line += c;
    close(out_pipe[0]);
    if (sscanf(line.c_str(), "tls=%d plain=%d silent=%d garbage=%d", &s->tls_port, &s->plain_port, &s->silent_port,
               &s->garbage_port) != 4) {
        return false;
    }
    s->ok = true;
    return true;
}

// The process's server, with the OS layer, libcurl and the CA file set up.
inline LocalServer* local_server() {
    static LocalServer server;
    static bool started = false;
    if (!started) {
        started = true;
        os_init();
        http_global_init();
        local_server_start(&server);
        http_set_ca_file(String{(u8*)server.ca_file.c_str(), server.ca_file.size()});
        atexit([] { local_server_stop(&server); });
    }
    return &server;
}

// A port on 127.0.0.1 that refuses connections: bound, then released.
inline int local_refused_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001);
    bind(fd, (sockaddr*)&a, sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, (sockaddr*)&a, &len);
    int port = ntohs(a.sin_port);
    close(fd);
    return port;
}
