// The DOM: a tree of HtmlNode records in an arena, the document record
// handed between reader, page generator and writer, the operations that
// build and search trees, and the writer that turns a tree into HTML text.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"
#include "htmldom/html_tables.h"

// ---- Nodes -------------------------------------------------------------------

enum HtmlNodeKind : u32 {
    HTML_NODE_NONE = 0,             // the nil node
    HTML_NODE_DOCUMENT = 1,         // root of a tree; writes nothing itself
    HTML_NODE_TOKEN = 2,            // detached anchor of a diagnostic
    HTML_NODE_ELEMENT = 4,
    HTML_NODE_ATTRIBUTE_LIST = 6,   // first child of an element with attributes (the reader gives every element one)
    HTML_NODE_CONTENT = 7,          // second child of every element; also a text node
    HTML_NODE_ATTRIBUTE = 8,        // children are its values
    HTML_NODE_ATTRIBUTE_VALUE = 9,
};

// Bits of HtmlNode.flags. The reader records the class of the token a node
// came from, and marks elements read as raw text or carrying a URL.
enum HtmlNodeFlags : u32 {
    HTML_NODE_FROM_SINGLE_QUOTED = 1ull << 11,
    HTML_NODE_FROM_DOUBLE_QUOTED = 1ull << 12,
    HTML_NODE_RAW_TEXT = 0x40000,
    HTML_NODE_HAS_URL = 0x80000,
    HTML_NODE_FROM_NUMBER = 1ull << 20,
    HTML_NODE_FROM_IDENTIFIER = 1ull << 21,
    HTML_NODE_FROM_STRING = 1ull << 22,
    HTML_NODE_FROM_SYMBOL = 1ull << 23,
    // A text that outlives every arena of the tree: writers list it as it
    // is, never copying it.
    HTML_NODE_LASTING_TEXT = 1ull << 24,
};

struct HtmlNode {
    HtmlNode* next;
    HtmlNode* prev;
    HtmlNode* parent;
    HtmlNode* first_child;
    HtmlNode* last_child;
    const HtmlElementInfo* element;      // element row; the nil row for other kinds
    const HtmlAttributeInfo* attribute;  // attribute row; the nil row for other kinds
    String text;      // name as written, text of a text node, or one value; NUL-terminated
    u64 position;     // byte offset in the source text; 0 when built by code
    u32 kind;         // HtmlNodeKind
    u32 flags;        // HtmlNodeFlags; 0 for nodes built by code
    u32 child_count;
    u8 level;  // nesting level of the source construct (page generator)
};

// The shared nil node: kind HTML_NODE_NONE, links to itself, nil rows. It is
// read-only; every empty link and every failed search points at it.
extern const HtmlNode html_nil_node_storage;
#define html_nil_node (const_cast<HtmlNode*>(&html_nil_node_storage))

// ---- Documents ---------------------------------------------------------------

enum HtmlLinkKind : u32 {
    HTML_LINK_EXTERNAL = 1,
    HTML_LINK_INTERNAL = 2,
};

// One URL found by the link pass: a range of the template text.
struct HtmlLink {
    HtmlLink* next;
    HtmlLink* prev;
    u64 begin;  // byte offsets of the URL in the template text
    u64 end;
    u32 kind;   // HtmlLinkKind
    HtmlNode* element;
};

struct HtmlDocument {
    u32 ok;          // 1 when nothing made the document unusable
    HtmlNode* root;  // HTML_NODE_DOCUMENT; null for an empty template
    HtmlNode* title; // first `title` element of a template; null when none
    DiagnosticList diagnostics;
    HtmlLink* links_first;
    HtmlLink* links_last;
    u64 link_count;
    u32 options;  // HtmlParseOptions the document was read with
};

// A page to write: its path (extension "html"), its tree and the messages the
// build driver prints for it.
// One page of the site: where it goes, its DOM, its title (the index page
// lists pages by title) and the messages the build prints for it.
struct HtmlPage {
    String path;
    HtmlDocument document;
    String title;
    StringList messages;
};

struct HtmlPageNode {
    HtmlPageNode* next;
    HtmlPage page;
};

// Diagnostics anchored on a node: the node's position gives line and column.
Diagnostic* diag_append(Arena* arena, DiagnosticList* list, HtmlNode* node, s32 level, String message);

// ---- Construction ----------------------------------------------------------

// Null, the nil node and nodes of kind HTML_NODE_NONE are all "no node".
inline bool html_is_nil(const HtmlNode* node) { return node == 0 || node->kind == HTML_NODE_NONE; }

// A node of any kind; the text is copied. Elements and attributes get the
// table row of their name (A-Z folded), or the nil row.
HtmlNode* html_node_create(Arena* arena, u32 kind, u64 flags, String text, u64 position);
// A text node whose text is not copied: it must outlive the tree.
HtmlNode* html_text_node_lasting(Arena* arena, String text);
// An element named by the table, with its attribute list and content holder;
// a non-empty text becomes one text node of its content. The nil node for an
// unknown tag.
HtmlNode* html_element_create(Arena* arena, HtmlTag tag, String text);
HtmlNode* html_element_create_at(Arena* arena, HtmlTag tag, u64 position);
// A document root holding `!DOCTYPE html` and `html lang="en"` with an empty
// head and body.
HtmlNode* html_default_document(Arena* arena);

// ---- Linking -------------------------------------------------------------------

// A node still linked elsewhere is detached first, so a tree never shares a
// node with another place.
void html_append_child(HtmlNode* parent, HtmlNode* child);
void html_prepend_child(HtmlNode* parent, HtmlNode* child);
// Appends to the content holder of target; returns child.
HtmlNode* html_append_to_content(HtmlNode* target, HtmlNode* child);
// A new text node in the content holder of target; the nil node (and nothing
// made) when target has none.
HtmlNode* html_append_text(Arena* arena, HtmlNode* target, String text);

enum HtmlInsert : u32 {
    HTML_INSERT_AFTER = 1,          // after the element of target
    HTML_INSERT_CONTENT_FIRST = 2,
    HTML_INSERT_CONTENT_LAST = 3,
};
bool html_insert(HtmlNode* target, HtmlNode* node, u32 where);
void html_detach(HtmlNode* node);

// ---- Attributes --------------------------------------------------------------

// Adds the attribute or a further value of it. `id` and `lang` replace an
// earlier setting; boolean attributes get no value; an empty value for any
// other attribute adds nothing. Returns the attribute node or the nil node.
HtmlNode* html_set_attribute(Arena* arena, HtmlNode* element, HtmlAttr attr, String value);
// The same with a value that is not copied (a constant of the program).
HtmlNode* html_set_attribute_fixed(Arena* arena, HtmlNode* element, HtmlAttr attr, String value);
void html_add_class(Arena* arena, HtmlNode* element, String class_name);
HtmlNode* html_find_attribute(HtmlNode* element, HtmlAttr attr);
// Text of the first value; empty when the attribute or its value is missing.
String html_attribute_value(HtmlNode* element, HtmlAttr attr);
bool html_attribute_starts_with(HtmlNode* element, HtmlAttr attr, String prefix);
bool html_has_class(HtmlNode* element, String class_name);

// ---- Queries -----------------------------------------------------------------

// Searches walk root's subtree in document order, root included, and return
// the nil node when nothing matches.
HtmlNode* html_find_by_attribute(HtmlNode* root, HtmlAttr attr, String value);
HtmlNode* html_find_last_by_tag(HtmlNode* root, HtmlTag tag);
HtmlNode* html_find_by_tag_and_level(HtmlNode* root, HtmlTag tag, u8 level);
// The node of `kind` that belongs to node's element: the element itself, or
// its child of that kind (its content holder, its attribute list), else node
// when it is of that kind, else the nil node.
HtmlNode* html_find_kind(HtmlNode* node, u32 kind);
HtmlNode* html_content_last_child(HtmlNode* node);
// node when it is an element, else the nearest element above it; null when
// there is none.
HtmlNode* html_enclosing_element(HtmlNode* node);

// A copy of `source` and its subtree in `arena`, without recursion. With
// `copy_texts` the texts are copied too (else shared: texts are never
// changed in place). Each `tracked` entry that points at a node of the
// subtree is moved to that node's copy.
HtmlNode* html_clone(Arena* arena, HtmlNode* source, bool copy_texts, HtmlNode** tracked, u64 tracked_count);

// Next node of a document-order walk of `root`'s subtree; the nil node at
// the end. `skip_children` steps over node's subtree.
HtmlNode* html_walk_next(HtmlNode* node, HtmlNode* root, bool skip_children);

// ---- Output --------------------------------------------------------------------

// Appends the HTML text of the tree: no whitespace added and no escaping of
// text; void elements have no end tag; class values are joined by one blank,
// other values back to back; a blank after every attribute.
void html_serialize(Arena* arena, const HtmlDocument* document, StringList* out);
// A writer that appends the text of several trees to one list, filling its
// chunks across calls. With `copy_texts` the list holds no text of the trees
// (except lasting ones), so the trees' arenas may go before the list.
struct HtmlTextWriter {
    Arena* arena;
    StringList* out;
    u8* chunk;
    u64 used;
    u64 capacity;
    bool copy_texts;
};
HtmlTextWriter html_text_writer(Arena* arena, StringList* out, bool copy_texts);
void html_text_writer_node(HtmlTextWriter* w, HtmlNode* root);
// A place in a tree for text kept elsewhere: a lasting text node of this
// text, which a text writer lists as a piece of its own (pointing at it).
String html_text_mark(Arena* arena);
// Moves the pieces of `pieces` before `mark` to `before` and those after it
// to `after`, the mark's own piece left out; false (all in `before`) when
// the mark is not among them.
bool html_text_split_at_mark(StringList* pieces, String mark, StringList* before, StringList* after);
// Lists the text of the chunk in progress; the writer may go on after it.
void html_text_writer_flush(HtmlTextWriter* w);
void html_serialize_node(Arena* arena, HtmlNode* root, StringList* out);
// The whole text in one buffer of the exact size, NUL-terminated.
String html_serialize_to_string(Arena* arena, HtmlNode* root);
// Serializes the page and replaces the file at its path atomically (missing
// directories are made). False when the write failed; the old file is then
// intact.
bool html_write_file(Arena* arena, const HtmlPage* page);
