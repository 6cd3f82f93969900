// URL check benchmark: N distinct URLs on a local HTTPS server that answers
// each after a fixed delay, checked by a pool of W workers. Prints the wall
// time from the first submission until the pool is idle, and the bound
// N x delay / W that perfect overlap would give.
//
// usage: url_bench <ca_file> <base_url> <delay_ms> <count> <workers|0 for the default>
#include <stdio.h>
#include <stdlib.h>

#include "base/os.h"
#include "urlcheck/url_pool.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: url_bench <ca_file> <base_url> <delay_ms> <count> <workers>\n");
        return 2;
    }
    ThreadContext ctx = thread_context_create();
    thread_context_set(&ctx);
    os_init();
    http_global_init();

    UrlSettings settings = {};
    settings.ca_file = string_from_cstr(argv[1]);
    settings.worker_count = (u32)atoi(argv[5]);
    url_settings_set(&settings);
    String base = string_from_cstr(argv[2]);
    u64 delay_ms = (u64)atoll(argv[3]);
    u64 count = (u64)atoll(argv[4]);

    UrlCheckPool* pool = url_pool_create(&settings);
    url_pool_start_workers(pool);

    Scratch scratch;
    u64 start = os_now_microseconds();
    for (u64 i = 0; i < count; i += 1) {
        String url = string_format(scratch.arena, "%.*s/slow/%llu/%llu", STR_ARG(base), (unsigned long long)delay_ms,
                                   (unsigned long long)i);
        UrlCheckJob job = {url, S("bench.kav:1:1"), 0, 0};
        url_pool_submit(pool, &job, DEADLINE_NONE);
    }
    url_pool_wait_idle(pool, DEADLINE_NONE);
    u64 elapsed_us = os_now_microseconds() - start;

    double bound_ms = (double)count * (double)delay_ms / (double)pool->worker_count;
    printf("workers=%llu urls=%llu wall_ms=%.1f bound_ms=%.1f ratio=%.2f report_lines=%llu\n",
           (unsigned long long)pool->worker_count, (unsigned long long)count, elapsed_us / 1000.0, bound_ms,
           (elapsed_us / 1000.0) / bound_ms, (unsigned long long)pool->report.count);
    // Every URL answers 200: any line means the run measured something else.
    int shown = 0;
    for (UrlReportLine* l = pool->report.first; l && shown < 3; l = l->next, shown += 1) {
        printf("  %.*s\n", STR_ARG(l->line));
    }
    return pool->report.count ? 1 : 0;
}
