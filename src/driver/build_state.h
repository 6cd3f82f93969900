// The build driver's own state and the steps of a build that can be run on
// their own (source collection, the fetch-and-count pass, the texts the
// driver prints).
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/entry.h"
#include "base/string.h"
#include "kav/kav_node.h"

// ---- State -----------------------------------------------------------------------

// One source file to visit; the list is consumed from the front.
struct FileListNode {
    FileListNode* next;
    String path;  // absolute, NUL-terminated
};

struct FileList {
    FileListNode* first;
    FileListNode* last;
    u64 count;
    u64 total_size;  // bytes of all paths
};

// Whether a page was stored when it was assembled; the conversion phase
// reports it in page order.
struct PageWriteResult {
    PageWriteResult* next;
    const struct HtmlPageNode* page;
    u32 written;  // 1: stored at its path; 0: the write failed
};

// Paths of the pages assembled so far: a raw view never replaces a page.
#define PAGE_PATH_SLOT_COUNT 4096

struct PagePathNode {
    PagePathNode* next;
    String path;
};

struct RunState {
    Arena* arena;         // reserve 8 GiB: file list, known-searches text, sections
    StringList sections;  // distinct directory names holding generated pages, NUL-terminated copies
    FileList files;
    String target;  // absolute, without a trailing "/"
    String root;    // absolute, ending in "/"
    u32 js;
    u32 dev_js;
    u32 check_urls;
    u32 file_p_check;
    u32 print_todos;
    u32 deploy;
    DiagnosticForm diagnostic_form;  // how the documents' diagnostics print
    u64 kav_count;      // documents with the "kav" extension that were parsed, drafts included
    u64 html_count;     // pages written in the conversion phase
    u64 page_failures;  // pages that failed to write
    u32 done;           // the summary has been printed
    // One document at a time: its tree, its pages and its raw views live
    // here until they are written, then the arena goes back to empty.
    Arena* document_arena;
    PageWriteResult* page_results_first;
    PageWriteResult* page_results_last;
    PagePathNode** page_paths;  // PAGE_PATH_SLOT_COUNT buckets; null until the first page
};

// A parsed document and the file it came from, in the site arena: one
// entry per output path of a published document. The document keeps what
// the later steps read: its output paths, status and success, its root
// (the source text) and its URL words (text and offset); its tree and
// other lists are gone with the document's arena.
struct DocumentEntry {
    DocumentEntry* next;
    KavParseResult document;
    String source_path;  // equal to its file-list entry
};

// Null until a build starts.
extern RunState* g_run_state;

RunState* run_state_create();

// ---- Options -----------------------------------------------------------------------

// Reads the options that shape the whole run before anything else: prints a
// line for each option the program does not know (with the nearest known
// name), for a "diagnostics" value other than "line" or "block", and for a
// "targ_p=" or "root_p=" whose value would be the next argument although that
// argument is itself an option; sets run->diagnostic_form. False when the
// build must stop: a path option without its value.
bool build_check_options(RunState* run, const OptionTable* options);

// ---- Steps -------------------------------------------------------------------------

enum BuildTargetKind : u32 {
    BUILD_TARGET_NONE = 0,       // names nothing
    BUILD_TARGET_DIRECTORY = 1,  // walked
    BUILD_TARGET_DOCUMENT = 2,   // anything else that exists: one document
};

// The file system decides: an existing directory (also through a symbolic
// link) is walked, any other existing path is one document.
BuildTargetKind build_target_kind(String target);

// Fills run->files. A directory is walked breadth-first, entries of each
// directory in the sorted order of the directory listing; symbolic links to
// directories are followed, but no directory (device, inode) is entered
// twice. A document target is the one entry.
void build_collect_sources(RunState* run, String target, BuildTargetKind kind);

// Prints "KAV (parsing):", then fetches every listed file through the file
// service, in order, and parses those whose extension is exactly "kav"
// (counted, drafts included); the parse driver prints their diagnostics.
// Drafts (status "draft" in any case) stop there. For every "html" output
// path of another document the page is assembled and stored (the result is
// reported in the conversion phase), the source's file name is printed, the
// raw view is assembled and stored, and the page's folder is recorded as a
// section; every output path gets a DocumentEntry. Memory grows with the
// largest document, not with the site. The list is empty afterwards. Creates
// the output and site states from the run's settings when no build made
// them yet.
void build_parse_phase(RunState* run);

// True when `path`, with "." and ".." resolved, names something below
// `root` (an absolute path ending in "/"); false for an empty root.
bool build_path_inside_root(String path, String root);
// The raw-view path of a page: "raw_" before the output path's file name.
String build_raw_path(Arena* arena, String output_path);
// Records the name of the directory that holds `output_path` as a section,
// unless it is "html" (any case) or a section of that name (any case) exists.
void build_add_section(RunState* run, String output_path);

// The summary block printed after the last page.
String build_summary_text(Arena* arena, u64 kav_count, u64 html_count, const DiagnosticList* wrong_paths);
// The text of --help.
String build_usage_text();
