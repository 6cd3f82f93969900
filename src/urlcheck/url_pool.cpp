#include "urlcheck/url_pool.h"

#include "urlcheck/consent.h"
#include "base/atomics.h"
#include "base/byte_ring.h"
#include "base/url.h"

// ---- Settings ----------------------------------------------------------------

static Arena* g_url_settings_arena;
static UrlSettings g_url_settings;

void url_settings_set(const UrlSettings* settings) {
    if (!g_url_settings_arena) g_url_settings_arena = arena_create(KB(64), KB(4));
    g_url_settings = *settings;
    g_url_settings.consent_url = string_copy(g_url_settings_arena, settings->consent_url);
    g_url_settings.ca_file = string_copy(g_url_settings_arena, settings->ca_file);
    http_set_ca_file(g_url_settings.ca_file);
}

const UrlSettings* url_settings() { return &g_url_settings; }

// ---- Classification -------------------------------------------------------------

u64 url_hash(String text) { return string_hash(text); }

u32 url_classify(u64 status, String requested, String final_url) {
    if (status >= 200 && status <= 299) return URL_REPORT_NONE;
    bool keeps_kind = (status >= 100 && status <= 199) || (status >= 300 && status <= 399) || (status >= 500 && status <= 599);
    if (!keeps_kind) return URL_REPORT_FAILED;
    return url_same_ignoring_www(url_split(requested), url_split(final_url)) ? URL_REPORT_SAME_URL : URL_REPORT_REDIRECTED;
}

struct UrlErrorText {
    u32 error;
    String text;
};
static const UrlErrorText url_error_texts[] = {
    {HTTP_ERROR_SECURE_CHANNEL, S("couldn't connect (HTTPS protocol)")},
    {HTTP_ERROR_CONNECTION, S("wrong protocol used")},
    {HTTP_ERROR_TIMEOUT, S("timed out")},
};
static_assert(ARRAY_COUNT(url_error_texts) == 3, "name resolution failures carry no text");

struct UrlFailureText {
    u32 failure;
    String text;
};
static const UrlFailureText url_failure_texts[] = {
    {HTTP_FAILURE_REFUSED, S("connection refused")},
    {HTTP_FAILURE_UNREACHABLE, S("host unreachable")},
    {HTTP_FAILURE_NO_CONNECTION, S("couldn't connect")},
    {HTTP_FAILURE_EMPTY_REPLY, S("empty reply")},
    {HTTP_FAILURE_CONNECTION_LOST, S("connection lost")},
    {HTTP_FAILURE_NOT_HTTP, S("wrong protocol used")},
    {HTTP_FAILURE_TOO_MANY_REDIRECTS, S("too many redirects")},
    {HTTP_FAILURE_NO_LIBRARY, S("libcurl could not be loaded")},
};
static_assert(ARRAY_COUNT(url_failure_texts) == 8, "one text per failure");

String url_reason_text(Arena* arena, const HttpResult* result) {
    String text = {};
    for (const UrlErrorText& row : url_error_texts) {
        if (row.error == result->error) text = row.text;
    }
    for (const UrlFailureText& row : url_failure_texts) {
        if (row.failure == result->failure) text = row.text;
    }
    bool failed = result->error != HTTP_ERROR_NONE || result->failure != HTTP_FAILURE_NONE;
    // A loop's last URL is where it started; any other failure after a
    // redirect names the URL that failed.
    if (!failed || result->redirect_count == 0 || result->failure == HTTP_FAILURE_TOO_MANY_REDIRECTS) {
        return string_copy(arena, text);
    }
    if (result->error == HTTP_ERROR_NAME_NOT_RESOLVED) text = S("host not found");
    return string_format(arena, "%.*s after redirect to %.*s", STR_ARG(text), STR_ARG(result->final_url));
}

String url_report_line(Arena* arena, String url, u64 elapsed_ms, String reason, String location) {
    Scratch scratch(arena);
    StringList pieces = {};
    string_list_push(scratch.arena, &pieces, S("KO"));
    if (url.size) string_list_push(scratch.arena, &pieces, url);
    if (elapsed_ms) string_list_pushf(scratch.arena, &pieces, "time: %llums", (unsigned long long)elapsed_ms);
    if (reason.size) string_list_push(scratch.arena, &pieces, reason);
    String file = path_file_name(location);
    if (file.size) string_list_push(scratch.arena, &pieces, file);
    StringJoin join = {{}, S(" "), {}};
    return string_list_join(arena, &pieces, &join);
}

// ---- Pool creation ---------------------------------------------------------------

UrlCheckPool* g_url_pool;

UrlCheckPool* url_pool_create(const UrlSettings* settings) {
    Arena* arena = arena_create(MB(32), KB(64));
    UrlCheckPool* pool = push_struct<UrlCheckPool>(arena);
    pool->arena = arena;
    u32 processors = os_system_info()->processor_count;

    pool->bucket_count = URL_BUCKET_COUNT;
    pool->buckets = push_array<UrlCheckBucket>(arena, pool->bucket_count);
    pool->stripe_count = CLAMP_BOT(MIN((u64)processors, (u64)URL_MAX_STRIPES), 1ull);
    pool->stripes = push_array<UrlCheckStripe>(arena, pool->stripe_count);
    for (u64 i = 0; i < pool->stripe_count; i += 1) {
        ArenaParams params = {};
        params.flags = ARENA_EXACT_RESERVE;
        params.reserve_size = KB(64);
        params.commit_size = KB(4);
        pool->stripes[i].arena = arena_create(params);
        pool->stripes[i].lock = os_rw_lock_alloc();
    }

    // The ring is made with the first job: a build that checks no URL
    // never needs its half megabyte.
    pool->ring_capacity = URL_RING_CAPACITY;
    pool->not_empty_or_full = os_condition_alloc();
    pool->queue_lock = os_mutex_alloc();
    pool->report_lock = os_mutex_alloc();

    u64 workers = settings->worker_count ? settings->worker_count : URL_DEFAULT_WORKERS;
    pool->worker_count = MIN(workers, (u64)URL_MAX_WORKERS);
    pool->workers = push_array<OsThread*>(arena, pool->worker_count);
    pool->consent_url = string_copy(arena, settings->consent_url.size ? settings->consent_url : S(URL_CONSENT_DEFAULT_URL));
    return pool;
}

// ---- Report ------------------------------------------------------------------------

static void url_report_append(UrlCheckPool* pool, u32 kind, String line) {
    os_mutex_lock(pool->report_lock);
    UrlReportLine* node = push_struct<UrlReportLine>(pool->arena);
    node->kind = kind;
    node->line = string_copy(pool->arena, line);
    SLL_QUEUE_PUSH(pool->report.first, pool->report.last, node);
    pool->report.count += 1;
    pool->report.total_size += line.size;
    os_mutex_unlock(pool->report_lock);
}

// ---- Queue ---------------------------------------------------------------------------

// Record: u64 url length, url bytes padded to 8, u64 location length,
// location bytes padded to 8, u32 kind, u32 read_body; little-endian.
static u64 url_record_size(const UrlCheckJob* job) {
    return URL_RECORD_FIXED_SIZE + ALIGN_POW2(job->url.size, 8) + ALIGN_POW2(job->location.size, 8);
}

static void url_ring_put(UrlCheckPool* pool, u64 pos, const void* data, u64 size) {
    ring_write(pool->ring, pool->ring_capacity, pos, data, size);
}

static void url_ring_get(UrlCheckPool* pool, u64 pos, void* data, u64 size) {
    ring_read(pool->ring, pool->ring_capacity, pos, data, size);
}

static void url_ring_put_u64(UrlCheckPool* pool, u64 pos, u64 value) {
    u8 bytes[8];
    for (int i = 0; i < 8; i += 1) bytes[i] = (u8)(value >> (8 * i));
    url_ring_put(pool, pos, bytes, 8);
}

static u64 url_ring_get_u64(UrlCheckPool* pool, u64 pos) {
    u8 bytes[8];
    url_ring_get(pool, pos, bytes, 8);
    u64 value = 0;
    for (int i = 0; i < 8; i += 1) value |= (u64)bytes[i] << (8 * i);
    return value;
}

// A length-prefixed string field: its u64 length, then its bytes padded to a
// multiple of 8. Both return the position after the field.
static u64 url_ring_put_string(UrlCheckPool* pool, u64 pos, String text) {
    url_ring_put_u64(pool, pos, text.size);
    url_ring_put(pool, pos + 8, text.str, text.size);
    return pos + 8 + ALIGN_POW2(text.size, 8);
}

static u64 url_ring_get_string(UrlCheckPool* pool, u64 pos, Arena* arena, String* out) {
    u64 size = url_ring_get_u64(pool, pos);
    out->str = push_array_no_zero<u8>(arena, size + 1);
    out->size = size;
    url_ring_get(pool, pos + 8, out->str, size);
    out->str[size] = 0;
    return pos + 8 + ALIGN_POW2(size, 8);
}

bool url_pool_submit(UrlCheckPool* pool, const UrlCheckJob* job, u64 deadline_us) {
    u64 size = url_record_size(job);
    if (size > pool->ring_capacity) {
        // It would wait for space forever: report it as failed instead, so the
        // URL still gets its line.
        Scratch scratch;
        url_report_append(pool, URL_REPORT_FAILED, url_report_line(scratch.arena, job->url, 0, String{}, job->location));
        return false;
    }

    os_mutex_lock(pool->queue_lock);
    if (!pool->ring) {
        // Its own arena: the pool's is also used under the report lock.
        Arena* ring_arena = arena_create(pool->ring_capacity + KB(64), pool->ring_capacity + KB(64));
        pool->ring = push_array_no_zero<u8>(ring_arena, pool->ring_capacity);
    }
    while (pool->ring_capacity - (pool->ring_write - pool->ring_read) < size) {
        if (deadline_us != DEADLINE_NONE && os_now_microseconds() >= deadline_us) {
            os_mutex_unlock(pool->queue_lock);
            return false;
        }
        os_condition_wait_mutex(pool->not_empty_or_full, pool->queue_lock, deadline_us);
    }
    u64 pos = pool->ring_write;
    pos = url_ring_put_string(pool, pos, job->url);
    pos = url_ring_put_string(pool, pos, job->location);
    url_ring_put_u64(pool, pos, (u64)job->kind | ((u64)job->read_body << 32));
    pos += 8;
    pool->ring_write = pos;
    os_condition_broadcast(pool->not_empty_or_full);
    os_mutex_unlock(pool->queue_lock);
    return true;
}

bool url_check_submit(const UrlCheckJob* job, u64 deadline_us) {
    if (!g_url_pool) return false;
    return url_pool_submit(g_url_pool, job, deadline_us);
}

void url_check_submit_found(String url, String location) {
    if (!g_url_pool || !atomic_load(&g_url_pool->enabled)) return;
    UrlCheckJob job = {url, location, 0, 0};
    url_pool_submit(g_url_pool, &job, DEADLINE_NONE);
}

// Takes the oldest job; a worker counts itself busy in the same step, so the
// pool never looks idle between the take and the request.
static void url_ring_take(UrlCheckPool* pool, Arena* arena, UrlCheckJob* job, bool mark_busy) {
    os_mutex_lock(pool->queue_lock);
    while (pool->ring_write - pool->ring_read < URL_RECORD_FIXED_SIZE) {
        os_condition_wait_mutex(pool->not_empty_or_full, pool->queue_lock, DEADLINE_NONE);
    }
    u64 pos = pool->ring_read;
    *job = UrlCheckJob{};
    pos = url_ring_get_string(pool, pos, arena, &job->url);
    pos = url_ring_get_string(pool, pos, arena, &job->location);
    u64 pair = url_ring_get_u64(pool, pos);
    pos += 8;
    job->kind = (u32)pair;
    job->read_body = (u32)(pair >> 32);
    pool->ring_read = pos;
    if (mark_busy) pool->busy += 1;
    os_condition_broadcast(pool->not_empty_or_full);
    os_mutex_unlock(pool->queue_lock);
}

void url_check_take(UrlCheckPool* pool, Arena* arena, UrlCheckJob* job_out) { url_ring_take(pool, arena, job_out, false); }

bool url_pool_wait_idle(UrlCheckPool* pool, u64 deadline_us) {
    os_mutex_lock(pool->queue_lock);
    bool idle;
    for (;;) {
        idle = pool->ring_write == pool->ring_read && pool->busy == 0;
        if (idle) break;
        if (deadline_us != DEADLINE_NONE && os_now_microseconds() >= deadline_us) break;
        os_condition_wait_mutex(pool->not_empty_or_full, pool->queue_lock, deadline_us);
    }
    os_mutex_unlock(pool->queue_lock);
    return idle;
}

// ---- Results table ---------------------------------------------------------------------

static UrlCheckEntry* url_bucket_find(UrlCheckBucket* bucket, String url) {
    for (UrlCheckEntry* e = bucket->first; e; e = e->next) {
        if (string_equal(e->url, url)) return e;
    }
    return 0;
}

bool url_pool_find(UrlCheckPool* pool, Arena* arena, String url, UrlCheckEntry* out) {
    u64 bucket_index = url_hash(url) % pool->bucket_count;
    UrlCheckStripe* stripe = &pool->stripes[bucket_index % pool->stripe_count];
    os_rw_lock_shared(stripe->lock);
    UrlCheckEntry* e = url_bucket_find(&pool->buckets[bucket_index], url);
    if (e) {
        *out = *e;
        out->next = 0;
        out->claimed = atomic_load(&e->claimed);
        out->url = string_copy(arena, e->url);
        out->location = string_copy(arena, e->location);
        out->body = string_copy(arena, e->body);
    }
    os_rw_unlock_shared(stripe->lock);
    return e != 0;
}

// ---- Workers ------------------------------------------------------------------------------

// Claims the entry of the job's URL, making it when new; null when another
// worker is requesting that URL.
static UrlCheckEntry* url_claim_entry(UrlCheckStripe* stripe, UrlCheckBucket* bucket, const UrlCheckJob* job) {
    UrlCheckEntry* claimed = 0;
    os_rw_lock_shared(stripe->lock);
    UrlCheckEntry* found = url_bucket_find(bucket, job->url);
    if (found) {
        if (atomic_exchange_if(&found->claimed, 0u, 1u)) {
            claimed = found;
        }
    }
    os_rw_unlock_shared(stripe->lock);
    if (found) return claimed;

    os_rw_lock_exclusive(stripe->lock);
    // Another worker may have inserted the URL between the two locks; it
    // then requests it and this job is dropped.
    if (!url_bucket_find(bucket, job->url)) {
        UrlCheckEntry* entry = push_struct<UrlCheckEntry>(stripe->arena);
        entry->url = string_copy(stripe->arena, job->url);
        entry->read_body = job->read_body;
        entry->claimed = 1;
        SLL_QUEUE_PUSH(bucket->first, bucket->last, entry);
        claimed = entry;
    }
    os_rw_unlock_exclusive(stripe->lock);
    return claimed;
}

static void url_check_job(UrlCheckPool* pool, Arena* arena, const UrlCheckJob* job) {
    u64 bucket_index = url_hash(job->url) % pool->bucket_count;
    UrlCheckStripe* stripe = &pool->stripes[bucket_index % pool->stripe_count];
    UrlCheckBucket* bucket = &pool->buckets[bucket_index];
    UrlCheckEntry* entry = url_claim_entry(stripe, bucket, job);
    if (!entry) return;

    HttpRequestOptions options = {};
    options.method = HTTP_METHOD_GET;
    options.read_body = job->read_body;
    HttpResult result = http_request(arena, job->url, &options);
    u64 status = http_parse_status(result.head).status;

    u32 kind = url_classify(status, job->url, result.final_url);
    if (kind != URL_REPORT_NONE) {
        String reason = url_reason_text(arena, &result);
        url_report_append(pool, kind, url_report_line(arena, job->url, result.elapsed_ms, reason, job->location));
    }

    bool keep_body = job->read_body && result.error == HTTP_ERROR_NONE && status != 0 && !(status >= 400 && status <= 499);
    os_rw_lock_exclusive(stripe->lock);
    entry->status = status;
    // A finished entry never shows 0: the time doubles as the "done" mark.
    entry->elapsed_ms = result.elapsed_ms ? result.elapsed_ms : 1;
    entry->location = string_copy(stripe->arena, job->location);
    entry->body = keep_body ? string_copy(stripe->arena, result.body) : String{};
    atomic_store(&entry->claimed, 0u);
    os_rw_unlock_exclusive(stripe->lock);
}

struct UrlWorkerArgs {
    UrlCheckPool* pool;
    u64 index;
};

static void url_worker_main(u64 param) {
    UrlWorkerArgs* args = (UrlWorkerArgs*)param;
    UrlCheckPool* pool = args->pool;
    os_set_thread_name("[HTTP] Request #%llu", (unsigned long long)args->index);
    for (;;) {
        {
            Scratch scratch;
            UrlCheckJob job;
            url_ring_take(pool, scratch.arena, &job, true);
            url_check_job(pool, scratch.arena, &job);
        }
        os_mutex_lock(pool->queue_lock);
        pool->busy -= 1;
        os_condition_broadcast(pool->not_empty_or_full);
        os_mutex_unlock(pool->queue_lock);
    }
}

void url_pool_start_workers(UrlCheckPool* pool) {
    for (u64 i = 0; i < pool->worker_count; i += 1) {
        UrlWorkerArgs* args = push_struct<UrlWorkerArgs>(pool->arena);
        args->pool = pool;
        args->index = i;
        pool->workers[i] = os_thread_start(url_worker_main, (u64)args);
    }
}

// ---- Connection test --------------------------------------------------------------------

// False only when the endpoint's host certainly takes no connection at its
// port: the consent request would then get no status line either, and
// learning it from a plain connection spares loading libcurl and its TLS
// libraries. Anything this does not understand is left to the request.
static bool url_endpoint_may_answer(String url) {
    UrlParts parts = url_split(url);
    u64 port = 0;
    if (string_match(parts.scheme, S("https://"), MATCH_CASE_INSENSITIVE)) port = 443;
    if (string_match(parts.scheme, S("http://"), MATCH_CASE_INSENSITIVE)) port = 80;
    if (port == 0 || parts.host.size == 0 || parts.host.str[0] == '[') return true;
    if (parts.port.size) {
        port = 0;
        u64 digits = 0;
        while (digits < parts.port.size && parts.port.str[digits] >= '0' && parts.port.str[digits] <= '9') {
            port = port * 10 + (u64)(parts.port.str[digits] - '0');
            digits += 1;
            if (port > 65535) return true;
        }
        if (digits == 0 || port == 0) return true;
    }
    return os_tcp_connects(parts.host, (u16)port, HTTP_CONNECT_TIMEOUT_MS);
}

static void url_connection_test_run(UrlCheckPool* pool) {
    u32 online = 0;
    if (url_endpoint_may_answer(pool->consent_url)) {
        Scratch scratch;
        HttpResult result = consent_request(scratch.arena, pool->consent_url);
        online = http_parse_status(result.head).status != 0;
    }
    os_mutex_lock(pool->queue_lock);
    pool->online = online;
    pool->connection_tested = 1;
    os_condition_broadcast(pool->not_empty_or_full);
    os_mutex_unlock(pool->queue_lock);
}

static void url_connection_thread(u64 param) {
    os_set_thread_name("[HTTP] Connection test");
    // Nobody waits for this test: it takes what the build leaves of the
    // processors, not half of them.
    os_thread_set_background();
    url_connection_test_run((UrlCheckPool*)param);
    http_thread_release();
}

void url_pool_test_connection(UrlCheckPool* pool, bool wait) {
    if (wait) {
        url_connection_test_run(pool);
    } else {
        os_thread_start(url_connection_thread, (u64)pool);
    }
}

u32 url_pool_wait_online(UrlCheckPool* pool, u64 deadline_us) {
    os_mutex_lock(pool->queue_lock);
    while (!pool->connection_tested) {
        if (deadline_us != DEADLINE_NONE && os_now_microseconds() >= deadline_us) break;
        os_condition_wait_mutex(pool->not_empty_or_full, pool->queue_lock, deadline_us);
    }
    u32 online = pool->online;
    os_mutex_unlock(pool->queue_lock);
    return online;
}

void url_pool_start() {
    if (g_url_pool) return;
    const UrlSettings* settings = url_settings();
    g_url_pool = url_pool_create(settings);
    // Workers only serve checks; a build that checks no URL starts none.
    if (settings->check_urls) url_pool_start_workers(g_url_pool);
    url_pool_test_connection(g_url_pool, settings->check_urls != 0);
}

bool url_pool_connection_pending(UrlCheckPool* pool) {
    if (!pool) return false;
    os_mutex_lock(pool->queue_lock);
    bool pending = !pool->connection_tested;
    os_mutex_unlock(pool->queue_lock);
    return pending;
}
