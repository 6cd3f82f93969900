// The build driver's own state and the steps of a build that can be run on
// their own (source collection, the fetch-and-count pass, the texts the
// driver prints).
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/spool.h"
#include "base/entry.h"
#include "base/string.h"
#include "base/string_table.h"
#include "driver/page_pieces.h"
#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/site.h"
#include "site/site_check.h"

// ---- State -----------------------------------------------------------------------

// One source file to visit, in the order of the walk. A walk
// finds many documents in few folders, so a node keeps its folder once
// for all of them and its own file name right after the node (a site of
// 50,000 documents held 4 MB of whole paths).
struct FileListNode {
    const String* folder;  // with its trailing separator; empty for a document given whole
    u64 name_size;         // the name's bytes follow the node, NUL-terminated
};

#define FILE_LIST_CHUNK_NODES 1024

// The nodes of up to FILE_LIST_CHUNK_NODES documents in a row, in an arena
// of their own: the parse phase gives a chunk back once its last document
// is done, so the list follows the documents still to come.
struct FileListChunk {
    FileListChunk* next;
    Arena* arena;  // holds this chunk and its nodes
    u64 count;
    u64 done;  // documents of the chunk the parse phase is done with
    FileListNode* nodes[FILE_LIST_CHUNK_NODES];
};

struct FileList {
    FileListChunk* first;
    FileListChunk* last;
    u64 count;
    u64 total_size;  // bytes of all paths
};

// A place in a file list: a zero cursor starts at the first node.
struct FileListCursor {
    const FileListChunk* chunk;
    u64 index;
    bool started;
};

// The node at the cursor, which moves past it; null after the last.
const FileListNode* file_list_next(const FileList* list, FileListCursor* cursor);
// Gives back the list's memory and empties it.
void file_list_release(FileList* list);
// The node's file name (the whole path for a document given whole).
String file_list_name(const FileListNode* node);
// The node's whole path, NUL-terminated, in `arena`.
String file_list_path(Arena* arena, const FileListNode* node);

// What became of a page; the only part of its record kept in memory. Stays
// at one address (the page writer sets the results through pointers).
struct BuildPageState {
    u8 written;      // set by the page writer: 1 stored, 0 the write failed
    u8 raw_written;  // as `written`, for the raw view
    u8 has_raw;      // its raw view was handed to the writer
    u8 unused;
};

// A page of the build as build_page_next gives it back: its path is its
// folder followed by its file name; the title is the document's. The
// strings hold until the next call.
struct BuildPage {
    String folder;  // up to and with the last separator
    const u8* name;
    const u8* title;
    u32 name_size;
    u32 title_size;
    BuildPageState* state;
};

// Every page of the build, in document order. The records (folder, file
// name, title) are read only at the end, by the report and the home page:
// they are spooled, a site of 50,000 pages held 4.4 MB of them.
struct BuildPages {
    Spool records;  // per page: a BuildPageRecord, its name and its title
    bool records_open;
    Arena* states;  // the BuildPageState of every page, one after another
    BuildPageState* first_state;
    u64 count;
    StringTable folders;  // the folder parts of the page paths (up to and with the last separator)
};

// A document whose pages wait until every page of the build is known: one
// of its local file words names neither a file nor a page seen so far.
struct DeferredDocument {
    DeferredDocument* next;
    String path;
    String bytes;                 // kept by the file service
    BuildPageState** pages;       // one per html output path; null for a path an earlier page took
    DiagnosticList* wrong_paths;  // where its missing paths go, in document order
};

// The missing local paths of one document, kept in document order for the
// summary.
struct WrongPathsNode {
    WrongPathsNode* next;
    DiagnosticList list;
};

// The text of a page and of its raw view.
struct PageTexts {
    PageTexts* next;
    String page;
    // With DOCUMENT_PAGE_PIECES, a large document's page and raw view are
    // left in pieces here (and `page` and `raw` stay empty), the page's body
    // in a spool: write_document_pages gives the spool back.
    PagePieces page_pieces;
    String raw;
    PagePieces raw_pieces;
    String raw_path;
    const PageTexts* shares;  // a path named again: the texts made for it first
};

// One document made into pages: what a build and a watch rebuild both need.
struct DocumentPages {
    String diagnostics;  // as the run prints them; empty unless DOCUMENT_DIAGNOSTICS
    u32 errors;          // some diagnostic is an error
    u32 draft;
    u32 deferred;  // a local file word names no file yet: no page was made
    String title;
    StringList page_paths;  // resolved html output paths below the root, in order
    StringList urls;        // with DOCUMENT_URLS: URL words, with their "path:line:column" in `locations`
    StringList locations;
    DiagnosticList wrong_paths;  // final check: the local paths that exist nowhere
    PageTexts* pages_first;      // one per page path, once assembled
    PageTexts* pages_last;
};

struct RunState;

enum DocumentPagesFlags : u32 {
    DOCUMENT_DIAGNOSTICS = 1 << 0,  // format the diagnostics
    DOCUMENT_URLS = 1 << 1,         // collect the URL words
    DOCUMENT_PAGE_PIECES = 1 << 2,  // large pages may stay in pieces
};

// A document's text as read: without a UTF-8 byte-order mark.
String document_text(String bytes);
// Parses `bytes` (the document at `path`), checks its output paths and file
// words (`when`), and assembles its pages and raw views unless it is a
// draft or must wait; every result is in `out`, the tree only in scratch
// memory. Touches nothing shared: runs on any thread.
void document_pages(const RunState* run, String path, String bytes, CheckFiles when, u32 flags, Arena* out,
                    DocumentPages* result);

// Told about each document the parse phase commits, in document order: its
// path, whether it is a draft, the page paths it names (none for a draft;
// a path an earlier document took is named but not written) and its title.
typedef void DocumentCommitted(void* context, String path, u32 draft, const StringList* page_paths, String title);

struct RunState {
    Arena* arena;         // reserve 8 GiB: file list, known-searches text, sections, page records
    Site* site;           // the settings and everything page generation shares
    StringList sections;  // distinct directory names holding generated pages, NUL-terminated copies
    FileList files;
    String target;  // absolute, without a trailing "/"
    u64 max_doc_size;  // bytes; a larger document is skipped unread (never above KAV_SOURCE_MAX)
    // Documents of at least this many bytes are parsed twice, the second
    // time a part at a time as the page is made (BUILD_LARGE_DOCUMENT_BYTES).
    u64 large_document_bytes;
    DiagnosticForm diagnostic_form;  // how the documents' diagnostics print
    u64 kav_count;      // documents with the "kav" extension that were parsed, drafts included
    u64 html_count;     // pages written in the conversion phase
    u64 page_failures;  // pages that failed to write
    BuildPages pages;  // every page of the build, in document order, with its write results
    DeferredDocument* deferred_first;
    DeferredDocument* deferred_last;
    u64 deferred_count;
    u32 threads;  // threads that parse and assemble documents; 0: one per processor
    WrongPathsNode* wrong_paths_first;
    WrongPathsNode* wrong_paths_last;
    DocumentCommitted* on_document;  // null: nobody listens
    void* on_document_context;
};

// A run with its site made from `settings` (the root absolute, ending in
// "/"), both in arenas of their own.
RunState* run_state_create(const SiteSettings* settings);

// ---- Options -----------------------------------------------------------------------

// Reads the options that shape the whole run before anything else: prints a
// line for each option the program does not know (with the nearest known
// name), for a "diagnostics" value other than "line" or "block", and for a
// "targ_p=" or "root_p=" whose value would be the next argument although that
// argument is itself an option; sets *form from "diagnostics". False when the
// build must stop: a path option without its value.
bool build_check_options(const OptionTable* options, DiagnosticForm* form);

// ---- Steps -------------------------------------------------------------------------

enum BuildTargetKind : u32 {
    BUILD_TARGET_NONE = 0,       // names nothing
    BUILD_TARGET_DIRECTORY = 1,  // walked
    BUILD_TARGET_DOCUMENT = 2,   // anything else that exists: one document
};

// The file system decides: an existing directory (also through a symbolic
// link) is walked, any other existing path is one document.
BuildTargetKind build_target_kind(String target);

// Checks the target before anything is written. A directory must be
// listable; a document must be a regular, readable file whose extension is
// exactly "kav". Otherwise prints "[targ_p] was not valid" and a line that
// names the path and what is wrong with it, and gives BUILD_TARGET_NONE.
BuildTargetKind build_check_target(String target);
// Checks the root before anything is written: an existing folder must be
// writable; a missing one is made by the build when its parent folder can
// hold it. Otherwise prints "[root_p] was not valid" and a line that names
// the path and what is wrong with it, and gives false.
bool build_check_root(String root);
// Reads the limits of the build: max_doc_mb (MiB, default
// BUILD_DEFAULT_MAX_DOC_MB; 0 for the largest, 4 GiB less a byte) into run->max_doc_size.
void build_read_limits(RunState* run, const OptionTable* options);
#define BUILD_DEFAULT_MAX_DOC_MB 64
// From this size on a document's page is made as it is parsed a second time
// (RunState::large_document_bytes): smaller ones cost less parsed once.
#define BUILD_LARGE_DOCUMENT_BYTES KB(256)

// Fills run->files with the documents (extension exactly "kav") of the
// target. A directory is walked breadth-first, entries of each directory in
// the sorted order of the directory listing; a symbolic link to a directory
// inside the target is followed, one that leads outside it is not, and no
// directory (device, inode) is entered twice. A folder that cannot be listed
// or a link that is not followed gets a "Skipped folder" line. A document
// target is the one entry.
void build_collect_sources(RunState* run, String target, BuildTargetKind kind);

// Prints "KAV (parsing):", then fetches every listed document through the
// file service (files of other extensions are never fetched) and parses each
// one that could be read (counted, drafts included), printing their
// diagnostics; a document that cannot be read or is larger than
// run->max_doc_size gets a "Skipped" line instead. A UTF-8 byte-order mark
// at the start is not part of the document: positions count from after it.
// Drafts (status "draft" in any case) stop there. Every "html" output path
// of another document below the root is a page of the build: the source's
// file name is printed, the page and its raw view are assembled and handed
// to the page writer (the page's result is reported in the conversion
// phase), and the page's folder is recorded as a section. Documents are
// parsed and assembled on every core and committed in document order, so
// the output is the same for any number of threads. With the file path
// check on, a document that links a file that is not on disk is assembled
// once every page is known. URLs go to the URL checker when it is enabled.
// Memory grows with the largest documents, not with the site. The list is
// empty afterwards, and every page is stored.
void build_parse_phase(RunState* run);
// Threads for `documents` when the threads option is not given: one per
// processor, and one per 8 documents below that.
u32 build_default_threads(u64 documents);

// True when `path`, with "." and ".." resolved, names something below
// `root` (an absolute path ending in "/"); false for an empty root.
bool build_path_inside_root(String path, String root);
// The raw-view path of a page: "raw_" before the output path's file name.
String build_raw_path(Arena* arena, String output_path);
// A page's absolute path, in `arena`.
String build_page_path(Arena* arena, const BuildPage* page);
// Walks the pages in document order: a zero cursor starts at the first;
// null after the last, when the cursor's memory is given back (a cursor
// left before the end is ended with build_page_cursor_end).
struct BuildPageCursor {
    SpoolCursor spool;
    u64 index;
    BuildPage page;
};
BuildPage* build_page_next(BuildPages* pages, BuildPageCursor* cursor);
void build_page_cursor_end(BuildPageCursor* cursor);
// Records the name of the directory that holds `output_path` as a section,
// unless it is "html" (any case) or a section of that name (any case) exists.
void build_add_section(RunState* run, String output_path);

// The summary block printed after the last page.
String build_summary_text(Arena* arena, u64 kav_count, u64 html_count, const WrongPathsNode* wrong_paths);
// The text of --help.
String build_usage_text();
