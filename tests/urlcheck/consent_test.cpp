#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "local_server.h"
#include "urlcheck/consent.h"
#include "urlcheck/url_pool.h"
#include "support/child.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

std::vector<std::string> split(const std::string& text, const std::string& sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(sep, start);
        if (end == std::string::npos) {
            parts.push_back(text.substr(start));
            break;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + sep.size();
    }
    return parts;
}

std::string url_decode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i += 1) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += (char)std::stoi(s.substr(i + 1, 2), nullptr, 16);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

TEST(FormEncode, KeepsOnlyUnreservedBytes) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"https://www.youtube.com/watch?v=x&y=1", "https%3A%2F%2Fwww.youtube.com%2Fwatch%3Fv%3Dx%26y%3D1"},
        {"a b+c", "a%20b%2Bc"},
        {"\xc3\xa9\x01", "%C3%A9%01"},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        EXPECT_EQ(str(form_encode(scratch.arena, string_from_cstr(c.in))), c.out);
    }
}

TEST(ConsentRequest, HeadersForTheDefaultEndpoint) {
    Scratch scratch;
    std::vector<std::string> lines = split(str(consent_extra_headers(scratch.arena, S(URL_CONSENT_DEFAULT_URL))), "\r\n");
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[0], "Host: consent.youtube.com");
    EXPECT_EQ(lines[3], "Referer: https://consent.youtube.com/");
    EXPECT_EQ(lines[5], "Origin: https://consent.youtube.com");
}

// What the server receives: the header lines in order and the form fields in
// order, with the outside service's values.
TEST(ConsentRequest, ArrivesWithHeaderLinesAndFormInOrder) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    std::string url = server->https("/consent/save");
    Scratch scratch;
    HttpResult result = consent_request(scratch.arena, from(url));
    EXPECT_EQ(http_parse_status(result.head).status, 404u);

    HttpRequestOptions options = {};
    options.read_body = 1;
    std::string log = str(http_request(scratch.arena, from(server->https("/_requests/consent/save")), &options).body);
    std::vector<std::string> lines = split(log, "\n");
    ASSERT_GE(lines.size(), 23u) << log;
    EXPECT_EQ(lines[0], "REQUEST POST /consent/save");

    std::string authority = "127.0.0.1:" + std::to_string(server->tls_port);
    // libcurl always writes the Host line right after the request line, even
    // a Host line of our own; every other line keeps the request's order.
    std::vector<std::string> expected = {
        "Host: " + authority,
        "User-Agent: Mozilla/5.0 (Windows NT 10.0; rv:109.0) Gecko/20100101 Firefox/115.0",
        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,*/*;q=0.8",
        "Accept-Language: en-US,en;q=0.5",
        "Accept-Encoding: identity",
        "Referer: https://" + authority + "/",
        "Content-Type: application/x-www-form-urlencoded",
        "Origin: https://" + authority,
        "DNT: 1",
        "Sec-GPC: 1",
        "Connection: keep-alive",
        "Upgrade-Insecure-Requests: 1",
        "Sec-Fetch-Dest: document",
        "Sec-Fetch-Mode: navigate",
        "Sec-Fetch-Site: none",
        "Sec-Fetch-User: ?1",
        "Priority: u=0, i",
        "Pragma: no-cache",
        "Cache-Control: no-cache",
        "TE: trailers",
    };
    std::vector<std::string> headers;
    std::string body;
    for (size_t i = 1; i < lines.size(); i += 1) {
        if (lines[i].rfind("BODY ", 0) == 0) {
            body = lines[i].substr(5);
            break;
        }
        headers.push_back(lines[i]);
    }
    ASSERT_GE(headers.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(headers.begin(), headers.begin() + expected.size()), expected);
    // libcurl adds only the body's length after them.
    for (size_t i = expected.size(); i < headers.size(); i += 1) EXPECT_EQ(headers[i].rfind("Content-Length: ", 0), 0u) << headers[i];

    std::vector<std::string> fields = split(body, "&");
    std::vector<std::pair<std::string, std::string>> expected_fields = {
        {"gl", "FR"}, {"m", "0"}, {"app", "0"}, {"pc", str(consent_product_code)}, {"continue", str(consent_continue_url)},
        {"x", "6"},   {"bl", str(consent_build_label)}, {"hl", "en"}, {"src", "1"}, {"cm", "2"}, {"set_eom", "true"},
    };
    ASSERT_EQ(fields.size(), expected_fields.size()) << body;
    for (size_t i = 0; i < fields.size(); i += 1) {
        size_t eq = fields[i].find('=');
        EXPECT_EQ(fields[i].substr(0, eq), expected_fields[i].first);
        EXPECT_EQ(url_decode(fields[i].substr(eq + 1)), expected_fields[i].second);
    }
}

TEST(ConsentRequest, RedirectsAreNotFollowed) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    Scratch scratch;
    std::string url = server->https("/www/200", "localhost");
    HttpResult result = consent_request(scratch.arena, from(url));
    EXPECT_EQ(http_parse_status(result.head).status, 301u);
    EXPECT_EQ(str(result.final_url), url);
}

// The pool is online exactly when the consent request got a status line,
// whatever the status.
TEST(UrlPoolConnection, OnlineWhenTheConsentRequestGetsAStatus) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    struct Case {
        std::string consent_url;
        u32 online;
    } cases[] = {
        {server->https("/consent/save"), 1},
        {server->https("/status/503"), 1},
        // No redirect means no forced TLS: a plain endpoint answers.
        {"http://127.0.0.1:" + std::to_string(server->plain_port) + "/save", 1},
        {"https://127.0.0.1:" + std::to_string(local_refused_port()) + "/save", 0},
        {"https://kavsite-test.invalid/save", 0},
        {"https://127.0.0.1:" + std::to_string(server->garbage_port) + "/save", 0},
    };
    for (const Case& c : cases) {
        UrlSettings settings = {};
        settings.worker_count = 1;
        settings.consent_url = from(c.consent_url);
        UrlCheckPool* pool = url_pool_create(&settings);
        url_pool_test_connection(pool, true);
        EXPECT_EQ(pool->connection_tested, 1u) << c.consent_url;
        EXPECT_EQ(pool->online, c.online) << c.consent_url;
        EXPECT_EQ(url_pool_wait_online(pool, 0), c.online) << c.consent_url;
    }
}

// Without waiting, the test runs on its own thread: the call returns while
// the endpoint is still working on its answer, which arrives later.
TEST(UrlPoolConnection, BackgroundTestDoesNotHoldTheCaller) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    UrlSettings settings = {};
    settings.worker_count = 1;
    std::string url = server->https("/slow/1500");
    settings.consent_url = from(url);
    UrlCheckPool* pool = url_pool_create(&settings);
    url_pool_test_connection(pool, false);
    os_mutex_lock(pool->queue_lock);
    u32 tested = pool->connection_tested;
    os_mutex_unlock(pool->queue_lock);
    EXPECT_EQ(tested, 0u);
    EXPECT_EQ(url_pool_wait_online(pool, DEADLINE_NONE), 1u);
    EXPECT_EQ(pool->connection_tested, 1u);
}

bool curl_is_mapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libcurl") != std::string::npos) return true;
    }
    return false;
}

// An endpoint that takes no connection is known to be offline without
// loading libcurl and its TLS libraries (the test runs in a child process
// made before anything loads it; loading it at the end shows the check sees
// it).
TEST(UrlPoolConnection, ClosedEndpointIsOfflineWithoutLoadingLibcurl) {
    if (curl_is_mapped()) GTEST_SKIP() << "libcurl was loaded by an earlier test of this process";
    std::string urls[] = {
        "https://127.0.0.1:" + std::to_string(local_refused_port()) + "/save",
        "http://127.0.0.1:" + std::to_string(local_refused_port()),
        "https://kavsite-test.invalid/save",
    };
    std::string failure = kavsite_test::run_in_child(
        [&urls]() {
            os_init();
            for (const std::string& url : urls) {
                UrlSettings settings = {};
                settings.worker_count = 1;
                settings.consent_url = from(url);
                UrlCheckPool* pool = url_pool_create(&settings);
                url_pool_test_connection(pool, true);
                if (pool->connection_tested != 1 || pool->online != 0 || curl_is_mapped()) {
                    printf("%s: tested %u, online %u, libcurl %s\n", url.c_str(), pool->connection_tested,
                           pool->online, curl_is_mapped() ? "loaded" : "not loaded");
                    return 1;
                }
            }
            http_global_init();
            if (!curl_is_mapped()) {
                printf("libcurl is not seen once loaded\n");
                return 1;
            }
            return 0;
        },
        120);
    EXPECT_EQ(failure, "");
}
}  // namespace
