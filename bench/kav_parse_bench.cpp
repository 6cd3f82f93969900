// Times the KAV parse driver (tokenize + parse) over a corpus of documents,
// single thread, the way a build parses them: one after another into one
// long-lived arena. Prints one line of key=value figures.
//
//   kav_parse_bench <folder of .kav files> [--warm]
//
// Without options the documents go into an arena made like the build's site
// arena (64 MiB blocks chained as it grows), in fresh memory: what a build
// pays, page faults included. --warm uses one large reservation instead,
// parses the corpus once, gives the memory back to the arena (the pages stay
// mapped) and times a second pass: the parser's own speed without the cost
// of the kernel handing out fresh pages.
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/arena.h"
#include "kav/kav_document.h"

static double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static long resident_kb() {
    FILE* f = fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <folder of .kav files> [--warm | --per-document]\n", argv[0]);
        return 2;
    }
    bool warm = argc > 2 && strcmp(argv[2], "--warm") == 0;
    // As the build does: each document parsed into one reused arena that is
    // popped back before the next, so memory grows with the largest document.
    bool per_document = argc > 2 && strcmp(argv[2], "--per-document") == 0;
    std::vector<std::string> names;
    DIR* dir = opendir(argv[1]);
    if (!dir) return 2;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".kav") == 0) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    std::vector<std::string> documents;
    u64 bytes = 0;
    for (const std::string& name : names) {
        std::string path = std::string(argv[1]) + "/" + name;
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) return 2;
        std::string text;
        char buffer[1 << 16];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
        bytes += text.size();
        documents.push_back(std::move(text));
    }
    // Diagnostics would be printed; the corpus is meant to have none.
    if (!freopen("/dev/null", "w", stdout)) return 2;

    Arena* arena = warm ? arena_create(GB(64), MB(2)) : arena_create(MB(64), KB(64));
    u64 start = arena_pos(arena);
    if (warm) {
        for (const std::string& d : documents) kav_parse_document(arena, String{(u8*)d.data(), d.size()}, S("b.kav"));
        arena_pop_to(arena, start);
    }
    long resident_before = resident_kb();
    u64 nodes_check = 0;
    double t0 = now_seconds();
    u64 largest_document_arena = 0;
    for (const std::string& d : documents) {
        KavParseResult r = kav_parse_document(arena, String{(u8*)d.data(), d.size()}, S("b.kav"));
        nodes_check += r.root ? r.root->child_count : 0;
        if (per_document) {
            largest_document_arena = MAX(largest_document_arena, arena_pos(arena) - start);
            arena_pop_to(arena, start);
        }
    }
    if (per_document) arena_push(arena, largest_document_arena, 1);
    double seconds = now_seconds() - t0;
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    long peak_kb = usage.ru_maxrss;
    double mb = (double)bytes / 1e6;
    fprintf(stderr,
            "documents=%zu bytes=%llu seconds=%.4f mb_per_s=%.1f arena_bytes_per_source_byte=%.1f "
            "peak_rss_mb=%.1f rss_growth_mb_per_source_mb=%.1f roots=%llu\n",
            documents.size(), (unsigned long long)bytes, seconds, mb / seconds,
            (double)(arena_pos(arena) - start) / (double)bytes, (double)peak_kb / 1024.0,
            (double)(peak_kb - resident_before) / 1024.0 / (mb / 1.048576), (unsigned long long)nodes_check);
    return 0;
}
