#include <gtest/gtest.h>

#include <string>

#include "local_server.h"
#include "urlcheck/url_pool.h"

namespace {

// The child's part: start requests on a pool and its background connection
// test, then end the process while they are still running.
void exit_child(const char* url, const char* ca, int delay_ms) {
    os_init();
    http_global_init();
    UrlSettings settings = {};
    settings.consent_url = string_from_cstr(url);
    settings.ca_file = string_from_cstr(ca);
    settings.worker_count = 2;
    url_settings_set(&settings);
    UrlCheckPool* pool = url_pool_create(&settings);
    url_pool_start_workers(pool);
    UrlCheckJob job = {string_from_cstr(url), S("a.kav:1:1"), 0, 0};
    url_pool_submit(pool, &job, DEADLINE_NONE);
    url_pool_test_connection(pool, false);
    os_sleep((u64)delay_ms);
    exit(0);
}

// A build that does not check URLs ends while the connection test may still
// be in flight; the process must still end cleanly, whatever point the
// request has reached (before the fix about one exit in twenty crashed in
// the TLS library's exit-time teardown).
TEST(HttpExit, ProcessEndsCleanlyWhileRequestsRun) {
    if (const char* url = getenv("KAVSITE_EXIT_CHILD_URL")) {
        exit_child(url, getenv("KAVSITE_EXIT_CHILD_CA"), atoi(getenv("KAVSITE_EXIT_CHILD_DELAY")));
    }
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    std::string url = server->https("/slow/5");
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    int failures = 0;
    for (int i = 0; i < 100; i += 1) {
        pid_t pid = fork();
        if (pid == 0) {
            setenv("KAVSITE_EXIT_CHILD_URL", url.c_str(), 1);
            setenv("KAVSITE_EXIT_CHILD_CA", server->ca_file.c_str(), 1);
            setenv("KAVSITE_EXIT_CHILD_DELAY", std::to_string(i % 6).c_str(), 1);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(self, self, "--gtest_filter=HttpExit.ProcessEndsCleanlyWhileRequestsRun", (char*)0);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!clean) failures += 1;
        EXPECT_TRUE(clean) << "run " << i << ": status " << status;
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
