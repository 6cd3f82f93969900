// The KAV document tree: nodes, the node-kind table with its class codes and
// default styles, the shared nil node, tree operations, node lists and the
// parse result that page generation reads.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"

struct KavMetaKey;  // kav_metadata.h

// ---- Node kinds ---------------------------------------------------------------

enum KavNodeKind : u32 {
    KAV_NODE_NIL = 0,
    KAV_NODE_FILE = 1,
    KAV_NODE_ERROR_MARKER = 2,
    KAV_NODE_MAIN = 3,
    KAV_NODE_DESC = 4,
    KAV_NODE_CHECKBOX = 5,
    KAV_NODE_HEADING = 6,
    KAV_NODE_WORD = 7,
    KAV_NODE_PREFIX = 8,
    KAV_NODE_QUOTE = 9,
    KAV_NODE_FOOTNOTE_REFERENCE = 10,
    KAV_NODE_FOOTNOTE = 11,
    KAV_NODE_FOOTNOTE_LIST = 12,
    KAV_NODE_INTERNAL_LINK = 13,
    KAV_NODE_INTERNAL_LINK_REFERENCE = 14,
    KAV_NODE_BLOCK = 15,
    KAV_NODE_EMBEDDED_HTML = 16,  // no row in the kind table; handled by number
    KAV_NODE_UNFORMATED_TEXT = 17,
    KAV_NODE_CONTEXT = 18,
    KAV_NODE_CONTEXT_INLINED = 19,
    KAV_NODE_RESERVED_CONTEXT_KEYWORD = 20,
    KAV_NODE_CONTEXT_DOCUMENT = 21,
    KAV_NODE_PARAGRAPH = 22,
    KAV_NODE_LIST = 23,
    KAV_NODE_SEPARATOR = 24,
    KAV_NODE_TABLE = 25,
    KAV_NODE_TABLE_ENTRY = 26,
    KAV_NODE_TABLE_HEADER_COLUMN = 27,
    KAV_NODE_ITEM = 28,
    KAV_NODE_TOC = 29,
    KAV_NODE_KIND_COUNT = 30,
};

// ---- Node flags ---------------------------------------------------------------
// Several bits mean different things on different kinds; the names say where.

enum KavNodeFlag : u64 {
    KAV_FLAG_SPACE_AFTER = 0x8,           // whitespace follows the node
    KAV_FLAG_RED = 0x10,                  // words: text the parser could not place (class "wsq", red)
    KAV_FLAG_QUOTED = 0x20,               // words: from a quoted string
    KAV_FLAG_NUMBER = 0x80,               // words: from a number
    KAV_FLAG_TEXT = 0x100,                // words: from a text (string) token
    KAV_FLAG_SYMBOL = 0x200,              // words: from a symbol
    KAV_FLAG_URL = 0x400,                 // words: an external URL, listed in `urls`
    KAV_FLAG_FILE_FOUND = 0x800,          // words: a local file that exists
    KAV_FLAG_FILE_MISSING = 0x1000,       // words: a local file that does not exist
    KAV_FLAG_STRONG_OPEN = 0x2000,        // markup words: opening "_"
    KAV_FLAG_STRONG_CLOSE = 0x4000,       // markup words: closing "_"
    KAV_FLAG_EM_OPEN = 0x8000,            // markup words: opening "__"
    KAV_FLAG_EM_CLOSE = 0x10000,          // markup words: closing "__"
    KAV_FLAG_STRONG_MARK = 0x80000,       // markup words: with STRONG_OPEN; paragraphs: wholly strong ("pab")
    KAV_FLAG_EM_MARK = 0x100000,          // markup words: with EM_OPEN; paragraphs: wholly emphasised ("pae")
    KAV_FLAG_BACKQUOTES = 0x200000,       // contexts: opened by a pair of backquotes
    KAV_FLAG_INLINE_CONTEXT = 0x400000,   // contexts: inside a line
    KAV_FLAG_LETTERED = 0x2000000,        // lists: items marked with letters
    KAV_FLAG_IMAGE = 0x4000000,           // words: an image source
    KAV_FLAG_NUMBERED = 0x8000000,        // lists: items marked with numbers
    KAV_FLAG_NESTED_LIST = 0x10000000,    // lists: nested in the last item of an outer list
    KAV_FLAG_DOT_LIST = 0x20000000,       // lists: items marked with "."
    KAV_FLAG_INLINE_LIST = 0x40000000,    // lists: started inside a line
    KAV_FLAG_HEADER_DASH = 0x80000000,    // markup words: a "-" in a table header cell
    KAV_FLAG_MULTI_COLUMN = 0x100000000,  // tables: the rule line has several columns
    KAV_FLAG_LINK_TARGET = 0x200000000,   // any: target of an internal link
    KAV_FLAG_IN_DOCUMENT = 0x400000000,   // headings, paragraphs, main blocks: inside the document context;
                                          // words: made directly in a context
    KAV_FLAG_SIDE_BY_SIDE = 0x800000000,  // tables: linked with a neighbouring column's table
    KAV_FLAG_TICKED = 0x1000000000,       // checkboxes
};

// Quotes drawn one inside another at most this deep: a quote nested deeper
// is shown in the body of the one at this depth (the parser warns once).
// Each level indents the text by about three characters, so deeper quotes
// run off a desktop page anyway; and a line of quote markers would otherwise
// make a page thousands of times its size.
constexpr u32 KAV_QUOTE_LEVELS_SHOWN = 16;

// ---- Nodes --------------------------------------------------------------------

struct KavNode {
    KavNode* next;    // next sibling; the nil node when none
    KavNode* prev;    // previous sibling; the nil node when none
    KavNode* parent;  // the nil node for the root and for detached nodes
    KavNode* first;   // first child (for an InternalLink: the labelled node)
    KavNode* last;
    const KavMetaKey* entry;  // keyword nodes: a copy of the matched metadata row
    u64 flags;        // KavNodeFlag bits
    String text;      // token text for words, the key for keywords, the whole source for the root
    String value;     // the same as `text` except where a construct has a separate value
    u64 offset;       // byte offset of the construct's first token
    u64 child_count;
    u32 kind;         // KavNodeKind; 0 only in the nil node
    u8 level;         // lists: depth; headings/paragraphs: level; table parts: column/cell/row; numbers of notes and links
    u8 indent;        // width of the whitespace before the construct on its line (saturates at 255)
    u8 child_level;   // headings: the level last given to a line under this level-0 heading
    u8 kept;          // KavKept: the parse result names it, so a node pool never takes it back
};

// The shared read-only nil node: kind 0, every link points to itself.
extern const KavNode kav_nil_node;
inline KavNode* kav_nil() { return const_cast<KavNode*>(&kav_nil_node); }

// A zeroed node with every link set to the nil node.
KavNode* kav_node_make(Arena* arena, u32 kind, u64 flags, String text, String value, u64 offset);
// The same, in memory the caller provides.
KavNode* kav_node_init(KavNode* node, u32 kind, u64 flags, String text, String value, u64 offset);
// Links `child` as the last child of `parent`; nothing for a nil child.
void kav_node_append(KavNode* parent, KavNode* child);
// Links `child` into `parent` just before `before` (at the end when `before`
// is nil or not a child of `parent`).
void kav_node_insert_before(KavNode* parent, KavNode* before, KavNode* child);
// True for null, the nil node and any node of kind 0.
inline bool kav_node_is_nil(const KavNode* node) { return !node || node->kind == KAV_NODE_NIL; }
// The node itself or its nearest ancestor of `kind`; the nil node if none.
KavNode* kav_node_ancestor(KavNode* node, u32 kind);
// A stand-alone copy of a heading for the table of content: kind and offset
// kept, flags 0, NUL-terminated text and value, and copies of its Word
// children only (a word followed by a space gets a trailing space; an
// emphasis marker keeps only that space, since its copy has no flags).
KavNode* kav_node_copy_for_toc(Arena* arena, const KavNode* heading);

// ---- Node pool ------------------------------------------------------------------
// Nodes given back once nothing will read them again, for the parser to use
// again: a document parsed a part at a time holds the nodes of the part it
// is at, not of the whole document.

enum KavKept : u8 {
    KAV_KEPT_NOT = 0,
    KAV_KEPT_NODE = 1,     // the node alone (its offset, kind and text are read)
    KAV_KEPT_SUBTREE = 2,  // the node and everything below it (a word's description, a key's value)
};

struct KavNodePool {
    KavNode* free;  // linked by `next`
    u64 reused;     // nodes handed out again
};

// Gives back `top` and everything below it, except kept nodes (and the
// subtrees they keep). The caller unlinks `top` from its parent first.
void kav_node_pool_free_subtree(KavNodePool* pool, KavNode* top);
// Unlinks the children of `parent` before `keep` (one of them) and gives
// them back; `parent`'s child count stays as it was.
void kav_node_pool_free_children_before(KavNodePool* pool, KavNode* parent, KavNode* keep);

// ---- Node-kind table -------------------------------------------------------------

struct KavKindRow {
    u32 kind;
    String name;
    u64 mask;      // flag variant selected by this row; 0 for the plain row
    String code;   // class code
    String style;  // default inline style, may be empty
};

#define KAV_KIND_ROW_COUNT 45
extern const KavKindRow kav_kind_table[KAV_KIND_ROW_COUNT];

// The row for a node of `kind` with `flags`: the first row of that kind whose
// mask shares a bit with the flags, or with flags 0 the first row of the
// kind. Non-zero flags that match no variant fall back to the kind's plain
// row (mask 0) when it has one. Null when nothing fits (kind 16, unknown).
const KavKindRow* kav_kind_row(u32 kind, u64 flags);
// The class code of that row; empty when there is none.
String kav_kind_code(u32 kind, u64 flags);
// The kind's name ("Word", "Heading", ...); "EmbeddedHtml" for kind 16,
// "Nil" for 0, empty for unknown kinds.
String kav_kind_name(u32 kind);

// ---- Node lists -----------------------------------------------------------------

struct KavNodeCell {
    KavNodeCell* next;
    KavNode* node;
};

struct KavNodeList {
    KavNodeCell* first;
    KavNodeCell* last;
    u64 count;
};

void kav_node_list_push(Arena* arena, KavNodeList* list, KavNode* node);

// ---- Parse result ---------------------------------------------------------------

struct KavParseResult {
    StringList output_paths;      // paths of "output_path" lines as written, in order
    KavNodeList output_words;     // the words those paths came from, in the same order
    KavNode* root;                // the File node; text and value are the whole source
    KavNode* document_context;    // the ContextDocument node, or null
    KavNodeList footnotes;        // FootNote nodes (detached from the tree)
    KavNodeList internal_links;   // InternalLink nodes (detached; `first` is the target)
    KavNodeList file_paths;       // words naming local files
    KavNodeList word_markers;     // lettered lists whose marker is a word of several bytes, in source order
    KavNodeList urls;             // words that are external URLs
    KavNodeList toc_entries;      // copies of the headings
    KavNode* title;               // the first "title" keyword node, or null
    KavNodePool* spare;           // a parse of the facts: its body's nodes, for a second parse
    String status;                // text of the last "status" line, empty if none
    DiagnosticList diagnostics;
    u32 success;                  // 0 when a diagnostic of level 3 or more was reported
};

// ---- Positions -------------------------------------------------------------------------

// Line and column counting (as diagnostics print them) that continues from
// the previous query, so walking a list in document order stays linear.
struct KavPositionCursor {
    u64 offset;
    TextPosition position;
};

TextPosition kav_position_at(String source, KavPositionCursor* cursor, u64 offset);

// ---- Diagnostics ------------------------------------------------------------------

// Appends a diagnostic positioned at the node's source offset.
inline Diagnostic* diag_append(Arena* arena, DiagnosticList* list, KavNode* node, s32 level, String message) {
    return diag_append_at(arena, list, node, node ? node->offset : 0, level, message);
}
