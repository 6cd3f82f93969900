#include "driver/build.h"

#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"
#include "driver/page_writer.h"
#include "driver/page_manifest.h"
#include "driver/root_lock.h"
#include "driver/watch.h"
#include "site/index_page.h"
#include "site/page.h"
#include "site/shared_resources.h"
#include "urlcheck/known_searches.h"
#include "urlcheck/url_pool.h"

#define BUILD_EXIT_BUILT 0
#define BUILD_EXIT_PAGE_FAILED 1
#define BUILD_EXIT_ABORTED 2

// ---- Phases joined by the layers that provide them ------------------------------------


// Writes the shared resources under the root and rewrites the head and menu
// templates; the site keeps them for every page. The head file is written
// once, as the build leaves it.
// A shared file that cannot be written fails the build like a page.
static void phase_shared_resources(RunState* run) {
    run->page_failures += generate_shared_resources(run->arena, run->site);
}

// Starts the URL check pool (url_pool_start) with the options consent_url,
// ca_file and url_workers. Without check_urls its connection test runs in
// the background and nobody waits for it. With check_urls the test is waited
// for: when it answered, the pool is enabled; otherwise the checks are
// switched off for page generation and the build goes on.
static void phase_url_pool(RunState* run, const OptionTable* options) {
    UrlSettings settings = {};
    settings.consent_url = option_string(options, S("consent_url"));
    settings.ca_file = option_string(options, S("ca_file"));
    settings.worker_count = (u32)MIN(option_number(options, S("url_workers")), (u64)URL_MAX_WORKERS);
    settings.check_urls = run->site->settings.check_urls;
    url_settings_set(&settings);
    url_pool_start();
    if (!settings.check_urls) return;
    console_print("[check urls]\n");
    if (g_url_pool->online) {
        g_url_pool->enabled = 1;
    } else {
        // The report is still printed, empty: the pool stays disabled, so
        // nothing is submitted.
        console_print("Could not connect to internet, checks on URLs aborted\n");
    }
}

// Reads "<root>kn_searchs.txt" into the main arena (empty when missing) and
// hands it to the known-searches loader, which prints its warnings.
static void phase_known_searches(RunState* run) {
    String path = string_format(run->arena, "%.*skn_searchs.txt", STR_ARG(run->site->settings.root));
    String text = os_read_whole_file(run->arena, path);
    kn_load(run->arena, text, path);
}

// Reports every page of the build in order: on success html_count and
// "\t<file name>\n", on failure page_failures and "\tFaiLure: <output
// path>\n"; likewise a raw view that could not be written.
static void write_pages(RunState* run) {
    BuildPageCursor cursor = {};
    for (BuildPage* page = build_page_next(&run->pages, &cursor); page; page = build_page_next(&run->pages, &cursor)) {
        Scratch scratch;
        String path = build_page_path(scratch.arena, page);
        if (page->state->written) {
            run->html_count += 1;
            console_print("\t%.*s\n", (int)page->name_size, page->name);
        } else {
            run->page_failures += 1;
            console_print("\tFaiLure: %.*s\n", STR_ARG(path));
        }
        // A raw view that could not be written leaves the page's link dead.
        if (page->state->has_raw && !page->state->raw_written) {
            run->page_failures += 1;
            String raw_path = build_raw_path(scratch.arena, path);
            console_print("\tFaiLure: %.*s\n", STR_ARG(raw_path));
        }
    }
}

// The home page reads the pages through a cursor of its own.
struct IndexPagesContext {
    BuildPages* pages;
    BuildPageCursor cursor;
    Arena* arena;   // holds the last path given
    u64 arena_pos;  // its position before the first
    u64 given;      // pages given since the start
};

static u64 index_pages_next(void* context, u64 at, String* path, String* title) {
    IndexPagesContext* c = (IndexPagesContext*)context;
    if (at == 0) {
        build_page_cursor_end(&c->cursor);
        c->given = 0;
    }
    arena_pop_to(c->arena, c->arena_pos);
    BuildPage* page = build_page_next(c->pages, &c->cursor);
    if (!page) return 0;
    *path = build_page_path(c->arena, page);
    *title = String{(u8*)page->title, page->title_size};
    c->given += 1;
    return c->given;
}

// Writes the home page from the pages and the sections; a home page that
// cannot be written is reported among the pages ("\tFaiLure: <path>",
// before the summary) and counted like any page.
static void phase_index_page(RunState* run) {
    String root = run->site->settings.root;
    // A root that is not a folder is made into a site only by pages.
    if (!run->pages.count && !os_path_properties(root).is_directory) return;
    // The path given last lives in an arena of its own, popped at each page:
    // the writer's scratch memory is untouched.
    Arena* paths = arena_create(GB(1), KB(64));
    IndexPagesContext context = {&run->pages, {}, paths, arena_pos(paths), 0};
    IndexPageSource source = {&context, index_pages_next};
    bool written = write_index_page_from(run->arena, run->site, source, &run->sections);
    build_page_cursor_end(&context.cursor);
    arena_release(paths);
    if (written) return;
    String path = string_format(run->arena, "%.*s" INDEX_PAGE_PATH, STR_ARG(root));
    run->page_failures += 1;
    console_print("\tFaiLure: %.*s\n", STR_ARG(path));
}

// Prints the dashes, "HTTP checks\n", waits until every submitted check has
// finished (the request timeouts bound the wait), then prints each line of
// the pool's report.
static void phase_url_report() {
    console_print("------------------------------------------------------------\n");
    console_print("HTTP checks\n");
    url_pool_wait_idle(g_url_pool, DEADLINE_NONE);
    for (UrlReportLine* line = g_url_pool->report.first; line; line = line->next) {
        console_print("\t%.*s\n", STR_ARG(line->line));
    }
    console_flush();
}

// ---- Driver ------------------------------------------------------------------------------

// Reports the pages and the home page, then the summary. A run that
// publishes no page (drafts only, no output path) says so in the summary
// and still has a home page.
static void phase_conversion(RunState* run) {
    console_print("HTML conversion:\n");
    // Every page queued in the parse phase is stored before any is reported.
    page_writer_drain();
    write_pages(run);
    phase_index_page(run);
    String summary = build_summary_text(run->arena, run->kav_count, run->html_count, run->wrong_paths_first);
    console_print("%.*s", STR_ARG(summary));
}

int build_run(const OptionTable* options) {
    Scratch scratch;
    DiagnosticForm form = DIAG_FORM_BLOCK;
    if (!build_check_options(options, &form)) {
        console_print("aborted");
        return BUILD_EXIT_ABORTED;
    }
    String target = option_string(options, S("targ_p"));
    String root = option_string(options, S("root_p"));
    if (target.size) target = path_make_absolute(scratch.arena, target);
    if (root.size) root = path_ensure_trailing_slash(scratch.arena, path_make_absolute(scratch.arena, root));
    SiteSettings settings = {};
    settings.root = root;
    settings.js = option_flag(options, S("js"));
    settings.dev_js = option_flag(options, S("dev_js"));
    settings.check_urls = option_flag(options, S("check_urls"));
    settings.file_p_check = option_flag(options, S("file_p_check"));
    settings.print_todos = option_flag(options, S("print_todos"));
    settings.deploy = option_flag(options, S("deploy"));
    settings.site_title = option_string(options, S("site_title"));

    bool abort = false;
    if (root.size == 0) {
        console_print("No root path provided, use 'root_p' argument\n");
        abort = true;
    }
    if (settings.deploy) {
        console_print("\n[deploy]\n");
        settings.dev_js = 0;
        settings.file_p_check = 0;
    } else {
        if (settings.dev_js) settings.js = 1;
        console_print(settings.file_p_check ? "\nfile path check\n" : "\nno file paths check\n");
    }
    if (target.size == 0) {
        console_print("No file to parse provided, use 'targ_p' argument\n");
        console_print("aborted");
        return BUILD_EXIT_ABORTED;
    }
    if (abort) {
        console_print("aborted");
        return BUILD_EXIT_ABORTED;
    }
    // Nothing is written before both paths are known to be usable, and
    // nothing without holding the root.
    bool root_usable = build_check_root(root);
    BuildTargetKind kind = build_check_target(target);
    RootLock lock = {};
    bool no_wait = option_flag(options, S("no_wait"));
    if (!root_usable || kind == BUILD_TARGET_NONE || !root_lock_acquire(&lock, root, no_wait)) {
        console_print("aborted");
        return BUILD_EXIT_ABORTED;
    }

    RunState* run = run_state_create(&settings);
    run->diagnostic_form = form;
    build_read_limits(run, options);
    run->target = string_copy(run->arena, target);
    run->threads = (u32)MIN(option_number(options, S("threads")), (u64)64);
    // Pages go through the manifest of the previous build.
    PageManifest* manifest = page_manifest_load(run->site->settings.root);
    page_writer_use_manifest(manifest);
    Watch* watch = watch_requested(options) ? watch_attach(run, options) : 0;
    phase_shared_resources(run);
    phase_url_pool(run, options);

    build_collect_sources(run, run->target, kind);
    phase_known_searches(run);
    build_parse_phase(run);
    page_manifest_save(manifest);
    page_writer_use_manifest(0);
    phase_conversion(run);

    // The head template was written as the build leaves it when the shared
    // resources were made.
    if (run->site->settings.check_urls) phase_url_report();
    int status = run->page_failures ? BUILD_EXIT_PAGE_FAILED : BUILD_EXIT_BUILT;
    if (watch) {
        // Watching keeps the root locked, since another build would race the
        // rebuilds, and the manifest current, so that the next build does
        // not write again what the rebuilds stored.
        page_writer_use_manifest(manifest);
        status = watch_run(watch);
        page_writer_drain();
        page_writer_use_manifest(0);
        page_manifest_save(manifest);
    }
    root_lock_release(&lock);
    return status;
}

int build_main(const OptionTable* options) {
    if (option_present(options, S("help"))) {
        String usage = build_usage_text();
        console_print("%.*s", STR_ARG(usage));
        return BUILD_EXIT_BUILT;
    }
    if (option_present(options, S("version"))) {
        console_print("kavsite %s\n", KAVSITE_VERSION);
        return BUILD_EXIT_BUILT;
    }
    // Watching must hold termination requests before any thread starts.
    if (!watch_prepare(options)) return BUILD_EXIT_ABORTED;
    os_init();
    fs_init();
    // A build reads each document once: looking for changes to files it
    // has read would cost a status call per file every 100 ms and find
    // nothing it uses. Watch mode learns of changes from the system.
    fs_scanner_pause(true);
    fs_start();
    int status = build_run(options);
    // A connection test nobody waits for may still be loading libcurl or
    // talking to its server: the build is done, and the process ends now
    // rather than wait for it in its exit handlers.
    if (url_pool_connection_pending(g_url_pool)) {
        console_flush();
        os_exit_now(status);
    }
    return status;
}
