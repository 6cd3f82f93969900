#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "local_server.h"
#include "urlcheck/url_pool.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

UrlCheckPool* make_pool(u32 workers, bool start) {
    os_init();
    UrlSettings settings = {};
    settings.worker_count = workers;
    UrlCheckPool* pool = url_pool_create(&settings);
    if (start) url_pool_start_workers(pool);
    return pool;
}

std::vector<UrlReportLine> report_of(UrlCheckPool* pool) {
    std::vector<UrlReportLine> lines;
    for (UrlReportLine* l = pool->report.first; l; l = l->next) lines.push_back(*l);
    return lines;
}

TEST(UrlClassify, Kinds) {
    struct Case {
        u64 status;
        const char* requested;
        const char* final_url;
        u32 kind;
    } cases[] = {
        {200, "https://a.com/x", "https://a.com/x", URL_REPORT_NONE},
        {204, "https://a.com/x", "https://b.com/y", URL_REPORT_NONE},
        {299, "https://a.com/x", "https://a.com/x", URL_REPORT_NONE},
        {404, "https://a.com/x", "https://a.com/x", URL_REPORT_FAILED},
        {499, "https://a.com/x", "https://b.com/x", URL_REPORT_FAILED},
        {0, "https://a.com/x", "https://a.com/x", URL_REPORT_FAILED},
        {99, "https://a.com/x", "https://a.com/x", URL_REPORT_FAILED},
        {600, "https://a.com/x", "https://a.com/x", URL_REPORT_FAILED},
        {301, "https://example.com/p", "https://www.example.com/p", URL_REPORT_SAME_URL},
        {302, "https://www.example.com/p/", "https://example.com/p", URL_REPORT_SAME_URL},
        {301, "https://example.com/p", "https://example.org/p", URL_REPORT_REDIRECTED},
        {301, "http://example.com/p", "https://example.com/p", URL_REPORT_REDIRECTED},
        {500, "https://a.com/x", "https://a.com/x", URL_REPORT_SAME_URL},
        {503, "https://a.com/x", "https://b.com/x", URL_REPORT_REDIRECTED},
        {100, "https://a.com/x", "https://a.com/x", URL_REPORT_SAME_URL},
        {599, "https://a.com/x", "https://a.com/y", URL_REPORT_REDIRECTED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(url_classify(c.status, string_from_cstr(c.requested), string_from_cstr(c.final_url)), c.kind)
            << c.status << " " << c.requested << " -> " << c.final_url;
    }
}

TEST(UrlReportLine, Format) {
    struct Case {
        const char* url;
        u64 elapsed;
        const char* reason;
        const char* location;
        const char* line;
    } cases[] = {
        {"https://a.com/x", 12, "", "/site/docs/a.kav:3:5", "KO https://a.com/x time: 12ms a.kav:3:5"},
        {"https://a.com/x", 0, "couldn't connect (HTTPS protocol)", "C:\\site\\b.kav:1:1",
         "KO https://a.com/x couldn't connect (HTTPS protocol) b.kav:1:1"},
        {"https://a.com/x", 2001, "timed out", "d/a.kav:9:40", "KO https://a.com/x time: 2001ms timed out a.kav:9:40"},
        {"https://a.com/x", 5, "", "", "KO https://a.com/x time: 5ms"},
        {"https://a.com/x", 0, "", "/a\\b/c.kav:1:2", "KO https://a.com/x c.kav:1:2"},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        String line = url_report_line(scratch.arena, string_from_cstr(c.url), c.elapsed, string_from_cstr(c.reason),
                                      string_from_cstr(c.location));
        EXPECT_EQ(str(line), c.line);
    }
}

TEST(UrlReportLine, Reasons) {
    struct Case {
        u32 error;
        u32 failure;
        u32 redirects;
        const char* final_url;
        const char* reason;
    } cases[] = {
        {HTTP_ERROR_NONE, HTTP_FAILURE_NONE, 0, "", ""},
        {HTTP_ERROR_NONE, HTTP_FAILURE_NONE, 2, "https://b.com/", ""},
        {HTTP_ERROR_SECURE_CHANNEL, HTTP_FAILURE_NONE, 0, "", "couldn't connect (HTTPS protocol)"},
        {HTTP_ERROR_NAME_NOT_RESOLVED, HTTP_FAILURE_NONE, 0, "", ""},
        {HTTP_ERROR_TIMEOUT, HTTP_FAILURE_NONE, 0, "", "timed out"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_NONE, 0, "", "wrong protocol used"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_REFUSED, 0, "", "connection refused"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_UNREACHABLE, 0, "", "host unreachable"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_NO_CONNECTION, 0, "", "couldn't connect"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_EMPTY_REPLY, 0, "", "empty reply"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_CONNECTION_LOST, 0, "", "connection lost"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_NOT_HTTP, 0, "", "wrong protocol used"},
        {HTTP_ERROR_NONE, HTTP_FAILURE_NOT_HTTP, 0, "", "wrong protocol used"},
        {HTTP_ERROR_NONE, HTTP_FAILURE_TOO_MANY_REDIRECTS, 10, "https://a.com/loop", "too many redirects"},
        {HTTP_ERROR_CONNECTION, HTTP_FAILURE_REFUSED, 1, "http://a.com:1/moved",
         "connection refused after redirect to http://a.com:1/moved"},
        {HTTP_ERROR_TIMEOUT, HTTP_FAILURE_NONE, 3, "https://c.com/", "timed out after redirect to https://c.com/"},
        {HTTP_ERROR_NAME_NOT_RESOLVED, HTTP_FAILURE_NONE, 1, "https://gone.example/",
         "host not found after redirect to https://gone.example/"},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        HttpResult result = {};
        result.error = c.error;
        result.failure = c.failure;
        result.redirect_count = c.redirects;
        result.final_url = string_from_cstr(c.final_url);
        EXPECT_EQ(str(url_reason_text(scratch.arena, &result)), c.reason) << c.error << " " << c.failure << " " << c.redirects;
    }
}

u64 read_u64(const u8* p) {
    u64 v = 0;
    for (int i = 0; i < 8; i += 1) v |= (u64)p[i] << (8 * i);
    return v;
}

// Reads the ring as bytes laid out from `pos`, following the wrap.
std::string ring_bytes(UrlCheckPool* pool, u64 pos, u64 size) {
    std::string out;
    for (u64 i = 0; i < size; i += 1) out += (char)pool->ring[(pos + i) % pool->ring_capacity];
    return out;
}

TEST(UrlRing, RecordLayout) {
    UrlCheckPool* pool = make_pool(1, false);
    UrlCheckJob job = {S("https://a.com/xyz"), S("d/a.kav:1:2"), 7, 1};
    ASSERT_TRUE(url_pool_submit(pool, &job, DEADLINE_NONE));
    // 8 + 17 padded to 24 + 8 + 11 padded to 16 + 8
    EXPECT_EQ(pool->ring_write, 64u);
    const u8* r = pool->ring;
    EXPECT_EQ(read_u64(r), 17u);
    EXPECT_EQ(std::string((const char*)r + 8, 17), "https://a.com/xyz");
    EXPECT_EQ(read_u64(r + 32), 11u);
    EXPECT_EQ(std::string((const char*)r + 40, 11), "d/a.kav:1:2");
    EXPECT_EQ(read_u64(r + 56), 7u | (1ull << 32));

    // Fields that cross the end of the ring continue at its start.
    UrlCheckPool* wrap = make_pool(1, false);
    wrap->ring_write = wrap->ring_read = wrap->ring_capacity * 3 - 16;
    ASSERT_TRUE(url_pool_submit(wrap, &job, DEADLINE_NONE));
    u64 at = wrap->ring_capacity * 3 - 16;
    std::string bytes = ring_bytes(wrap, at, 64);
    EXPECT_EQ(read_u64((const u8*)bytes.data()), 17u);
    EXPECT_EQ(bytes.substr(8, 17), "https://a.com/xyz");
    // The URL's first 8 bytes fill the ring's end; the other 9 open it.
    EXPECT_EQ(std::string((const char*)wrap->ring + wrap->ring_capacity - 8, 8), "https://");
    EXPECT_EQ(std::string((const char*)wrap->ring, 9), "a.com/xyz");
    EXPECT_EQ(bytes.substr(40, 11), "d/a.kav:1:2");
    Scratch scratch;
    UrlCheckJob out;
    url_check_take(wrap, scratch.arena, &out);
    EXPECT_EQ(str(out.url), "https://a.com/xyz");
    EXPECT_EQ(str(out.location), "d/a.kav:1:2");
    EXPECT_EQ(out.kind, 7u);
    EXPECT_EQ(out.read_body, 1u);
    EXPECT_EQ(wrap->ring_read, wrap->ring_write);
}

// Jobs of many sizes go round the ring several times and come out as they
// went in, in order.
TEST(UrlRing, RoundTripAcrossTheEnd) {
    UrlCheckPool* pool = make_pool(1, false);
    u64 seed = 12345;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return seed >> 33;
    };
    std::vector<std::pair<std::string, std::string>> queued;
    size_t taken = 0;
    Scratch scratch;
    for (int round = 0; round < 4000; round += 1) {
        std::string url(next() % 3000, 'u');
        for (size_t i = 0; i < url.size(); i += 1) url[i] = (char)('a' + next() % 26);
        std::string location = "doc" + std::to_string(round) + ".kav:" + std::to_string(next() % 100) + ":1";
        UrlCheckJob job = {from(url), from(location), (u32)round, (u32)(round & 1)};
        if (!url_pool_submit(pool, &job, 0)) {
            // Full: drain half of what is queued, then queue again.
            size_t target = taken + (queued.size() - taken) / 2 + 1;
            for (; taken < target; taken += 1) {
                UrlCheckJob out;
                url_check_take(pool, scratch.arena, &out);
                ASSERT_EQ(str(out.url), queued[taken].first);
                ASSERT_EQ(str(out.location), queued[taken].second);
                ASSERT_EQ(out.read_body, (u32)(taken & 1));
            }
            ASSERT_TRUE(url_pool_submit(pool, &job, 0));
        }
        queued.emplace_back(url, location);
    }
    for (; taken < queued.size(); taken += 1) {
        UrlCheckJob out;
        url_check_take(pool, scratch.arena, &out);
        ASSERT_EQ(str(out.url), queued[taken].first);
        ASSERT_EQ(out.kind, (u32)taken);
    }
    EXPECT_GT(pool->ring_write, 4 * pool->ring_capacity);
    EXPECT_EQ(pool->ring_write, pool->ring_read);
}

TEST(UrlRing, FullRingWaitsForSpaceOrDeadline) {
    UrlCheckPool* pool = make_pool(1, false);
    std::string url(1000, 'x');
    UrlCheckJob job = {from(url), S("a.kav:1:1"), 0, 0};
    int queued = 0;
    while (url_pool_submit(pool, &job, 0)) queued += 1;
    u64 record = 24 + 1000 + 16;
    EXPECT_EQ((u64)queued, pool->ring_capacity / record);

    // A deadline in the near future passes without space.
    u64 before = pool->ring_write;
    EXPECT_FALSE(url_pool_submit(pool, &job, os_now_microseconds() + 20000));
    EXPECT_EQ(pool->ring_write, before);

    // Without a deadline the producer waits until a consumer frees space.
    std::thread consumer([&] {
        os_sleep(50);
        Scratch scratch;
        UrlCheckJob out;
        url_check_take(pool, scratch.arena, &out);
    });
    EXPECT_TRUE(url_pool_submit(pool, &job, DEADLINE_NONE));
    consumer.join();
    EXPECT_EQ(pool->ring_write - pool->ring_read, (u64)queued * record);

    // And a consumer waits until a job arrives.
    UrlCheckPool* empty = make_pool(1, false);
    std::string got;
    std::thread taker([&] {
        Scratch scratch;
        UrlCheckJob out;
        url_check_take(empty, scratch.arena, &out);
        got = str(out.url);
    });
    os_sleep(20);
    UrlCheckJob late = {S("https://late.example/"), S("a.kav:1:1"), 0, 0};
    url_pool_submit(empty, &late, DEADLINE_NONE);
    taker.join();
    EXPECT_EQ(got, "https://late.example/");
}

TEST(UrlRing, JobLargerThanTheRingIsReportedNotQueued) {
    UrlCheckPool* pool = make_pool(1, false);
    std::string url = "https://big.example/" + std::string(URL_RING_CAPACITY, 'a');
    UrlCheckJob job = {from(url), S("/site/docs/big.kav:4:2"), 0, 0};
    EXPECT_FALSE(url_pool_submit(pool, &job, DEADLINE_NONE));
    EXPECT_EQ(pool->ring_write, 0u);
    std::vector<UrlReportLine> lines = report_of(pool);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].kind, (u32)URL_REPORT_FAILED);
    EXPECT_EQ(str(lines[0].line), "KO " + url + " big.kav:4:2");
}

// One line in the exact format: "KO", the URL, an optional time, the error
// text (one of `errors`, "" for none), the file name with line and column.
::testing::AssertionResult line_matches(const std::string& line, const std::string& url,
                                        const std::vector<std::string>& errors, const std::string& where) {
    std::string head = "KO " + url;
    if (line.rfind(head, 0) != 0) return ::testing::AssertionFailure() << "starts wrong: " << line.substr(0, 200);
    std::string rest = line.substr(head.size());
    std::string tail = " " + where;
    if (rest.size() < tail.size() || rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0) {
        return ::testing::AssertionFailure() << "ends wrong: " << line.substr(0, 200);
    }
    rest = rest.substr(0, rest.size() - tail.size());
    if (rest.rfind(" time: ", 0) == 0) {
        size_t i = 7;
        size_t digits = 0;
        while (i < rest.size() && isdigit((unsigned char)rest[i])) i += 1, digits += 1;
        if (!digits || rest.compare(i, 2, "ms") != 0) return ::testing::AssertionFailure() << "bad time: " << rest;
        rest = rest.substr(i + 2);
    }
    for (const std::string& e : errors) {
        if ((e.empty() && rest.empty()) || (!e.empty() && rest == " " + e)) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "bad error text: '" << rest << "' in " << line.substr(0, 200);
}

const std::string TLS_ERROR = "couldn't connect (HTTPS protocol)";
const std::string NOT_HTTP = "wrong protocol used";
const std::string TIMEOUT = "timed out";

// Good, redirected, failing and malformed URLs through a running pool: no
// line for the good ones, exactly one line of the right kind and format for
// every other one, and the pool is idle again within the timeouts.
TEST(UrlPool, ReportsEveryBadUrlOnce) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    std::string plain = std::to_string(server->plain_port);
    std::string closed = std::to_string(local_refused_port());
    struct Case {
        std::string url;
        u32 kind;  // URL_REPORT_NONE: no line
        std::vector<std::string> errors;
    };
    std::vector<Case> cases = {
        {server->https("/ok"), URL_REPORT_NONE, {}},
        {server->https("/www/200", "localhost"), URL_REPORT_NONE, {}},
        {server->https("/endless"), URL_REPORT_NONE, {}},
        {server->https("/head-stall"), URL_REPORT_NONE, {}},
        {server->https("/status/404"), URL_REPORT_FAILED, {""}},
        {server->https("/status/410"), URL_REPORT_FAILED, {""}},
        {server->https("/status/500"), URL_REPORT_SAME_URL, {""}},
        {server->https("/status/302"), URL_REPORT_SAME_URL, {""}},
        {server->https("/www/500", "localhost"), URL_REPORT_SAME_URL, {""}},
        {server->https("/other/503", "localhost"), URL_REPORT_REDIRECTED, {""}},
        {server->https("/other/404", "localhost"), URL_REPORT_FAILED, {""}},
        {server->https("/loop"), URL_REPORT_FAILED, {"too many redirects"}},
        {"http://127.0.0.1:" + plain + "/ok", URL_REPORT_NONE, {}},
        {"http://127.0.0.1:" + plain + "/status/404", URL_REPORT_FAILED, {""}},
        {server->https("/slow/3000"), URL_REPORT_NONE, {}},
        {"https://127.0.0.1:" + std::to_string(server->silent_port) + "/", URL_REPORT_FAILED, {TIMEOUT}},
        {server->https("/stall"), URL_REPORT_FAILED, {TIMEOUT}},
        {"https://127.0.0.1:" + std::to_string(server->garbage_port) + "/", URL_REPORT_FAILED, {TLS_ERROR, NOT_HTTP}},
        {server->https("/garbage"), URL_REPORT_FAILED, {NOT_HTTP}},
        {"https://127.0.0.1:" + closed + "/", URL_REPORT_FAILED, {"connection refused"}},
        {server->https("/empty"), URL_REPORT_FAILED, {"empty reply"}},
        {"http://127.0.0.1:" + plain + "/redirect-port/" + closed, URL_REPORT_FAILED,
         {"connection refused after redirect to http://127.0.0.1:" + closed + "/moved"}},
        {"https://kavsite-test.invalid/page", URL_REPORT_FAILED, {""}},
        {"https://kavsite.localhost:" + std::to_string(server->tls_port) + "/ok", URL_REPORT_FAILED, {TLS_ERROR}},
        {"https://", URL_REPORT_FAILED, {""}},
        {"not a url", URL_REPORT_FAILED, {""}},
        {"https://127.0.0.1:99999999/x", URL_REPORT_FAILED, {""}},
        {std::string("https://127.0.0.1/a\0b", 21), URL_REPORT_FAILED, {""}},
        {"https://a b.example/", URL_REPORT_FAILED, {""}},
        {server->https("/" + std::string(65536, 'l')), URL_REPORT_FAILED, {""}},
        {"https://kavsite-test.invalid/" + std::string(65536, 'm'), URL_REPORT_FAILED, {""}},
    };

    UrlCheckPool* pool = make_pool((u32)cases.size(), true);
    std::vector<std::string> locations;
    for (size_t i = 0; i < cases.size(); i += 1) locations.push_back("/site/docs/page.kav:" + std::to_string(i + 1) + ":7");
    for (size_t i = 0; i < cases.size(); i += 1) {
        UrlCheckJob job = {from(cases[i].url), from(locations[i]), 0, 0};
        ASSERT_TRUE(url_pool_submit(pool, &job, DEADLINE_NONE));
    }
    // Bounded by the longest timeout (30 s in all) with room to spare.
    ASSERT_TRUE(url_pool_wait_idle(pool, os_now_microseconds() + 90 * 1000000ull));

    std::vector<UrlReportLine> lines = report_of(pool);
    std::map<std::string, std::vector<UrlReportLine>> by_location;
    for (const UrlReportLine& l : lines) {
        std::string text = str(l.line);
        by_location[text.substr(text.rfind(' ') + 1)].push_back(l);
    }
    size_t bad = 0;
    for (size_t i = 0; i < cases.size(); i += 1) {
        const Case& c = cases[i];
        std::string where = "page.kav:" + std::to_string(i + 1) + ":7";
        const std::vector<UrlReportLine>& found = by_location[where];
        if (c.kind == URL_REPORT_NONE) {
            EXPECT_TRUE(found.empty()) << c.url << ": " << (found.empty() ? "" : str(found[0].line));
            continue;
        }
        bad += 1;
        ASSERT_EQ(found.size(), 1u) << c.url.substr(0, 100);
        EXPECT_EQ(found[0].kind, c.kind) << str(found[0].line).substr(0, 200);
        EXPECT_TRUE(line_matches(str(found[0].line), c.url, c.errors, where));
    }
    EXPECT_EQ(lines.size(), bad);
    EXPECT_EQ(pool->report.count, bad);
}

// Checking waits on the network: the default pool is sized for that, not
// for the processors.
TEST(UrlPool, DefaultWorkerCountSuitsNetworkWaits) {
    UrlCheckPool* pool = make_pool(0, false);
    EXPECT_GE(pool->worker_count, 16u);
    EXPECT_EQ(make_pool(3, false)->worker_count, 3u);
}

TEST(UrlPool, OneRequestPerUrlAtATime) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    UrlCheckPool* pool = make_pool(4, true);
    auto count = [&](const std::string& name) {
        Scratch scratch;
        HttpRequestOptions options = {};
        options.read_body = 1;
        return str(http_request(scratch.arena, from(server->https("/_count/" + name)), &options).body);
    };
    std::string dup = server->https("/count/dup");
    std::string solo = server->https("/count/solo");
    UrlCheckJob first = {from(dup), S("/d/one.kav:1:1"), 0, 0};
    UrlCheckJob second = {from(dup), S("/d/two.kav:2:2"), 0, 0};
    UrlCheckJob third = {from(solo), S("/d/three.kav:3:3"), 0, 1};
    url_pool_submit(pool, &first, DEADLINE_NONE);
    url_pool_submit(pool, &second, DEADLINE_NONE);
    url_pool_submit(pool, &third, DEADLINE_NONE);
    ASSERT_TRUE(url_pool_wait_idle(pool, os_now_microseconds() + 20 * 1000000ull));
    EXPECT_EQ(count("dup"), "1");
    EXPECT_EQ(count("solo"), "1");

    Scratch scratch;
    UrlCheckEntry entry;
    ASSERT_TRUE(url_pool_find(pool, scratch.arena, from(dup), &entry));
    EXPECT_EQ(entry.status, 200u);
    EXPECT_EQ(entry.claimed, 0u);
    EXPECT_GT(entry.elapsed_ms, 0u);
    // Either job's worker may win the entry; the other one drops its job.
    std::string location = str(entry.location);
    EXPECT_TRUE(location == "/d/one.kav:1:1" || location == "/d/two.kav:2:2") << location;
    EXPECT_EQ(str(entry.body), "");
    ASSERT_TRUE(url_pool_find(pool, scratch.arena, from(solo), &entry));
    EXPECT_EQ(str(entry.body), "counted");
    EXPECT_FALSE(url_pool_find(pool, scratch.arena, S("https://never.example/"), &entry));

    // Once the first request has finished, the URL is requested again and
    // its entry takes the new results.
    url_pool_submit(pool, &second, DEADLINE_NONE);
    ASSERT_TRUE(url_pool_wait_idle(pool, os_now_microseconds() + 20 * 1000000ull));
    EXPECT_EQ(count("dup"), "2");
    ASSERT_TRUE(url_pool_find(pool, scratch.arena, from(dup), &entry));
    EXPECT_EQ(str(entry.location), "/d/two.kav:2:2");
    EXPECT_TRUE(report_of(pool).empty());
}

TEST(UrlPool, BodiesKeptOnlyWhenAskedAndNotForClientErrors) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    UrlCheckPool* pool = make_pool(2, true);
    struct Case {
        std::string url;
        u32 read_body;
        u64 status;
        const char* body;
    } cases[] = {
        {server->https("/ok"), 1, 200, "ok"},
        {server->https("/slow/1"), 0, 200, ""},
        {server->https("/status/404"), 1, 404, ""},
        {server->https("/status/500"), 1, 500, "status"},
        {"https://kavsite-test.invalid/x", 1, 0, ""},
    };
    for (const Case& c : cases) {
        UrlCheckJob job = {from(c.url), S("a.kav:1:1"), 0, c.read_body};
        url_pool_submit(pool, &job, DEADLINE_NONE);
    }
    ASSERT_TRUE(url_pool_wait_idle(pool, os_now_microseconds() + 20 * 1000000ull));
    for (const Case& c : cases) {
        Scratch scratch;
        UrlCheckEntry entry;
        ASSERT_TRUE(url_pool_find(pool, scratch.arena, from(c.url), &entry)) << c.url;
        EXPECT_EQ(entry.status, c.status) << c.url;
        EXPECT_EQ(str(entry.body), c.body) << c.url;
        EXPECT_EQ(entry.read_body, c.read_body) << c.url;
        EXPECT_GT(entry.elapsed_ms, 0u) << c.url;
    }
}

// More queued than the ring holds while every worker is held up: producers
// wait for space, and in the end every job gets its request and its line.
TEST(UrlPool, QueueFullerThanTheRing) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    const u32 workers = 4;
    UrlCheckPool* pool = make_pool(workers, true);
    std::vector<std::string> slow;
    for (u32 i = 0; i < workers; i += 1) slow.push_back(server->https("/slow/1500/" + std::to_string(i)));
    for (const std::string& url : slow) {
        UrlCheckJob job = {from(url), S("slow.kav:1:1"), 0, 0};
        url_pool_submit(pool, &job, DEADLINE_NONE);
    }
    // Let the workers take the slow jobs.
    while (true) {
        os_mutex_lock(pool->queue_lock);
        bool taken = pool->ring_read == pool->ring_write && pool->busy == workers;
        os_mutex_unlock(pool->queue_lock);
        if (taken) break;
        os_sleep(1);
    }

    std::string pad(2000, 'p');
    std::vector<std::string> urls;
    for (int i = 0; i < 350; i += 1) urls.push_back(server->https("/status/404?" + std::to_string(i) + "=" + pad));
    size_t i = 0;
    bool was_full = false;
    for (; i < urls.size(); i += 1) {
        UrlCheckJob job = {from(urls[i]), S("full.kav:1:1"), 0, 0};
        if (!url_pool_submit(pool, &job, 0)) {
            was_full = true;
            break;
        }
    }
    EXPECT_TRUE(was_full);
    EXPECT_LT(i, urls.size());
    EXPECT_FALSE(url_pool_wait_idle(pool, os_now_microseconds() + 1000));
    for (; i < urls.size(); i += 1) {
        UrlCheckJob job = {from(urls[i]), S("full.kav:1:1"), 0, 0};
        ASSERT_TRUE(url_pool_submit(pool, &job, DEADLINE_NONE));
    }
    ASSERT_TRUE(url_pool_wait_idle(pool, os_now_microseconds() + 120 * 1000000ull));

    std::map<std::string, int> seen;
    for (const UrlReportLine& l : report_of(pool)) {
        std::string text = str(l.line);
        EXPECT_EQ(l.kind, (u32)URL_REPORT_FAILED);
        seen[text.substr(3, text.find(' ', 3) - 3)] += 1;
    }
    EXPECT_EQ(seen.size(), urls.size());
    for (const std::string& url : urls) EXPECT_EQ(seen[url], 1) << url.substr(0, 60);
}

// URLs found in documents reach the process-wide pool only once it is
// enabled; before that nothing is queued or requested.
TEST(UrlPool, FoundUrlsQueuedOnlyWhenEnabled) {
    LocalServer* server = local_server();
    ASSERT_TRUE(server->ok);
    url_check_submit_found(S("https://kavsite-test.invalid/none"), S("a.kav:1:1"));  // no pool yet: ignored
    UrlSettings settings = {};
    settings.worker_count = 2;
    std::string consent = server->https("/consent/found");
    settings.consent_url = from(consent);
    settings.ca_file = from(server->ca_file);
    settings.check_urls = 1;
    url_settings_set(&settings);
    url_pool_start();
    ASSERT_NE(g_url_pool, nullptr);
    EXPECT_EQ(g_url_pool->online, 1u);
    url_pool_start();  // a second start changes nothing
    UrlCheckPool* pool = g_url_pool;

    std::string before = server->https("/status/404?before");
    url_check_submit_found(from(before), S("/d/a.kav:1:1"));
    EXPECT_EQ(pool->ring_write, 0u);

    pool->enabled = 1;
    std::string after = server->https("/status/404?after");
    url_check_submit_found(from(after), S("/d/a.kav:2:3"));
    ASSERT_TRUE(url_pool_wait_idle(pool, os_now_microseconds() + 20 * 1000000ull));
    std::vector<UrlReportLine> lines = report_of(pool);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(line_matches(str(lines[0].line), after, {""}, "a.kav:2:3"));
    EXPECT_EQ(g_url_pool, pool);
}

}  // namespace
