// The process-wide state records of a build that page generation shares:
// the output state (pages to write, root, deploy) and the site state (site
// arena, parsed documents, wrong paths, switches). The build driver creates
// both once; they live until the process ends.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"

struct HtmlPageNode;   // htmldom/html_dom.h: `next` and a whole page record
struct DocumentEntry;  // build/build_state.h: a parsed document and its path

struct OutputState {
    Arena* arena;  // reserve 64 MiB
    HtmlPageNode* pages_first;
    HtmlPageNode* pages_last;
    u64 page_count;
    String root;  // site root, absolute, ending in "/"
    u32 check_urls;
    u32 print_todos;
    u32 deploy;
};

struct SiteState {
    Arena* arena;  // reserve 64 MiB; documents are parsed and pages assembled here
    DocumentEntry* documents_first;
    DocumentEntry* documents_last;
    u64 document_count;
    DiagnosticList wrong_paths;  // one warning per missing local file path
    String root;
    u32 file_p_check;
    u32 check_urls;
    u32 dev_js;
    u32 js;
};

// Null until the build driver creates them.
extern OutputState* g_output_state;
extern SiteState* g_site_state;

// Create the record unless it exists; returns the record.
OutputState* output_state_create(String root, u32 check_urls, u32 print_todos, u32 deploy);
SiteState* site_state_create(String root, u32 file_p_check, u32 check_urls, u32 dev_js, u32 js);

// The site root and deploy switch that link resolution reads (empty root and
// deploy off before the build creates the state records).
String site_root();
u32 site_deploy();
