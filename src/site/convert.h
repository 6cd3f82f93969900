// Node-to-HTML conversion: a parsed KAV tree becomes DOM elements under a
// container, in one walk without recursion. Structural elements get ids made
// of their node kind's class code and a number, which the shared style sheet
// and the page's own links (table of content, footnotes, internal links)
// rely on.
#pragma once

#include "base/arena.h"
#include "base/spool.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/site.h"

// ---- One page's builder ------------------------------------------------------------

// The link of the table of content made from the heading at `offset`.
struct TocAnchor {
    u64 offset;
    String href;  // "#<code>_<n>"; the heading takes "<code>_<n>" as its id
};

// The parts of a page that the body's conversion fills but that are shown
// in the page's header: the first title heading and the first document
// header's toggle (its checkbox and its content). Nil until met.
struct PageSlots {
    HtmlNode* title;
    HtmlNode* header_control;
    HtmlNode* header_content;
};

// A node that internal links target (by its key), with the number of the
// first link.
struct LinkTarget {
    u64 key;
    u64 number;
};

// A page body written out as its conversion goes: whenever the top-level
// blocks converted so far are done (nothing will change or reference them
// again) and hold enough, their text is appended to `text` and their DOM
// released. The blocks' DOM comes from `blocks`, two arenas in turn: the
// block that may still receive content (the one the next inline list would
// go to) is copied to the other arena before the first is emptied.
struct BodyStream {
    Arena* blocks[2];
    Arena* text_arena;  // holds `text`; outlives the page's DOM
    StringList text;    // the body's text so far
    // Non-null: each step's text goes on to this spool instead, and `text`
    // stays empty; the page holds `spool_mark` (html_text_mark) where the
    // spooled body goes.
    Spool* spool;
    String spool_mark;
    HtmlNode* container;  // set by page assembly: the element the body goes into
    u64 min_bytes;        // blocks are written out once they hold this much (0: whenever safe)
    u64 steps;            // the times blocks were written out before the body's end
    // Private to the conversion.
    u64 bases[2];
    u32 current;
    u64 kept;  // bytes of the current arena that a copy kept
    HtmlTextWriter writer;
    bool writing;
    Arena* spool_arena;  // the writer's chunks on their way to the spool
};

// Two fresh arenas for a page's blocks, written out in steps of 256 KiB;
// `body_stream_release` returns them.
BodyStream body_stream_make(Arena* text_arena);
void body_stream_release(BodyStream* stream);

// What building one page needs besides its document: the site, the arena of
// the page's DOM, the number of most element ids (every use takes the
// current value and increments it, so ids are unique across the table of
// content, the body and the footnotes of one page), the links of the table
// of content, and the page's header slots (null: everything stays where the
// conversion puts it).
struct PageBuilder {
    const Site* site;
    Arena* arena;
    u64 element_counter;
    // Numbers of lists, list items and links, page-wide like the element
    // counter so that the body and the footnotes never share an id.
    u64 list_counter;
    u64 item_counter;
    u64 link_counter;
    bool view_raw_done;  // the page's link to its raw view is made once
    bool header_done;    // the first document header took the header's ids
    // Numbers 0-255 of the footnotes and internal link targets whose ids
    // were given on this page: the first of a number takes the id.
    u64 footnote_ids[4];
    u64 anchor_ids[4];
    TocAnchor* toc;  // in document order of their headings when toc_sorted
    u64 toc_count;
    bool toc_sorted;
    PageSlots* slots;
    const KavParseResult* targets_of;  // the document `targets` was made for
    LinkTarget* targets;               // open addressing by key
    bool targets_by_offset;            // keys are offset and kind, not the node's address
    u64 target_capacity;               // power of two; 0 without internal links
    // Of that document: the numbers some node is labelled with (a link
    // reference to another number has no target), and the numbers of its
    // footnotes.
    u64 target_numbers[4];
    u64 footnote_numbers[4];
    BodyStream* stream;  // null: the body stays in the DOM
    // Not null: the document's body is parsed again as it is converted, its
    // blocks given back as the walk passes them, in this arena (which must
    // outlive the page's DOM); the page's document holds the facts of a
    // parse that gave its blocks back (kav_parse_document_facts).
    Arena* body_parse_arena;
};

PageBuilder page_builder(const Site* site, Arena* arena);
// The link targets and note numbers of `facts`, a parse of the document
// whose tree `document` is parsed again: targets are found by their offset
// and kind, which both parses give them.
void page_builder_index_targets_again(PageBuilder* builder, const KavParseResult* facts,
                                      const KavParseResult* document);
// The link to write for `path` on this site.
String page_link(const PageBuilder* builder, Arena* arena, String path);

// ---- Conversion -------------------------------------------------------------------

// Converts `start` and everything after it in document order, up to the end
// of `document`'s tree (its root is the boundary of the walk) or of the
// subtree of a detached start node (a footnote, a table-of-content copy),
// into `container`. `document_path` is the page path the "view raw" link is
// made from. Headings take their ids from the builder's table-of-content
// links. DOM nodes and texts come from the builder's arena. Linear in the
// size of the tree, whatever its shape.
void convert_nodes(PageBuilder* builder, KavNode* start, const KavParseResult* document, HtmlNode* container,
                   String document_path);

// The same walk run in steps alongside a parse that is still growing the
// tree: each step converts what comes before a node the parse has placed,
// and what came before may then be given back.
struct ConvertRun;

ConvertRun* convert_run_begin(PageBuilder* builder, KavNode* start, const KavParseResult* document,
                              HtmlNode* container, String document_path);
// Converts up to `stop`, not included, a node ahead of the walk whose
// preceding nodes are all complete; nil: to the end.
void convert_run_until(ConvertRun* run, const KavNode* stop);
// The nodes before `keep`, all converted, are about to be given back: the
// walk drops what it remembers of them.
void convert_run_forget_before(ConvertRun* run, const KavNode* keep);
// Converts the rest, finishes the walk and returns its memory.
void convert_run_end(ConvertRun* run);

// ---- DOM helpers used by page assembly -------------------------------------------------

// Points an element at another row of the element table; its attributes and
// content stay.
void html_element_retag(HtmlNode* element, HtmlTag tag);
// Removes the attribute from the element (nothing when it has none).
void html_remove_attribute(HtmlNode* element, HtmlAttr attr);
// Sets the attribute to exactly one value, dropping earlier values.
void html_replace_attribute(Arena* arena, HtmlNode* element, HtmlAttr attr, String value);
// "<" becomes "&lt;"; nothing else changes. The text itself when it holds no
// "<".
String html_escape_lt(Arena* arena, String text);
