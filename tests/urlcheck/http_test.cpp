#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "local_server.h"
#include "urlcheck/http.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

TEST(HttpParseStatus, StatusLines) {
    struct Case {
        std::string head;
        u32 status;
        const char* version;
        const char* rest;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nA: b\r\n\r\n", 200, "1.1", "A: b\r\n\r\n"},
        {" \t\r\n\vHTTP/2 404 Not Found\r\n", 404, "2", ""},
        {"HTTP/1.0 301\r\nLocation: /x", 301, "1.0", "Location: /x"},
        {"HTTP/1.1 200", 200, "1.1", ""},
        {"HTTP/1.1 200 OK\n", 200, "1.1", ""},  // only CRLF ends the status line
        {"HTTP/1.1 abc\r\n", 0, "1.1", ""},
        {"HTTP/1.1", 0, "1.1", ""},
        {"HTTP/1.1 99999999999999999999 Big\r\n", 0xFFFFFFFFu, "1.1", ""},
        {"", 0, "", ""},
        {"garbage\r\nHTTP/1.1 200 OK\r\n", 0, "", ""},
        {"http/1.1 200 OK\r\n", 0, "", ""},
        {std::string("HTTP/1.1 2\0" "00 OK\r\n", 18), 2, "1.1", ""},
    };
    for (const Case& c : cases) {
        HttpStatusLine line = http_parse_status(from(c.head));
        EXPECT_EQ(line.status, c.status) << c.head;
        EXPECT_EQ(str(line.version), c.version) << c.head;
        EXPECT_EQ(str(line.rest), c.rest) << c.head;
    }
}

TEST(HttpWireUrl, SchemesAndPorts) {
    struct Case {
        const char* url;
        u32 no_redirect;
        const char* wire;
    } cases[] = {
        {"https://a.com/p", 0, "https://a.com/p"},
        {"http://a.com/p", 0, "http://a.com/p"},  // plain HTTP, redirects followed or not
        {"http://a.com/p", 1, "http://a.com/p"},
        {"HTTP://A.com", 0, "http://A.com/"},
        {"http://a.com:443/p", 0, "http://a.com:443/p"},
        {"http://a.com:80/p", 0, "http://a.com/p"},
        {"ftp://a.com/x", 0, "https://a.com:21/x"},  // other schemes go over TLS on their own port
        {"ssh://a.com", 0, "https://a.com:22/"},
        {"gopher://a.com/x", 0, "https://a.com/x"},
        {"https://a.com:8443/x", 0, "https://a.com:8443/x"},
        {"https://a.com:443/x", 0, "https://a.com/x"},
        {"http://a.com:8080/x", 1, "http://a.com:8080/x"},
        {"https://a.com?q=1", 0, "https://a.com/?q=1"},
        {"https://a.com#top", 0, "https://a.com/#top"},
        {"https://[::1]:8443/x", 0, "https://[::1]:8443/x"},
        {"a.com/x", 0, "https://a.com/x"},
        {"https://a.com:/x", 0, "https://a.com/x"},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        EXPECT_EQ(str(http_wire_url(scratch.arena, string_from_cstr(c.url), c.no_redirect)), c.wire) << c.url;
    }
}

// Every outcome the checks rely on, against the local servers. The cases run
// at once on their own threads, so the timeouts overlap.
TEST(HttpRequest, OutcomesAgainstLocalServers) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    std::string p = std::to_string(server->tls_port);
    std::string plain = std::to_string(server->plain_port);
    struct Case {
        std::string url;
        u32 method;
        u32 read_body;
        u32 no_redirect;
        std::vector<u32> errors;  // any of these
        u32 status;
        std::string body;  // expected when read_body
        std::string final_url;  // empty: the requested URL
    };
    std::vector<Case> cases = {
        {server->https("/ok"), HTTP_METHOD_GET, 1, 0, {0}, 200, "ok", ""},
        {server->https("/ok"), HTTP_METHOD_GET, 0, 0, {0}, 200, "", ""},
        {server->https("/ok"), HTTP_METHOD_HEAD, 0, 0, {0}, 200, "", ""},
        {server->https("/status/404"), HTTP_METHOD_GET, 1, 0, {0}, 404, "status", ""},
        {server->https("/www/500", "localhost"), HTTP_METHOD_GET, 1, 0, {0}, 500, "landed",
         server->https("/www/500", "www.localhost")},
        {server->https("/other/503", "localhost"), HTTP_METHOD_GET, 0, 0, {0}, 503, "",
         server->https("/other/503", "other.localhost")},
        {server->https("/www/500", "localhost"), HTTP_METHOD_GET, 0, 1, {0}, 301, "", ""},
        // A loop ends nowhere: no final answer.
        {server->https("/loop"), HTTP_METHOD_GET, 0, 0, {0}, 0, "", server->https("/loop")},
        // Slow, but well within the stall limit.
        {server->https("/slow/3000"), HTTP_METHOD_GET, 1, 0, {0}, 200, "slow", ""},
        {server->https("/endless"), HTTP_METHOD_GET, 0, 0, {0}, 200, "", ""},
        // A small announced body is read (and dropped) to keep the
        // connection, so a stall after the head runs into the timeout.
        {server->https("/head-stall"), HTTP_METHOD_GET, 0, 0, {HTTP_ERROR_TIMEOUT}, 200, "", ""},
        // The head arrived before the stall: it is kept with the timeout.
        {server->https("/head-stall"), HTTP_METHOD_GET, 1, 0, {HTTP_ERROR_TIMEOUT}, 200, "", ""},
        {server->https("/status/404"), HTTP_METHOD_GET, 0, 0, {0}, 404, "", ""},
        {server->https("/stall"), HTTP_METHOD_GET, 0, 0, {HTTP_ERROR_TIMEOUT}, 0, "", ""},
        {"https://127.0.0.1:" + std::to_string(server->silent_port) + "/", HTTP_METHOD_GET, 0, 0,
         {HTTP_ERROR_TIMEOUT}, 0, "", ""},
        {"http://127.0.0.1:" + plain + "/ok", HTTP_METHOD_GET, 1, 0, {0}, 200, "ok", ""},
        {"http://127.0.0.1:" + plain + "/ok", HTTP_METHOD_GET, 1, 1, {0}, 200, "ok", ""},
        // TLS spoken to a plain server, and plain HTTP to a TLS server.
        {"https://127.0.0.1:" + plain + "/ok", HTTP_METHOD_GET, 0, 0, {HTTP_ERROR_SECURE_CHANNEL}, 0, "", ""},
        {"http://127.0.0.1:" + p + "/ok", HTTP_METHOD_GET, 0, 0, {HTTP_ERROR_CONNECTION}, 0, "", ""},
        {"https://127.0.0.1:" + std::to_string(server->garbage_port) + "/", HTTP_METHOD_GET, 0, 0,
         {HTTP_ERROR_SECURE_CHANNEL, HTTP_ERROR_CONNECTION}, 0, "", ""},
        {server->https("/garbage"), HTTP_METHOD_GET, 0, 0, {0, HTTP_ERROR_CONNECTION}, 0, "", ""},
        {"https://127.0.0.1:" + std::to_string(local_refused_port()) + "/", HTTP_METHOD_GET, 0, 0,
         {HTTP_ERROR_CONNECTION}, 0, "", ""},
        {"https://kavsite-test.invalid/", HTTP_METHOD_GET, 0, 0, {HTTP_ERROR_NAME_NOT_RESOLVED}, 0, "", ""},
        {"https://localhost:" + p + "/ok", HTTP_METHOD_GET, 0, 0, {0}, 200, "", ""},
        // The certificate does not name this host.
        {"https://kavsite.localhost:" + p + "/ok", HTTP_METHOD_GET, 0, 0, {HTTP_ERROR_SECURE_CHANNEL}, 0, "", ""},
        {"https://127.0.0.1:99999999/x", HTTP_METHOD_GET, 0, 0, {0}, 0, "", ""},
        {"not a url", HTTP_METHOD_GET, 0, 0, {0, HTTP_ERROR_NAME_NOT_RESOLVED}, 0, "", ""},
        {"", HTTP_METHOD_GET, 0, 0, {0}, 0, "", ""},
        {server->https("/ok\r\nX-Injected: 1"), HTTP_METHOD_GET, 0, 0, {0}, 0, "", ""},
        {std::string("https://127.0.0.1:") + p + std::string("/ok\0/x", 6), HTTP_METHOD_GET, 0, 0, {0}, 0, "", ""},
    };

    struct Outcome {
        u32 error;
        u32 status;
        std::string body;
        std::string final_url;
        std::string head;
    };
    std::vector<Outcome> outcomes(cases.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < cases.size(); i += 1) {
        threads.emplace_back([&, i] {
            Scratch scratch;
            HttpRequestOptions options = {};
            options.method = cases[i].method;
            options.read_body = cases[i].read_body;
            options.no_redirect = cases[i].no_redirect;
            HttpResult r = http_request(scratch.arena, from(cases[i].url), &options);
            outcomes[i] = {r.error, http_parse_status(r.head).status, str(r.body), str(r.final_url), str(r.head)};
            http_thread_release();
        });
    }
    for (std::thread& t : threads) t.join();

    for (size_t i = 0; i < cases.size(); i += 1) {
        const Case& c = cases[i];
        const Outcome& o = outcomes[i];
        bool error_ok = false;
        for (u32 e : c.errors) error_ok = error_ok || e == o.error;
        EXPECT_TRUE(error_ok) << c.url << " error " << o.error;
        EXPECT_EQ(o.status, c.status) << c.url;
        EXPECT_EQ(o.body, c.read_body ? c.body : "") << c.url;
        EXPECT_EQ(o.final_url, c.final_url.empty() ? c.url : c.final_url) << c.url;
        // Only the last response's head is kept.
        if (o.status) {
            EXPECT_EQ(o.head.find("\nHTTP/"), std::string::npos) << c.url << "\n" << o.head;
        }
    }
}

// Two requests in a row on one thread share the connection when the first
// answer's body is small and announced, even if it is not kept; after an
// answer whose body is cut short they cannot.
TEST(HttpRequest, ConnectionKeptAfterSmallBodies) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    struct Case {
        const char* path;
        u32 read_body;
        bool same_connection;
    } cases[] = {
        {"/status/404", 0, true},
        {"/ok", 1, true},
        {"/endless", 0, false},
    };
    for (const Case& c : cases) {
        std::thread worker([&] {
            for (int i = 0; i < 2; i += 1) {
                Scratch scratch;
                HttpRequestOptions options = {};
                options.read_body = c.read_body;
                http_request(scratch.arena, from(server->https(c.path)), &options);
            }
            Scratch scratch;
            HttpRequestOptions options = {};
            options.read_body = 1;
            std::string peers = str(http_request(scratch.arena, from(server->https(std::string("/_peers") + c.path)), &options).body);
            size_t space = peers.rfind(' ');
            ASSERT_NE(space, std::string::npos) << peers;
            std::string last = peers.substr(space + 1);
            std::string before = peers.substr(0, space);
            before = before.substr(before.rfind(' ') == std::string::npos ? 0 : before.rfind(' ') + 1);
            EXPECT_EQ(before == last, c.same_connection) << c.path << ": " << peers;
            http_thread_release();
        });
        worker.join();
    }
}

TEST(HttpRequest, ProxyVariablesAreIgnored) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    std::string proxy = "http://127.0.0.1:" + std::to_string(local_refused_port());
    const char* names[] = {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"};
    for (const char* name : names) setenv(name, proxy.c_str(), 1);
    Scratch scratch;
    HttpRequestOptions options = {};
    HttpResult r = http_request(scratch.arena, from(server->https("/ok")), &options);
    for (const char* name : names) unsetenv(name);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(http_parse_status(r.head).status, 200u);
}

TEST(HttpRequest, EndlessBodyIsCut) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    Scratch scratch;
    HttpRequestOptions options = {};
    options.read_body = 1;
    HttpResult r = http_request(scratch.arena, from(server->https("/endless")), &options);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(http_parse_status(r.head).status, 200u);
    EXPECT_EQ(r.body.size, HTTP_MAX_BODY_SIZE);
}

std::string fetch_log(LocalServer* server, const std::string& path) {
    Scratch scratch;
    HttpRequestOptions options = {};
    options.read_body = 1;
    HttpResult r = http_request(scratch.arena, from(server->https("/_requests" + path)), &options);
    return str(r.body);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(HttpRequest, MethodsHeaderOrderAndBody) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    struct Case {
        u32 method;
        const char* name;
        const char* body;
    } cases[] = {
        {HTTP_METHOD_GET, "GET", ""},       {HTTP_METHOD_HEAD, "HEAD", ""},      {HTTP_METHOD_POST, "POST", "a=1&b=2"},
        {HTTP_METHOD_PUT, "PUT", "put body"}, {HTTP_METHOD_DELETE, "DELETE", ""}, {HTTP_METHOD_OPTIONS, "OPTIONS", ""},
        {HTTP_METHOD_PATCH, "PATCH", "patch"}, {99, "GET", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = "/echo/" + std::to_string(n++);
        Scratch scratch;
        HttpRequestOptions options = {};
        options.method = c.method;
        options.body = string_from_cstr(c.body);
        options.content_type = S("text/x-kav");
        options.user_agent = S("kavsite-test");
        options.extra_headers = S("X-One: 1\r\nX-Two: 2");
        HttpResult r = http_request(scratch.arena, from(server->https(path)), &options);
        EXPECT_EQ(http_parse_status(r.head).status, 404u) << c.name;

        std::vector<std::string> log = lines_of(fetch_log(server, path));
        ASSERT_GE(log.size(), 2u) << c.name;
        EXPECT_EQ(log[0], std::string("REQUEST ") + c.name + " " + path);
        std::vector<std::string> ours;
        for (const std::string& line : log) {
            for (const char* name : {"User-Agent:", "Content-Type:", "Accept:", "X-One:", "X-Two:"}) {
                if (line.rfind(name, 0) == 0) ours.push_back(line);
            }
        }
        std::vector<std::string> expected = {"User-Agent: kavsite-test", "Content-Type: text/x-kav", "Accept: */*", "X-One: 1",
                                             "X-Two: 2"};
        EXPECT_EQ(ours, expected) << c.name;
        EXPECT_EQ(log[log.size() - 2], std::string("BODY ") + c.body) << c.name;
    }
}

// Failures are told apart finely enough for the report to say what
// happened, and a failure after a redirect keeps the URL that failed and no
// head of the redirect.
TEST(HttpRequest, FailuresSayWhatHappened) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    std::string plain = "http://127.0.0.1:" + std::to_string(server->plain_port);
    std::string closed = std::to_string(local_refused_port());
    struct Case {
        std::string url;
        u32 error;
        u32 failure;
        u32 redirects;
        std::string final_url;  // empty: the requested URL
    } cases[] = {
        {server->https("/ok"), HTTP_ERROR_NONE, HTTP_FAILURE_NONE, 0, ""},
        {"http://127.0.0.1:" + closed + "/", HTTP_ERROR_CONNECTION, HTTP_FAILURE_REFUSED, 0, ""},
        {plain + "/empty", HTTP_ERROR_CONNECTION, HTTP_FAILURE_EMPTY_REPLY, 0, ""},
        {server->https("/empty"), HTTP_ERROR_CONNECTION, HTTP_FAILURE_EMPTY_REPLY, 0, ""},
        {plain + "/redirect-port/" + closed, HTTP_ERROR_CONNECTION, HTTP_FAILURE_REFUSED, 1,
         "http://127.0.0.1:" + closed + "/moved"},
        {server->https("/loop"), HTTP_ERROR_NONE, HTTP_FAILURE_TOO_MANY_REDIRECTS, HTTP_MAX_REDIRECTS, ""},
        // Taken for HTTP/0.9, which is refused: not an error of the five.
        {plain + "/garbage", HTTP_ERROR_NONE, HTTP_FAILURE_NOT_HTTP, 0, ""},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        HttpRequestOptions options = {};
        HttpResult r = http_request(scratch.arena, from(c.url), &options);
        EXPECT_EQ(r.error, c.error) << c.url;
        EXPECT_EQ(r.failure, c.failure) << c.url;
        EXPECT_EQ(r.redirect_count, c.redirects) << c.url;
        EXPECT_EQ(str(r.final_url), c.final_url.empty() ? c.url : c.final_url) << c.url;
        if (c.failure != HTTP_FAILURE_NONE) {
            EXPECT_EQ(str(r.head), "") << c.url;
        }
    }
    http_thread_release();
}

TEST(HttpRequest, DefaultUserAgentAndAccept) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    Scratch scratch;
    HttpRequestOptions options = {};
    http_request(scratch.arena, from(server->https("/defaults")), &options);
    std::string log = fetch_log(server, "/defaults");
    EXPECT_NE(log.find("\nUser-Agent: Mozilla/5.0 (Windows NT 10.0; rv:109.0) Gecko/20100101 Firefox/115.0\nAccept: */*\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Content-Type"), std::string::npos) << log;
}

}  // namespace
