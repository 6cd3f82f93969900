// The URL check pool: worker threads take URLs from a byte ring, request
// each one over HTTP(S), keep the results in a striped table and report the
// URLs that failed or were redirected.
#pragma once

#include "base/os.h"
#include "base/string.h"
#include "urlcheck/http.h"

// ---- Settings ----------------------------------------------------------------

// Set by the build before the pool starts (options consent_url, ca_file,
// url_workers, check_urls).
struct UrlSettings {
    String consent_url;  // empty: URL_CONSENT_DEFAULT_URL
    String ca_file;      // empty: the system's certificate bundle
    u32 worker_count;    // 0: URL_DEFAULT_WORKERS
    u32 check_urls;      // non-zero: url_pool_start waits for the connection test
};

#define URL_MAX_WORKERS 256
// Checking is waiting on the network, not computing: the default does not
// follow the processor count.
#define URL_DEFAULT_WORKERS 16

// Copies the strings; also hands the CA file to the HTTP layer.
void url_settings_set(const UrlSettings* settings);
const UrlSettings* url_settings();

// ---- Jobs, entries, report -----------------------------------------------------

struct UrlCheckJob {
    String url;
    String location;  // "path:line:column" of the URL in its document
    u32 kind;         // kept with the job, not read by the pool
    u32 read_body;    // non-zero: keep the response body in the entry
};

struct UrlCheckEntry {
    UrlCheckEntry* next;  // bucket chain
    u64 status;           // HTTP status code; 0 when none
    String url;           // the key
    u32 read_body;
    String location;
    u32 claimed;      // 1 while a worker requests the URL; changed by compare-exchange
    String body;      // empty for 400-499 and failures, or when not read
    u64 elapsed_ms;   // 0 until the request has finished, at least 1 after
};

enum UrlReportKind : u32 {
    URL_REPORT_NONE = 0,      // success: no line
    URL_REPORT_REDIRECTED = 2,  // reached after a redirect to another URL
    URL_REPORT_FAILED = 3,
    URL_REPORT_SAME_URL = 4,  // reached at the same URL ("www." aside)
};

struct UrlReportLine {
    UrlReportLine* next;
    u32 kind;  // UrlReportKind
    String line;
};

struct UrlReport {
    UrlReportLine* first;
    UrlReportLine* last;
    u64 count;
    u64 total_size;  // bytes of every line together
};

// ---- Pool ----------------------------------------------------------------------

#define URL_BUCKET_COUNT 256
#define URL_MAX_STRIPES 256
#define URL_RING_CAPACITY 0x80000ull  // bytes
// Bytes of a queued record besides its two padded strings: two lengths and
// the kind / read_body pair.
#define URL_RECORD_FIXED_SIZE 24

struct UrlCheckBucket {
    UrlCheckEntry* first;
    UrlCheckEntry* last;
};

struct UrlCheckStripe {
    Arena* arena;  // entries of the stripe's buckets and their strings
    OsRwLock* lock;
};

struct UrlCheckPool {
    Arena* arena;  // reserve 32 MiB
    u64 bucket_count;
    UrlCheckBucket* buckets;
    u64 stripe_count;
    UrlCheckStripe* stripes;
    u64 ring_capacity;
    u64 ring_write;  // byte counters, never wrapped; positions modulo the capacity
    u64 ring_read;
    u8* ring;  // made by the first submit, under queue_lock
    OsCondition* not_empty_or_full;  // every change of the ring or of `busy` wakes all
    OsMutex* queue_lock;             // guards the ring, `busy` and the connection state
    u64 worker_count;
    OsThread** workers;
    u32 online;   // 1 when the connection test got an HTTP status
    u64 busy;     // jobs being worked on
    u32 enabled;  // set by the build when checks go ahead
    UrlReport report;

    OsMutex* report_lock;     // workers append report lines concurrently
    String consent_url;
    u32 connection_tested;    // 1 once the connection test has finished
};

// The process-wide pool; null before url_pool_start.
extern UrlCheckPool* g_url_pool;

// Creates a pool without starting anything.
UrlCheckPool* url_pool_create(const UrlSettings* settings);
// Starts the workers, named "[HTTP] Request #<index>".
void url_pool_start_workers(UrlCheckPool* pool);
// Runs the connection test (the consent request) and records `online`. With
// `wait` the call returns when the test has finished; otherwise the test runs
// on a thread of its own and nobody waits for it.
void url_pool_test_connection(UrlCheckPool* pool, bool wait);
// Waits until the connection test has finished or the deadline passes;
// returns `online`.
u32 url_pool_wait_online(UrlCheckPool* pool, u64 deadline_us);

// Creates the process-wide pool from url_settings() once (later calls do
// nothing), starts its workers when URLs are checked, and its connection
// test.
void url_pool_start();
// True while the connection test of `pool` (may be null) has not finished.
bool url_pool_connection_pending(UrlCheckPool* pool);

// Appends a job to the ring, waiting while there is no space; false when the
// deadline (microseconds, DEADLINE_NONE for none) passes first. A job too
// large for the ring can never be queued: it is reported as failed at once
// and false is returned.
bool url_pool_submit(UrlCheckPool* pool, const UrlCheckJob* job, u64 deadline_us);
bool url_check_submit(const UrlCheckJob* job, u64 deadline_us);
// Queues a URL met in a document ("path:line:column" location) on the
// process-wide pool, waiting as long as needed, when the pool is enabled
// (checks asked for and the connection test answered); otherwise nothing is
// sent anywhere. The document parser's and the build's way to submit.
void url_check_submit_found(String url, String location);
// Removes the oldest job, waiting without limit while the ring is empty;
// its strings are copied into `arena`.
void url_check_take(UrlCheckPool* pool, Arena* arena, UrlCheckJob* job_out);
// Waits until the ring is empty and no worker is busy; false when the
// deadline passes first.
bool url_pool_wait_idle(UrlCheckPool* pool, u64 deadline_us);

// Copy of the entry for `url` (strings in `arena`); false when the URL has
// never been taken by a worker.
bool url_pool_find(UrlCheckPool* pool, Arena* arena, String url, UrlCheckEntry* out);

// ---- Classification -------------------------------------------------------------

// djb2; the key of the results table.
u64 url_hash(String text);
// Report kind of a finished request: none for 200-299; 3 for 400-499 and
// any status outside 100-599 (0 when nothing was received); otherwise 4
// when the final URL is the requested one, "www." aside, else 2.
u32 url_classify(u64 status, String requested, String final_url);
// Why a request failed, in words: the failure's text when there is one, else
// the error's ("" for none and for a host name that did not resolve); when
// the failure came after following redirects, "after redirect to <URL>" with
// the URL that failed.
String url_reason_text(Arena* arena, const HttpResult* result);
// "KO", the URL, "time: <ms>ms" when not 0, the reason when not empty, and
// the location's file name with line and column, joined by spaces.
String url_report_line(Arena* arena, String url, u64 elapsed_ms, String reason, String location);
