#include "driver/build.h"

#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"
#include "driver/page_writer.h"
#include "driver/watch.h"
#include "htmldom/html_head.h"
#include "kav/kav_node.h"
#include "site/index_page.h"
#include "site/page.h"
#include "site/shared_resources.h"
#include "urlcheck/known_searches.h"
#include "urlcheck/url_pool.h"

#define BUILD_EXIT_BUILT 0
#define BUILD_EXIT_PAGE_FAILED 1
#define BUILD_EXIT_ABORTED 2

// ---- Phases joined by the layers that provide them ------------------------------------

// Site files (templates) come through the file service. Its bytes are the
// ones it last loaded; a file rewritten since (the shared-resources step
// rewrites the templates) is read again directly.
static String read_site_file(Arena* arena, String path) {
    FileKey key = fs_request_file(path, DEADLINE_NONE);
    String bytes = fs_loaded_file(key);
    OsFileProperties props = os_path_properties(path);
    if (!props.exists) return String{};
    if (props.last_write_time == key.last_write_time && props.size == bytes.size) return bytes;
    return os_read_whole_file(arena, path);
}

// Global initialisation of the network layer, once, before the build.
static void network_init() { http_global_init(); }

// Writes the shared resources under the root and rewrites the head and menu
// templates, then reads the templates every page copies.
static void phase_shared_resources(RunState* run) {
    generate_shared_resources(run->arena, run->site);
    site_load_templates(run->site);
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
    url_pool_start();
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
    String path = string_format(run->arena, "%Skn_searchs.txt", &run->site->settings.root);
    String text = os_read_whole_file(run->arena, path);
    kn_load(run->arena, text, path);
}

// Reports every page of OutputState.pages in order: on success html_count
// and "\t<file name>\n", on failure page_failures and "\tFaiLure: <output
// path>\n"; then the page's messages.
static void write_pages(RunState* run) {
    for (BuildPage* built = run->build_pages_first; built; built = built->next) {
        HtmlPage* page = &built->node->page;
        if (built->written) {
            run->html_count += 1;
            String name = path_file_name(page->path);
            console_print("\t%.*s\n", STR_ARG(name));
        } else {
            run->page_failures += 1;
            console_print("\tFaiLure: %.*s\n", STR_ARG(page->path));
        }
        if (page->messages.first) {
            console_print("%.*s: \n\t", STR_ARG(page->path));
            for (StringNode* m = page->messages.first; m; m = m->next) console_print("%.*s: \n\t", STR_ARG(m->string));
        }
    }
}

// Writes the home page from OutputState.pages and the sections; a home page
// that cannot be written is reported and counted like any page.
static void phase_index_page(RunState* run) {
    if (write_index_page(run->arena, run->site, run->pages_first, &run->sections)) return;
    String path = string_format(run->arena, "%S" INDEX_PAGE_PATH, &run->site->settings.root);
    run->page_failures += 1;
    console_print("\tFaiLure: %.*s\n", STR_ARG(path));
}

// Prints the dashes, "HTTP checks\n", waits until every submitted check has
// finished (the request timeouts bound the wait), then prints each line of
// the pool's report.
static void phase_url_report(RunState* run) {
    (void)run;
    console_print("------------------------------------------------------------\n");
    console_print("HTTP checks\n");
    url_pool_wait_idle(g_url_pool, DEADLINE_NONE);
    for (UrlReportLine* line = g_url_pool->report.first; line; line = line->next) {
        console_print("\t%.*s\n", STR_ARG(line->line));
    }
    console_flush();
}

// Reads "<root>html/shared/html/default_head.html" through the file service,
// removes the `meta` elements named after the node kinds' class codes and the
// head's `style` elements, and writes the template back, so the next build's
// shared-resources step starts from a clean head.
static void phase_head_rewrite(RunState* run) {
    String path = string_format(run->arena, "%Shtml/shared/html/default_head.html", &run->site->settings.root);
    String text = fs_loaded_file(fs_request_file(path, DEADLINE_NONE));
    String codes[KAV_KIND_ROW_COUNT];
    for (u64 i = 0; i < KAV_KIND_ROW_COUNT; i += 1) codes[i] = kav_kind_table[i].code;
    html_head_rewrite(run->arena, path, text, codes, KAV_KIND_ROW_COUNT);
}

// ---- Driver ------------------------------------------------------------------------------

static void phase_conversion(RunState* run) {
    console_print("HTML conversion:\n");
    // Every page queued in the parse phase is stored before any is reported.
    page_writer_drain();
    // The summary follows the last page; without pages there is none.
    if (!run->pages_first) return;
    write_pages(run);
    String summary = build_summary_text(run->arena, run->kav_count, run->html_count, run->wrong_paths_first);
    console_print("%.*s", STR_ARG(summary));
    phase_index_page(run);
    run->done = 1;
}

int build_run(const OptionTable* options) {
    Scratch scratch;
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
    // A root must be a directory; a missing one is only reported.
    if (!os_path_properties(root).is_directory) console_print("[root_p] was not valid\n");
    BuildTargetKind kind = build_target_kind(target);
    if (kind == BUILD_TARGET_NONE) {
        console_print("[targ_p] was not valid\n");
        console_print("aborted");
        return BUILD_EXIT_ABORTED;
    }

    RunState* run = run_state_create(&settings);
    run->target = string_copy(run->arena, target);
    run->threads = (u32)MIN(option_number(options, S("threads")), (u64)64);
    run->site->read_file = read_site_file;
    Watch* watch = watch_requested(options) ? watch_attach(run, options) : 0;
    phase_shared_resources(run);
    phase_url_pool(run, options);

    build_collect_sources(run, run->target, kind);
    phase_known_searches(run);
    build_parse_phase(run);
    phase_conversion(run);

    if (run->done && run->site->settings.check_urls) {
        phase_url_report(run);
    } else {
        phase_head_rewrite(run);
    }
    if (watch) return watch_run(watch);
    return run->page_failures ? BUILD_EXIT_PAGE_FAILED : BUILD_EXIT_BUILT;
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
    fs_start();
    network_init();
    return build_run(options);
}
