#include "kav/kav_parser.h"

#include "base/url.h"
#include "kav/kav_metadata.h"

// ---- Frames -----------------------------------------------------------------------------

// Parser states. Block states hold whole lines; line-bound states live
// inside one line and all end at its line feed.
enum ParseState : u32 {
    STATE_RUN = 2,            // inline run into a line node, item, cell, note or context part
    STATE_SECTION = 3,        // the lines under a heading
    STATE_LIST = 4,           // a list; its node is the List once the first marker made it
    STATE_TABLE = 5,          // a table, from its rule line to its last row
    STATE_BRACKET = 6,        // a plain bracket group inside a line
    STATE_DESC = 8,           // a link or reference description, up to ")"
    STATE_BRACKET_SKIP = 14,  // the rest of a reference bracket, up to "]"
    STATE_ITEM = 15,          // the content of a list item
    STATE_BLOCK = 16,         // the bottom frame, on the root
    STATE_QUOTE = 17,
    STATE_MAIN = 18,
    STATE_CONTEXT = 20,         // block context opened by a pair of backquotes
    STATE_INLINE_CONTEXT = 21,  // inline context inside a line
};

enum FrameFlags : u32 {
    FRAME_LINE_BOUND = 1 << 0,    // ends with its line
    FRAME_LINE_NODE = 1 << 1,     // a line node's run: tidied when it closes
    FRAME_PIPE_CONSUME = 1 << 2,  // a pipe ends this run and is used up
    FRAME_INLINE_LIST = 1 << 3,   // a list started inside a line
    FRAME_HAS_LIST = 1 << 4,      // the list frame's node is its List
    FRAME_OUTPUT_PATH = 1 << 5,   // the value of an "output_path" line
};

struct Frame {
    Frame* previous;
    u32 state;
    u32 flags;
    KavNode* node;  // the node that receives content
    void* extra;    // per-state record (table layout, reference node)
    // Inherited from the frame below when pushed, so no lookup walks the stack.
    Frame* container;       // nearest root, main, context or quote frame
    Frame* block_context;   // innermost open block context
    Frame* quote;           // innermost quote
    Frame* bracket;         // nearest bracket frame of the line
    Frame* inline_context;  // nearest inline context of the line
    Frame* pipe_stop;       // nearest run of the line that a pipe ends
    Frame* item;            // nearest item of the line
    KavNode* heading0;      // nearest level-0 heading in the container
    u64 quote_depth;        // quote frames: how many quotes of the run this one closes
    u8 in_document;         // inside the document context
    u8 quote_in_context;    // a quote was opened since the innermost block context
    u8 key_value;           // inside the value of a key line
};

enum TablePhase : u32 {
    TABLE_HEADER_NEXT,  // after the opening rule line
    TABLE_HEADER,       // in the header lines
    TABLE_BODY_NEXT,    // after a row rule
    TABLE_BODY,         // in the lines of a body row
};

struct TableLayout {
    u64* columns;      // 1-based column of each rule-line pipe, increasing
    KavNode** tables;  // the Table node of each column
    u32 column_count;
    u32 phase;          // TablePhase
    u32 rows;           // body rows begun
    u32 warned_rows;    // the row-count warning was given
    s64 current;        // column of the current line; -1 before its first pipe
    KavNode* cell;      // header column of the current cell
    u32 cell_index;
};

enum ListMarker : u32 {
    MARKER_NONE = 0,
    MARKER_NUMBER,  // "12."
    MARKER_WORD,    // "a."
    MARKER_DOT,     // "."
};

struct Parser {
    Arena* arena;
    String path;
    String source;
    const KavToken* t;       // the tokens, or null when they are windowed
    KavTokenWindow* window;  // read through tok()
    u64 count;
    u64 i;         // cursor
    bool escaped;  // the token at the cursor follows an escape used up as one
    bool marker_inline;  // the list marker at the cursor was met inside a line
    KavParseResult result;
    Frame bottom;
    Frame* top;
    Frame* free_frames;
    u64 line_first;  // first token of the current line after any quote markers
    u64 line_mark;   // the cursor at which the current line's start was handled
    u64 line_cache_offset;  // line_start() remembers its last answer
    u64 line_cache_start;
    bool warned_quote_depth;  // the quote-depth warning was given
    KavNodePool* pool;        // nodes to use again; null: every node is new
    KavNodePool* spare;       // nodes of an earlier parse, taken when the pool has none
    bool body_only;           // a second parse for the body: no table of content, messages or kept nodes
    const KavNodeCell* file_facts;  // body only: the first parse's next file word
    KavBodyHook* body_hook;   // told before a block is placed in a main block
    void* hook_context;
};

// A node from the pool when it has one, else from the arena.
static KavNode* new_node(Parser* p, u32 kind, u64 flags, String text, String value, u64 offset) {
    KavNodePool* pools[2] = {p->pool, p->spare};
    for (KavNodePool* pool : pools) {
        if (!pool || !pool->free) continue;
        KavNode* node = pool->free;
        pool->free = node->next;
        pool->reused += 1;
        return kav_node_init(node, kind, flags, text, value, offset);
    }
    return kav_node_make(p->arena, kind, flags, text, value, offset);
}

// A node that a list of the result names, which must outlive its part:
// a word with its description, a list alone.
static void keep_listed(Parser* p, KavNodeList* list, KavNode* node) {
    if (!p->body_only) node->kept = node->kind == KAV_NODE_WORD ? KAV_KEPT_SUBTREE : KAV_KEPT_NODE;
    kav_node_list_push(p->arena, list, node);
}

// ---- Tokens -------------------------------------------------------------------------------

static inline KavToken tok(Parser* p, u64 k) { return p->window ? kav_token_window_at(p->window, k) : p->t[k]; }

static u32 kind_at(Parser* p, u64 k) { return k < p->count ? tok(p, k).kind : 0; }

static String text_at(Parser* p, u64 k) {
    return k < p->count ? string_substr(p->source, tok(p, k).begin, tok(p, k).end) : String{};
}

static bool byte_token(Parser* p, u64 k, u32 kind, u8 c) {
    return k < p->count && (tok(p, k).kind & kind) && tok(p, k).end - tok(p, k).begin == 1 &&
           p->source.str[tok(p, k).begin] == c;
}
static bool is_symbol(Parser* p, u64 k, u8 c) { return byte_token(p, k, KAV_TOKEN_SYMBOL, c); }

// Whether the token is escaped is decided by the caller: the cursor token
// by escaped_now(), a token looked ahead at by its adjacency.
static bool is_markup(Parser* p, u64 k, String text) {
    return (kind_at(p, k) & KAV_TOKEN_MARKUP) && string_equal(text_at(p, k), text);
}

// End of the line or of the input, or blank: what must follow a list marker.
static bool is_gap(Parser* p, u64 k) {
    return k >= p->count || (tok(p, k).kind & (KAV_TOKEN_WHITESPACE | KAV_TOKEN_NEWLINE));
}

// Words for the emphasis rules: letters, numbers, quoted text, and the
// continuation bytes that end up between the pieces of a UTF-8 word.
static bool is_wordish(Parser* p, u64 k) {
    u32 kind = kind_at(p, k);
    if (kind & (KAV_TOKEN_WORD | KAV_TOKEN_NUMBER | KAV_TOKEN_STRING)) return true;
    return (kind & KAV_TOKEN_OTHER) && p->source.str[tok(p, k).begin] >= 0x80;
}

// Width of the whitespace token just before token k, saturated to a byte.
static u8 indent_of(Parser* p, u64 k) {
    if (k == 0 || k > p->count || !(tok(p, k - 1).kind & KAV_TOKEN_WHITESPACE)) return 0;
    u64 width = tok(p, k - 1).end - tok(p, k - 1).begin;
    return (u8)MIN(width, (u64)255);
}

static u8 saturate_u8(u64 v) { return (u8)MIN(v, (u64)255); }

// Style flags a token's kind gives to the node made from it.
static u64 token_flags(u32 kind) {
    u64 flags = 0;
    if (kind & KAV_TOKEN_TEXT) flags |= KAV_FLAG_TEXT;
    if (kind & KAV_TOKEN_SYMBOL) flags |= KAV_FLAG_SYMBOL;
    if (kind & KAV_TOKEN_STRING) flags |= KAV_FLAG_QUOTED;
    if (kind & KAV_TOKEN_WHITESPACE) flags |= KAV_FLAG_SPACE_AFTER;
    if (kind & KAV_TOKEN_NUMBER) flags |= KAV_FLAG_NUMBER;
    return flags;
}

// A string token's text without its quotes (only the opening one when the
// string runs to the end of the source).
static String string_inner(String text, u32 kind) {
    if (!(kind & KAV_TOKEN_STRING) || text.size == 0) return text;
    if (kind & KAV_TOKEN_UNTERMINATED) return string_skip(text, 1);
    return text.size >= 2 ? string_substr(text, 1, text.size - 1) : String{};
}

static void advance(Parser* p, u64 n) {
    p->i = MIN(p->i + n, p->count);
    p->escaped = false;
}

// The token at the cursor counts as escaped: it follows an escape that the
// run used up, or it was marked so without an escape token before it (the
// raw view marks inner fences that way).
static bool escaped_now(Parser* p) {
    u64 i = p->i;
    if (p->escaped) return true;
    return (tok(p, i).kind & KAV_TOKEN_ESCAPED) && !(i > 0 && (tok(p, i - 1).kind & KAV_TOKEN_ESCAPE));
}

// Offset where the line holding `offset` begins (after the last line feed
// or carriage return before it). Queries move forward, so each byte is
// looked at about once.
static u64 line_start(Parser* p, u64 offset) {
    if (offset < p->line_cache_offset) {
        p->line_cache_offset = 0;
        p->line_cache_start = 0;
    }
    const u8* s = p->source.str;
    u64 k = offset;
    while (k > p->line_cache_offset && s[k - 1] != '\n' && s[k - 1] != '\r') k -= 1;
    u64 start = (k > p->line_cache_offset || (k > 0 && (s[k - 1] == '\n' || s[k - 1] == '\r'))) ? k : p->line_cache_start;
    p->line_cache_offset = offset;
    p->line_cache_start = start;
    return start;
}

static u64 bytes_before(Parser* p, u64 k) { return tok(p, k).begin - line_start(p, tok(p, k).begin); }
static u64 column_of(Parser* p, u64 k) { return bytes_before(p, k) + 1; }

// Bytes before token k on its line, the quote markers that start a quoted
// line left out: inside a quote a construct is measured as outside one.
static u64 bytes_after_markers(Parser* p, u64 k) {
    u64 start = line_start(p, tok(p, k).begin);
    if (p->line_first <= k && p->line_first < p->count) start = MAX(start, tok(p, p->line_first).begin);
    return tok(p, k).begin - start;
}

// First token of its line, quote markers and indentation aside.
static bool at_line_start(Parser* p, u64 k) {
    if (k == p->line_first) return true;
    return k == p->line_first + 1 && (kind_at(p, p->line_first) & KAV_TOKEN_WHITESPACE);
}

// Index of the first line feed token at or after k (or the count).
static u64 line_end(Parser* p, u64 k) {
    while (k < p->count && !(tok(p, k).kind & KAV_TOKEN_NEWLINE)) k += 1;
    return k;
}

// ---- Diagnostics -----------------------------------------------------------------------------

static KavNode* error_marker(Parser* p, u64 k) {
    String text = text_at(p, k);
    return new_node(p, KAV_NODE_ERROR_MARKER, token_flags(kind_at(p, k)), text, text, tok(p, k).begin);
}

static void report_unexpected(Parser* p, KavNode* at, s32 level) {
    if (p->body_only) return;
    String message = string_format(p->arena, "Unexpected \"%.*s\" token.", STR_ARG(at->text));
    diag_append(p->arena, &p->result.diagnostics, at, level, message);
}

// Decimal value of a note or link number; larger than a byte holds is
// reported and kept at 255.
static u8 note_number(Parser* p, u64 k) {
    String text = text_at(p, k);
    u64 value = 0;
    for (u64 j = 0; j < text.size && char_is_digit(text.str[j]); j += 1) {
        value = MIN(value * 10 + (u64)(text.str[j] - '0'), (u64)100000);
    }
    if (value > 255 && !p->body_only) {
        KavNode* at = error_marker(p, k);
        String message = string_format(p->arena, "Number \"%.*s\" is larger than 255.", STR_ARG(text));
        diag_append(p->arena, &p->result.diagnostics, at, DIAG_WARNING, message);
    }
    return (u8)MIN(value, (u64)255);
}

// ---- Frame stack ----------------------------------------------------------------------------

static void close_frame(Parser* p, Frame* f);

static Frame* push(Parser* p, u32 state, KavNode* node, u32 flags) {
    Frame* f = p->free_frames;
    if (f) {
        p->free_frames = f->previous;
        *f = Frame{};
    } else {
        f = push_struct<Frame>(p->arena);
    }
    Frame* below = p->top;
    f->previous = below;
    f->state = state;
    f->node = node;
    f->flags = flags;
    f->container = below->container;
    f->block_context = below->block_context;
    f->quote = below->quote;
    f->heading0 = below->heading0;
    f->in_document = below->in_document;
    f->quote_in_context = below->quote_in_context;
    if (flags & FRAME_LINE_BOUND) {
        f->bracket = below->bracket;
        f->inline_context = below->inline_context;
        f->pipe_stop = below->pipe_stop;
        f->item = below->item;
        f->key_value = below->key_value;
    }
    switch (state) {
        case STATE_MAIN:
            f->container = f;
            f->heading0 = 0;
            break;
        case STATE_CONTEXT:
            f->container = f;
            f->block_context = f;
            f->heading0 = 0;
            f->quote_in_context = 0;
            if (node->kind == KAV_NODE_CONTEXT_DOCUMENT) f->in_document = 1;
            break;
        case STATE_QUOTE:
            f->quote_depth = (below->quote && node->level > 0) ? below->quote->quote_depth + 1 : 1;
            f->container = f;
            f->quote = f;
            f->heading0 = 0;
            f->quote_in_context = 1;
            break;
        case STATE_SECTION:
            if (node->level == 0) f->heading0 = node;
            break;
        case STATE_BRACKET:
        case STATE_BRACKET_SKIP: f->bracket = f; break;
        case STATE_INLINE_CONTEXT: f->inline_context = f; break;
        case STATE_ITEM: f->item = f; break;
        default: break;
    }
    p->top = f;
    return f;
}

static void pop(Parser* p) {
    Frame* f = p->top;
    if (f == &p->bottom) return;  // the bottom frame is never popped
    close_frame(p, f);
    p->top = f->previous;
    f->previous = p->free_frames;
    p->free_frames = f;
}

// Pops every frame above `target` and `target` itself.
static void pop_through(Parser* p, Frame* target) {
    while (p->top != &p->bottom) {
        Frame* f = p->top;
        pop(p);
        if (f == target) break;
    }
}

// Ends everything that lives inside the current line.
static void end_line(Parser* p) {
    while (p->top->flags & FRAME_LINE_BOUND) pop(p);
}

// Run frame whose run a pipe ends.
static Frame* push_run(Parser* p, KavNode* node, u32 flags, bool pipe_stop) {
    Frame* f = push(p, STATE_RUN, node, FRAME_LINE_BOUND | flags);
    if (pipe_stop) f->pipe_stop = f;
    return f;
}

// ---- Closing hooks ---------------------------------------------------------------------------

// True when the first child opens a marker pair whose closer is the last
// child, so the marker covers the whole line.
static bool whole_line_marked(KavNode* node, u64 open, u64 close) {
    KavNode* first = node->first;
    if (kav_node_is_nil(first) || !(first->flags & open) || first == node->last) return false;
    s64 depth = 0;
    for (KavNode* c = first; !kav_node_is_nil(c); c = c->next) {
        if (c->kind != KAV_NODE_WORD) continue;
        if (c->flags & open) depth += 1;
        if (c->flags & close) {
            depth -= 1;
            if (depth == 0) return c == node->last;
        }
    }
    return false;
}

static void close_line_node(Parser* p, Frame* f) {
    KavNode* node = f->node;
    if (node->kind == KAV_NODE_HEADING || node->kind == KAV_NODE_PARAGRAPH) {
        u64 end = p->i > 0 ? tok(p, MIN(p->i, p->count) - 1).end : 0;
        if (end > node->offset) {
            String line = string_substr(p->source, node->offset, end);
            while (line.size && char_is_whitespace(line.str[line.size - 1])) line.size -= 1;
            node->text = node->value = line;
        }
    }
    if (node->kind == KAV_NODE_PARAGRAPH) {
        if (whole_line_marked(node, KAV_FLAG_STRONG_OPEN, KAV_FLAG_STRONG_CLOSE)) node->flags |= KAV_FLAG_STRONG_MARK;
        if (whole_line_marked(node, KAV_FLAG_EM_OPEN, KAV_FLAG_EM_CLOSE)) node->flags |= KAV_FLAG_EM_MARK;
    }
    // A quoted heading is someone else's words, not a section of this page.
    if (node->kind == KAV_NODE_HEADING && !f->quote && !p->body_only) {
        kav_node_list_push(p->arena, &p->result.toc_entries, kav_node_copy_for_toc(p->arena, node));
    }
    if (!f->quote && !kav_node_is_nil(node->last)) node->last->flags &= ~(u64)KAV_FLAG_SPACE_AFTER;
}

static void close_frame(Parser* p, Frame* f) {
    switch (f->state) {
        case STATE_RUN:
            if (f->flags & FRAME_LINE_NODE) close_line_node(p, f);
            // A second parse shows the notes of the first: its own go back.
            if (p->body_only && p->pool && f->node->kind == KAV_NODE_FOOTNOTE) {
                kav_node_pool_free_subtree(p->pool, f->node);
            }
            break;
        case STATE_INLINE_CONTEXT:
            if ((kind_at(p, p->i) & KAV_TOKEN_DOUBLE_BACKTICK) && (kind_at(p, p->i + 1) & KAV_TOKEN_WHITESPACE)) {
                f->node->flags |= KAV_FLAG_SPACE_AFTER;
            }
            break;
        case STATE_BRACKET:
            // The brackets make no node: a blank after "]" follows the
            // group's last word.
            if ((kind_at(p, p->i) & KAV_TOKEN_CLOSE_BRACKET) && (kind_at(p, p->i + 1) & KAV_TOKEN_WHITESPACE) &&
                !kav_node_is_nil(f->node->last)) {
                f->node->last->flags |= KAV_FLAG_SPACE_AFTER;
            }
            break;
        case STATE_DESC:
            // A blank after ")" follows the described link or reference.
            if (is_symbol(p, p->i, ')') && (kind_at(p, p->i + 1) & KAV_TOKEN_WHITESPACE)) {
                f->node->parent->flags |= KAV_FLAG_SPACE_AFTER;
            }
            break;
        case STATE_BRACKET_SKIP: {
            KavNode* reference = (KavNode*)f->extra;
            if (reference && (kind_at(p, p->i) & KAV_TOKEN_CLOSE_BRACKET) &&
                (kind_at(p, p->i + 1) & KAV_TOKEN_WHITESPACE)) {
                reference->flags |= KAV_FLAG_SPACE_AFTER;
            }
            break;
        }
        default: break;
    }
}

// ---- Placement ---------------------------------------------------------------------------------

// Level of a construct from its indentation: half the width, counted from
// the indentation of the block context it sits in.
static u32 block_level(Parser* p, u8 indent) {
    u32 width = indent;
    Frame* context = p->top->block_context;
    if (context && !p->top->quote_in_context && context->node->indent <= width) width -= context->node->indent;
    return width / 2;
}

// Closes the sections that a construct of `level` does not belong to and
// returns the node that receives it.
static KavNode* place(Parser* p, u32 level) {
    while (p->top->state == STATE_SECTION && p->top->node->level >= level) pop(p);
    // Only the main block's frame is open: its children are complete, and
    // only the last may still be looked at (a quote run's next member).
    if (p->body_hook && p->top->state == STATE_MAIN) p->body_hook(p->hook_context, p->top->node);
    return p->top->node;
}

// A heading, paragraph or block context starting at the cursor.
static KavNode* line_node(Parser* p, bool backquotes) {
    u64 i = p->i;
    u32 kind = kind_at(p, i);
    u8 indent = indent_of(p, i);
    u32 level = block_level(p, indent);
    // Under a level-0 heading a line goes at most one heading level deeper
    // than the line before it.
    if (KavNode* h0 = p->top->heading0) {
        u32 cap = ((u32)h0->child_level / 2 + 1) * 2;
        if (level > cap) level = cap;
        h0->child_level = (u8)level;
    }
    u32 node_kind = backquotes ? KAV_NODE_CONTEXT : (level % 2 == 0 ? KAV_NODE_HEADING : KAV_NODE_PARAGRAPH);
    u64 flags = backquotes ? (token_flags(kind) | KAV_FLAG_BACKQUOTES) : 0;
    if (!backquotes && p->top->in_document) flags |= KAV_FLAG_IN_DOCUMENT;
    KavNode* parent = place(p, level);
    String text = text_at(p, i);
    KavNode* node = new_node(p, node_kind, flags, text, text, tok(p, i).begin);
    node->level = (u8)level;
    node->indent = indent;
    kav_node_append(parent, node);
    if (backquotes) {
        if (parent == p->result.root) {
            node->kind = KAV_NODE_CONTEXT_DOCUMENT;
            p->result.document_context = node;
        }
        push(p, STATE_CONTEXT, node, 0);
        return node;
    }
    if (node_kind == KAV_NODE_HEADING) push(p, STATE_SECTION, node, 0);
    push_run(p, node, FRAME_LINE_NODE, (parent->flags & KAV_FLAG_BACKQUOTES) != 0);
    return node;
}

// ---- Links and paths -----------------------------------------------------------------------------

static bool is_local_path(String text) {
    if (text.size == 0) return false;
    bool rooted = text.str[0] == '/' || (text.size >= 2 && char_is_alpha(text.str[0]) && text.str[1] == ':');
    return rooted && string_find_byte(text, ' ', 0) == text.size;
}

// Records a URL or local file word; inside brackets a link after "_" is an
// image; a "(" right after a link opens its description.
static void link_word(Parser* p, KavNode* word, bool after_underscore) {
    bool link = false;
    if (url_is_external(url_split(word->text))) {
        word->flags |= KAV_FLAG_URL;
        keep_listed(p, &p->result.urls, word);
        link = true;
    } else if (is_local_path(word->text)) {
        if (p->body_only) {
            // The file words come in the same order in both parses: this one
            // takes what the checks of the first found.
            const KavNodeCell* fact = p->file_facts;
            if (fact) {
                word->flags |= fact->node->flags & (KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING);
                p->file_facts = fact->next;
            }
        } else {
            keep_listed(p, &p->result.file_paths, word);
        }
        link = true;
    }
    if (!link) return;
    if (after_underscore && p->top->bracket) {
        word->flags |= KAV_FLAG_IMAGE;
        word->flags &= ~(u64)KAV_FLAG_QUOTED;
        word->value = word->text;
    }
    if (is_symbol(p, p->i, '(')) {
        KavNode* desc = new_node(p, KAV_NODE_DESC, 0, text_at(p, p->i), text_at(p, p->i), tok(p, p->i).begin);
        kav_node_append(word, desc);
        push(p, STATE_DESC, desc, FRAME_LINE_BOUND);
        advance(p, 1);
    }
}

// The path as written; the site layer places it under the site root.
static void add_output_path(Parser* p, KavNode* word) {
    string_list_push(p->arena, &p->result.output_paths, word->text);
    keep_listed(p, &p->result.output_words, word);
}

// In an "output_path" value the tokens between two blanks form one path.
static void output_path_word(Parser* p) {
    u64 i = p->i;
    u64 k = i;
    while (k < p->count && !(tok(p, k).kind & (KAV_TOKEN_WHITESPACE | KAV_TOKEN_NEWLINE | KAV_TOKEN_PIPE))) k += 1;
    String text;
    u64 flags = 0;
    if (k == i + 1 && (tok(p, i).kind & KAV_TOKEN_STRING)) {
        text = string_inner(text_at(p, i), tok(p, i).kind);
        flags = token_flags(tok(p, i).kind);
    } else {
        text = string_substr(p->source, tok(p, i).begin, tok(p, k - 1).end);
    }
    if (kind_at(p, k) & KAV_TOKEN_WHITESPACE) flags |= KAV_FLAG_SPACE_AFTER;
    KavNode* word = new_node(p, KAV_NODE_WORD, flags, text, text, tok(p, i).begin);
    word->indent = indent_of(p, i);
    kav_node_append(p->top->node, word);
    p->i = k;
    p->escaped = false;
    bool has_space = string_find_byte(text, ' ', 0) < text.size;
    if (!has_space && url_is_external(url_split(text))) {
        word->flags |= KAV_FLAG_URL;
        keep_listed(p, &p->result.urls, word);
        return;
    }
    if (text.size) add_output_path(p, word);
}

// ---- Inline constructs ---------------------------------------------------------------------------

static KavNode* make_word(Parser* p, u64 k, u64 flags, String text) {
    if (kind_at(p, k + 1) & KAV_TOKEN_WHITESPACE) flags |= KAV_FLAG_SPACE_AFTER;
    if (p->top->node->kind == KAV_NODE_CONTEXT) flags |= KAV_FLAG_IN_DOCUMENT;
    KavNode* word = new_node(p, KAV_NODE_WORD, flags, text, text, tok(p, k).begin);
    word->indent = indent_of(p, k);
    kav_node_append(p->top->node, word);
    return word;
}

static void plain_word(Parser* p) {
    u64 i = p->i;
    u32 kind = tok(p, i).kind;
    String text = string_inner(text_at(p, i), kind);
    u64 flags = token_flags(kind);
    if ((kind & KAV_TOKEN_MARKUP) && string_equal(text, S("-")) &&
        p->top->node->kind == KAV_NODE_TABLE_HEADER_COLUMN) {
        flags |= KAV_FLAG_HEADER_DASH;
    }
    KavNode* word = make_word(p, i, flags, text);
    advance(p, 1);
    // Plain words hold neither ":" nor "/": only quoted text can be a link.
    if ((kind & KAV_TOKEN_STRING) && !(kind & KAV_TOKEN_HAS_SPACE)) link_word(p, word, false);
}

// A token that closes nothing: kept as red text, with a warning.
static void stray_token(Parser* p) {
    u64 i = p->i;
    KavNode* word = make_word(p, i, token_flags(tok(p, i).kind) | KAV_FLAG_RED, text_at(p, i));
    report_unexpected(p, word, DIAG_WARNING);
    advance(p, 1);
}

static void emphasis(Parser* p) {
    u64 i = p->i;
    String text = text_at(p, i);
    bool single = text.size == 1;
    if (single && (kind_at(p, i + 1) & KAV_TOKEN_STRING)) {
        // "_" before a string: the string's text as plain text; inside
        // brackets a link written this way is an image.
        u32 kind = tok(p, i + 1).kind;
        KavNode* word = make_word(p, i + 1, KAV_FLAG_TEXT, string_inner(text_at(p, i + 1), kind));
        word->offset = tok(p, i).begin;
        word->indent = indent_of(p, i);
        advance(p, 2);
        if (!(kind & KAV_TOKEN_HAS_SPACE)) link_word(p, word, true);
        return;
    }
    bool before = i > 0 && is_wordish(p, i - 1);
    bool after = is_wordish(p, i + 1);
    u64 flags = 0;
    if (!before && after) flags = single ? (KAV_FLAG_STRONG_OPEN | KAV_FLAG_STRONG_MARK) : (KAV_FLAG_EM_OPEN | KAV_FLAG_EM_MARK);
    if (before && !after) flags = single ? KAV_FLAG_STRONG_CLOSE : KAV_FLAG_EM_CLOSE;
    if (!flags) {
        plain_word(p);
        return;
    }
    make_word(p, i, flags, text);
    advance(p, 1);
}

static void embedded_html(Parser* p) {
    u64 i = p->i;
    u64 k = i + 1;
    while (k < p->count && !((tok(p, k).kind & KAV_TOKEN_CLOSE_TILDE) && !(tok(p, k).kind & KAV_TOKEN_ESCAPED))) k += 1;
    u64 to = k < p->count ? tok(p, k).begin : p->source.size;
    String inner = string_substr(p->source, tok(p, i).end, to);
    KavNode* node = new_node(p, KAV_NODE_EMBEDDED_HTML, 0, inner, inner, tok(p, i).begin);
    node->indent = indent_of(p, i);
    kav_node_append(p->top->node, node);
    p->i = k < p->count ? k + 1 : p->count;
    p->escaped = false;
    if (kind_at(p, p->i) & KAV_TOKEN_WHITESPACE) node->flags |= KAV_FLAG_SPACE_AFTER;
}

static void inline_code(Parser* p) {
    u64 i = p->i;
    String tick = text_at(p, i);
    KavNode* code = new_node(p, KAV_NODE_UNFORMATED_TEXT, token_flags(tok(p, i).kind), tick, tick, tok(p, i).begin);
    code->indent = indent_of(p, i);
    kav_node_append(p->top->node, code);
    u64 k = i + 1;
    for (; k < p->count; k += 1) {
        u32 kind = tok(p, k).kind;
        if ((kind & KAV_TOKEN_BACKTICK) && !(kind & KAV_TOKEN_ESCAPED)) break;
        // Code is verbatim: a backslash only matters before a backquote.
        if ((kind & KAV_TOKEN_ESCAPE) && (kind_at(p, k + 1) & KAV_TOKEN_BACKTICK)) continue;
        String value = text_at(p, k);
        String text = value;
        if (kind & KAV_TOKEN_MARKUP) {
            if (string_equal(value, S("<"))) text = S("&lt;");
            if (string_equal(value, S(">"))) text = S("&gt;");
        }
        kav_node_append(code, new_node(p, KAV_NODE_WORD, token_flags(kind), text, value, tok(p, k).begin));
    }
    p->i = k < p->count ? k + 1 : p->count;
    p->escaped = false;
    if (kind_at(p, p->i) & KAV_TOKEN_WHITESPACE) code->flags |= KAV_FLAG_SPACE_AFTER;
}

// Index of the "]" that ends a bracket, or of the line end when it has none.
static u64 bracket_end(Parser* p, u64 k) {
    while (k < p->count) {
        u32 kind = tok(p, k).kind;
        if (kind & KAV_TOKEN_NEWLINE) return k;
        if ((kind & KAV_TOKEN_CLOSE_BRACKET) && !(kind & KAV_TOKEN_ESCAPED)) return k;
        k += 1;
    }
    return k;
}

// Moves past a bracket ending at `end` and marks `node` when blank follows.
static void leave_bracket(Parser* p, u64 end, KavNode* node) {
    p->i = (end < p->count && (tok(p, end).kind & KAV_TOKEN_CLOSE_BRACKET)) ? end + 1 : end;
    p->escaped = false;
    if (kind_at(p, p->i) & KAV_TOKEN_WHITESPACE) node->flags |= KAV_FLAG_SPACE_AFTER;
}

static void bracket(Parser* p) {
    Frame* f = p->top;
    u64 i = p->i;
    u64 j = i + 1;
    if (kind_at(p, j) & KAV_TOKEN_WHITESPACE) j += 1;

    // Checkboxes: "[x]", "[X]", "[ ]", "[]".
    u64 close = 0;
    u64 ticked = 0;
    if ((kind_at(p, j) & KAV_TOKEN_WORD) && (byte_token(p, j, KAV_TOKEN_WORD, 'x') || byte_token(p, j, KAV_TOKEN_WORD, 'X'))) {
        u64 m = j + 1;
        if (kind_at(p, m) & KAV_TOKEN_WHITESPACE) m += 1;
        if ((kind_at(p, m) & KAV_TOKEN_CLOSE_BRACKET) && !(kind_at(p, m) & KAV_TOKEN_ESCAPED)) {
            close = m;
            ticked = KAV_FLAG_TICKED;
        }
    } else if ((kind_at(p, j) & KAV_TOKEN_CLOSE_BRACKET) && !(kind_at(p, j) & KAV_TOKEN_ESCAPED)) {
        close = j;
    }
    if (close) {
        String text = string_substr(p->source, tok(p, i).begin, tok(p, close).end);
        KavNode* box = new_node(p, KAV_NODE_CHECKBOX, ticked, text, text, tok(p, i).begin);
        box->indent = indent_of(p, i);
        kav_node_append(f->node, box);
        leave_bracket(p, close, box);
        return;
    }

    // Notes and internal links: "[*n]", "[#n_]", "[#n]", "[#n(...)]".
    bool star = is_symbol(p, j, '*');
    bool hash = is_symbol(p, j, '#');
    if ((star || hash) && (kind_at(p, j + 1) & KAV_TOKEN_NUMBER) && !(kind_at(p, j + 1) & KAV_TOKEN_ESCAPED)) {
        u8 number = note_number(p, j + 1);
        u64 end = bracket_end(p, j + 2);
        String text = string_substr(p->source, tok(p, i).begin, end < p->count ? tok(p, end).end : p->source.size);
        u64 offset = tok(p, i).begin;
        if (star) {
            // A reference to a note: it belongs to the word it follows.
            KavNode* ref = new_node(p, KAV_NODE_FOOTNOTE_REFERENCE, 0, text, text, offset);
            ref->level = number;
            ref->indent = indent_of(p, i);
            KavNode* host = f->node;
            if (!kav_node_is_nil(host->last) && host->last->kind == KAV_NODE_WORD) host = host->last;
            kav_node_append(host, ref);
            leave_bracket(p, end, ref);
            return;
        }
        if (is_markup(p, j + 2, S("_"))) {
            // A link target labels the line it stands in.
            KavNode* target = f->node;
            KavNode* link = new_node(p, KAV_NODE_INTERNAL_LINK, 0, text, text, offset);
            link->level = number;
            link->first = target;
            target->flags |= KAV_FLAG_LINK_TARGET;
            leave_bracket(p, end, link);
            if (p->body_only && p->pool) {
                // The targets are known from the first parse.
                link->first = kav_nil();
                kav_node_pool_free_subtree(p->pool, link);
                return;
            }
            target->kept = MAX(target->kept, (u8)KAV_KEPT_NODE);
            kav_node_list_push(p->arena, &p->result.internal_links, link);
            return;
        }
        KavNode* ref = new_node(p, KAV_NODE_INTERNAL_LINK_REFERENCE, 0, text, text, offset);
        ref->level = number;
        ref->indent = indent_of(p, i);
        kav_node_append(f->node, ref);
        if (is_symbol(p, j + 2, '(')) {
            Frame* skip = push(p, STATE_BRACKET_SKIP, f->node, FRAME_LINE_BOUND);
            skip->extra = ref;
            String paren = text_at(p, j + 2);
            KavNode* desc = new_node(p, KAV_NODE_DESC, 0, paren, paren, tok(p, j + 2).begin);
            kav_node_append(ref, desc);
            push(p, STATE_DESC, desc, FRAME_LINE_BOUND);
            advance(p, j + 3 - i);
            return;
        }
        leave_bracket(p, end, ref);
        return;
    }

    // Any other bracket groups its content; the brackets are not text.
    push(p, STATE_BRACKET, f->node, FRAME_LINE_BOUND);
    advance(p, 1);
}

// The open block context that the pair of backquotes at token k closes:
// the pair stands no further right than the context's own and in the same
// quote (a quote inside a toggle cannot close it); null when none.
static Frame* closed_block_context(Parser* p, u64 k) {
    Frame* context = p->top->block_context;
    if (!context || context->quote != p->top->quote) return 0;
    return bytes_after_markers(p, k) <= context->node->indent ? context : 0;
}

static void double_backtick_in_run(Parser* p) {
    Frame* f = p->top;
    u64 i = p->i;
    if (Frame* context = closed_block_context(p, i)) {
        pop_through(p, context);
        advance(p, 1);
        return;
    }
    if (f->inline_context) {
        pop_through(p, f->inline_context);
        advance(p, 1);
        return;
    }
    String text = text_at(p, i);
    u64 flags = token_flags(tok(p, i).kind) | KAV_FLAG_BACKQUOTES | KAV_FLAG_INLINE_CONTEXT;
    KavNode* context_node = new_node(p, KAV_NODE_CONTEXT, flags, text, text, tok(p, i).begin);
    context_node->indent = indent_of(p, i);
    kav_node_append(f->node, context_node);
    push(p, STATE_INLINE_CONTEXT, context_node, FRAME_LINE_BOUND);
    advance(p, 1);
}

// ---- Lists ---------------------------------------------------------------------------------------

static u32 list_marker(Parser* p, u64 i, bool numbers_only) {
    if (p->escaped) return MARKER_NONE;
    u32 kind = kind_at(p, i);
    if ((kind & KAV_TOKEN_NUMBER) && !(kind & KAV_TOKEN_ESCAPED) && is_symbol(p, i + 1, '.') && is_gap(p, i + 2)) {
        return MARKER_NUMBER;
    }
    if (numbers_only) return MARKER_NONE;
    if ((kind & KAV_TOKEN_WORD) && is_symbol(p, i + 1, '.') && is_gap(p, i + 2)) return MARKER_WORD;
    if (is_symbol(p, i, '.') && is_gap(p, i + 1)) return MARKER_DOT;
    return MARKER_NONE;
}

static u64 marker_flags(u32 marker) {
    switch (marker) {
        case MARKER_NUMBER: return KAV_FLAG_NUMBERED;
        case MARKER_WORD: return KAV_FLAG_LETTERED;
        case MARKER_DOT: return KAV_FLAG_DOT_LIST;
        default: return 0;
    }
}

static bool marker_fits(Parser* p, KavNode* list, u32 marker, u64 i) {
    if (list->flags & KAV_FLAG_NUMBERED) return marker == MARKER_NUMBER;
    if (list->flags & KAV_FLAG_DOT_LIST) return marker == MARKER_DOT;
    if (list->flags & KAV_FLAG_LETTERED) {
        return marker == MARKER_NUMBER || (marker == MARKER_WORD && tok(p, i).end - tok(p, i).begin == 1);
    }
    return false;
}

static KavNode* make_list(Parser* p, u64 i, u64 flags, u8 level, u8 indent) {
    String text = text_at(p, i);
    KavNode* list = new_node(p, KAV_NODE_LIST, flags, text, text, tok(p, i).begin);
    list->level = level;
    list->indent = indent;
    // A word marker is not shown on the page; the hints name those that are
    // more than a letter.
    if ((flags & KAV_FLAG_LETTERED) && text.size > 1) keep_listed(p, &p->result.word_markers, list);
    return list;
}

static void close_list_run(Parser* p) {
    if (p->top->flags & FRAME_INLINE_LIST) {
        pop(p);
        return;
    }
    while (p->top->state == STATE_LIST) pop(p);
}

static void list_step(Parser* p) {
    u64 i = p->i;
    u32 kind = tok(p, i).kind;
    bool inline_list = (p->top->flags & FRAME_INLINE_LIST) != 0;
    if (kind & KAV_TOKEN_NEWLINE) {
        if (inline_list) {
            end_line(p);
        } else {
            advance(p, 1);
        }
        return;
    }
    if (kind & KAV_TOKEN_WHITESPACE) {
        advance(p, 1);
        return;
    }
    if (!inline_list && (kind & KAV_TOKEN_DOUBLE_SLASH) && !(kind & KAV_TOKEN_ESCAPED)) {
        p->i = MIN(line_end(p, i) + 1, p->count);
        return;
    }
    u32 marker = list_marker(p, i, inline_list);
    bool mid_line = p->marker_inline;
    p->marker_inline = false;
    if (!marker) {
        close_list_run(p);
        return;
    }
    u8 indent = indent_of(p, i);
    if (!inline_list && !mid_line) {
        // Lists nested deeper than the marker end first.
        while (p->top->state == STATE_LIST && p->top->previous->state == STATE_LIST &&
               p->top->node->indent > indent) {
            pop(p);
        }
    }
    Frame* f = p->top;
    KavNode* list = f->node;
    if (f->flags & FRAME_HAS_LIST) {
        bool same_place = mid_line || inline_list || list->indent == indent;
        if (same_place) {
            if (!marker_fits(p, list, marker, i)) {
                // Another kind of marker at the same place starts a new list
                // that takes the old one's place.
                u64 flags = marker_flags(marker) | (list->flags & (KAV_FLAG_INLINE_LIST | KAV_FLAG_NESTED_LIST));
                KavNode* next = make_list(p, i, flags, list->level, list->indent);
                kav_node_append(list->parent, next);
                f->node = list = next;
            }
        } else if (indent > list->indent) {
            u64 flags = marker_flags(marker) | KAV_FLAG_NESTED_LIST;
            KavNode* nested = make_list(p, i, flags, saturate_u8((u64)list->level + 1), indent);
            KavNode* host = kav_node_is_nil(list->last) ? list : list->last;
            kav_node_append(host, nested);
            push(p, STATE_LIST, nested, FRAME_HAS_LIST);
            list = nested;
        } else {
            // Less indented than every open list: a list of its own.
            close_list_run(p);
            return;
        }
    } else {
        u64 flags = marker_flags(marker) | (inline_list ? (u64)KAV_FLAG_INLINE_LIST : 0);
        KavNode* fresh = make_list(p, i, flags, 0, indent);
        kav_node_append(f->node, fresh);
        f->node = list = fresh;
        f->flags |= FRAME_HAS_LIST;
    }
    String text = text_at(p, i);
    KavNode* item = new_node(p, KAV_NODE_ITEM, 0, text, text, tok(p, i).begin);
    item->level = list->level;
    item->indent = indent;
    kav_node_append(list, item);
    advance(p, marker == MARKER_DOT ? 1 : 2);
    push(p, STATE_ITEM, item, FRAME_LINE_BOUND);
}

// ---- Runs ----------------------------------------------------------------------------------------

static void run_step(Parser* p) {
    Frame* f = p->top;
    u64 i = p->i;
    u32 kind = tok(p, i).kind;
    // The common case first: a plain word opens nothing, escaped or not.
    if (kind == KAV_TOKEN_WORD && !(f->flags & FRAME_OUTPUT_PATH)) {
        plain_word(p);
        return;
    }
    if (kind & KAV_TOKEN_NEWLINE) {
        end_line(p);
        return;
    }
    if (kind & KAV_TOKEN_WHITESPACE) {
        advance(p, 1);
        return;
    }
    if ((f->flags & FRAME_OUTPUT_PATH) && !(kind & KAV_TOKEN_PIPE)) {
        output_path_word(p);
        return;
    }
    if (kind & KAV_TOKEN_ESCAPE) {
        if (kind_at(p, i + 1) & KAV_TOKEN_ESCAPE) {
            // "\\" writes one backslash.
            make_word(p, i + 1, 0, text_at(p, i + 1));
            advance(p, 2);
        } else {
            advance(p, 1);
            p->escaped = p->i < p->count;
        }
        return;
    }
    if (!escaped_now(p)) {
        if (kind & KAV_TOKEN_PIPE) {
            if (Frame* stop = f->pipe_stop) {
                bool consume = (stop->flags & FRAME_PIPE_CONSUME) != 0;
                pop_through(p, stop);
                if (consume) advance(p, 1);
                return;
            }
        } else if (kind & KAV_TOKEN_CLOSE_BRACKET) {
            if (f->bracket) {
                pop_through(p, f->bracket);
                advance(p, 1);
            } else {
                stray_token(p);
            }
            return;
        } else if (f->state == STATE_DESC && is_symbol(p, i, ')')) {
            pop(p);
            advance(p, 1);
            return;
        } else if (kind & KAV_TOKEN_DOUBLE_BACKTICK) {
            double_backtick_in_run(p);
            return;
        } else if (kind & KAV_TOKEN_OPEN_TILDE) {
            embedded_html(p);
            return;
        } else if (kind & KAV_TOKEN_CLOSE_TILDE) {
            stray_token(p);
            return;
        } else if (kind & KAV_TOKEN_BACKTICK) {
            inline_code(p);
            return;
        } else if (kind & KAV_TOKEN_OPEN_BRACKET) {
            bracket(p);
            return;
        } else if ((kind & KAV_TOKEN_NUMBER) && !f->key_value && list_marker(p, i, true)) {
            // Not in a key's value, which is one text ("Chapter 1. Intro").
            if (f->item) {
                // The next marker ends this item; the list frame below takes it.
                pop_through(p, f->item);
                p->marker_inline = true;
            } else {
                push(p, STATE_LIST, f->node, FRAME_LINE_BOUND | FRAME_INLINE_LIST);
            }
            return;
        } else if ((kind & KAV_TOKEN_MARKUP) && (is_markup(p, i, S("_")) || is_markup(p, i, S("__")))) {
            emphasis(p);
            return;
        }
    }
    plain_word(p);
}

static void inline_context_step(Parser* p) {
    u32 kind = tok(p, p->i).kind;
    if (kind & KAV_TOKEN_NEWLINE) {
        end_line(p);
        return;
    }
    if (kind & KAV_TOKEN_WHITESPACE) {
        advance(p, 1);
        return;
    }
    // Each part between pipes is a run into the context.
    push_run(p, p->top->node, FRAME_PIPE_CONSUME, true);
}

static void skip_step(Parser* p) {
    u32 kind = tok(p, p->i).kind;
    if (kind & KAV_TOKEN_NEWLINE) {
        end_line(p);
        return;
    }
    if ((kind & KAV_TOKEN_CLOSE_BRACKET) && !(kind & KAV_TOKEN_ESCAPED)) {
        pop(p);
        advance(p, 1);
        return;
    }
    advance(p, 1);
}

// ---- Tables --------------------------------------------------------------------------------------

static bool is_rule_start(Parser* p, u64 i) {
    return (kind_at(p, i) & KAV_TOKEN_PIPE) && (kind_at(p, i + 1) & KAV_TOKEN_TRIPLE_DASH) &&
           !(kind_at(p, i + 1) & KAV_TOKEN_ESCAPED);
}

// Nothing but blanks follow token k on its line.
static bool ends_line(Parser* p, u64 k) {
    u64 next = k + 1;
    if (kind_at(p, next) & KAV_TOKEN_WHITESPACE) next += 1;
    return next >= p->count || (tok(p, next).kind & KAV_TOKEN_NEWLINE);
}

static bool is_unescaped_pipe(Parser* p, u64 k) {
    return (kind_at(p, k) & KAV_TOKEN_PIPE) && !(k > 0 && (tok(p, k - 1).kind & KAV_TOKEN_ESCAPE));
}

static void table_start(Parser* p) {
    u64 i = p->i;
    if (!is_rule_start(p, i)) {
        report_unexpected(p, error_marker(p, i), DIAG_ERROR);
        advance(p, 1);
        return;
    }
    u8 indent = indent_of(p, i);
    KavNode* parent = place(p, block_level(p, indent));
    u64 end = line_end(p, i);
    u64 pipes = 0;
    u64 last_pipe = i;
    for (u64 k = i; k < end; k += 1) {
        if (is_unescaped_pipe(p, k)) {
            pipes += 1;
            last_pipe = k;
        }
    }
    // A pipe that closes the rule line marks no column of its own.
    if (pipes > 1 && ends_line(p, last_pipe)) pipes -= 1;

    TableLayout* layout = push_struct<TableLayout>(p->arena);
    layout->columns = push_array_no_zero<u64>(p->arena, pipes);
    layout->tables = push_array_no_zero<KavNode*>(p->arena, pipes);
    layout->column_count = (u32)MIN(pipes, (u64)0xFFFFFFFF);
    layout->phase = TABLE_HEADER_NEXT;
    layout->current = -1;
    u64 flags = pipes > 1 ? (KAV_FLAG_MULTI_COLUMN | KAV_FLAG_SIDE_BY_SIDE) : 0;
    u64 c = 0;
    KavNode* host = parent;
    for (u64 k = i; k < end && c < pipes; k += 1) {
        if (!is_unescaped_pipe(p, k)) continue;
        String text = text_at(p, k);
        KavNode* table = new_node(p, KAV_NODE_TABLE, flags, text, text, tok(p, k).begin);
        table->level = saturate_u8(c);
        table->indent = indent_of(p, k);
        kav_node_append(host, table);
        host = table;
        layout->columns[c] = column_of(p, k);
        layout->tables[c] = table;
        c += 1;
    }
    Frame* f = push(p, STATE_TABLE, layout->tables[0], 0);
    f->extra = layout;
    p->i = end;
    p->escaped = false;
}

// Column of the table that a pipe at `column` belongs to: the last one whose
// rule-line pipe stands at or left of it.
static u32 table_column(TableLayout* layout, u64 column) {
    u32 lo = 0;
    u32 hi = layout->column_count;
    while (hi - lo > 1) {
        u32 mid = lo + (hi - lo) / 2;
        if (layout->columns[mid] <= column) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

static void table_cell(Parser* p, TableLayout* layout) {
    u64 i = p->i;
    u32 c = table_column(layout, column_of(p, i));
    if ((s64)c > layout->current) {
        layout->current = c;
        layout->cell_index = 0;
        layout->cell = 0;
    } else {
        layout->cell_index += 1;
    }
    if (ends_line(p, i)) {
        advance(p, 1);
        return;
    }
    KavNode* table = layout->tables[c];
    KavNode* next_table = c + 1 < layout->column_count ? layout->tables[c + 1] : kav_nil();
    KavNode* header = layout->cell ? layout->cell->next : table->first;
    if (kav_node_is_nil(header) || header->kind != KAV_NODE_TABLE_HEADER_COLUMN) {
        String text = text_at(p, i);
        header = new_node(p, KAV_NODE_TABLE_HEADER_COLUMN, 0, text, text, tok(p, i).begin);
        header->level = saturate_u8(layout->cell_index);
        header->indent = indent_of(p, i);
        kav_node_insert_before(table, next_table, header);
    }
    layout->cell = header;
    KavNode* cell = header;
    if (layout->phase == TABLE_BODY) {
        u8 row = saturate_u8(layout->rows - 1);
        KavNode* entry = header->last;
        if (kav_node_is_nil(entry) || entry->kind != KAV_NODE_TABLE_ENTRY || entry->level != row) {
            String text = text_at(p, i);
            entry = new_node(p, KAV_NODE_TABLE_ENTRY, 0, text, text, tok(p, i).begin);
            entry->level = row;
            entry->indent = indent_of(p, i);
            kav_node_append(header, entry);
        }
        cell = entry;
    }
    // A cell continued on a further line is separated from its earlier text.
    KavNode* last = cell->last;
    if (!kav_node_is_nil(last) && last->kind != KAV_NODE_TABLE_ENTRY) last->flags |= KAV_FLAG_SPACE_AFTER;
    advance(p, 1);
    push_run(p, cell, FRAME_LINE_NODE, true);
}

static void table_step(Parser* p) {
    Frame* f = p->top;
    TableLayout* layout = (TableLayout*)f->extra;
    u64 i = p->i;
    u32 kind = tok(p, i).kind;
    if (kind & KAV_TOKEN_NEWLINE) {
        layout->current = -1;
        advance(p, 1);
        return;
    }
    if (kind & KAV_TOKEN_WHITESPACE) {
        advance(p, 1);
        return;
    }
    if (at_line_start(p, i)) {
        layout->current = -1;
        if ((kind & KAV_TOKEN_DOUBLE_SLASH) && !(kind & KAV_TOKEN_ESCAPED)) {
            p->i = MIN(line_end(p, i) + 1, p->count);
            return;
        }
        if (is_rule_start(p, i)) {
            layout->phase = TABLE_BODY_NEXT;
            p->i = line_end(p, i);
            return;
        }
        if (!(kind & KAV_TOKEN_PIPE)) {
            pop(p);  // the table ends; the token is read again outside it
            return;
        }
        if (layout->phase == TABLE_HEADER_NEXT) layout->phase = TABLE_HEADER;
        if (layout->phase == TABLE_BODY_NEXT) {
            layout->phase = TABLE_BODY;
            layout->rows += 1;
            if (layout->rows > 256 && !layout->warned_rows) {
                layout->warned_rows = 1;
                KavNode* at = error_marker(p, i);
                diag_append(p->arena, &p->result.diagnostics, at, DIAG_WARNING,
                            S("Table has more than 256 rows; the later rows share the last row number."));
            }
        }
    }
    if (kind & KAV_TOKEN_PIPE) {
        table_cell(p, layout);
        return;
    }
    advance(p, 1);
}

// ---- Block constructs ----------------------------------------------------------------------------

static bool is_quote_marker(Parser* p, u64 k);

// Moves k past the `markers` quote markers that start its line (a blank may
// stand before the first and between two), but not past the blank after
// the last one, which belongs to the line's content. False, k unchanged,
// when the line carries fewer markers.
static bool skip_quote_markers(Parser* p, u64* k, u64 markers) {
    u64 at = *k;
    if (kind_at(p, at) & KAV_TOKEN_WHITESPACE) at += 1;
    for (u64 n = 0; n < markers; n += 1) {
        if (n > 0 && (kind_at(p, at) & KAV_TOKEN_WHITESPACE) && is_quote_marker(p, at + 1)) at += 1;
        if (!is_quote_marker(p, at)) return false;
        at += 1;
    }
    *k = at;
    return true;
}

static void code_block(Parser* p) {
    u64 i = p->i;
    u8 indent = indent_of(p, i);
    KavNode* parent = place(p, block_level(p, indent));
    String fence = text_at(p, i);
    KavNode* block = new_node(p, KAV_NODE_BLOCK, token_flags(tok(p, i).kind), fence, fence, tok(p, i).begin);
    block->indent = indent;
    kav_node_append(parent, block);
    // In a quote every line of the block starts with the quote's markers,
    // which are not code; a line with fewer ends the block and the quote.
    u64 markers = p->top->quote ? p->top->quote->quote_depth : 0;
    bool left_quote = false;
    // The rest of the opening line is not content.
    u64 k = line_end(p, i + 1);
    if (k < p->count) k += 1;
    bool line_start = true;
    bool line_markers = markers > 0;
    for (; k < p->count; k += 1) {
        if (line_markers) {
            line_markers = false;
            if (!skip_quote_markers(p, &k, markers)) {
                left_quote = true;
                break;
            }
            if (k >= p->count) break;
        }
        u32 kind = tok(p, k).kind;
        if ((kind & KAV_TOKEN_TRIPLE_BACKTICK) && !(kind & KAV_TOKEN_ESCAPED)) break;
        // Code is verbatim: a backslash only matters before a fence.
        if ((kind & KAV_TOKEN_ESCAPE) && (kind_at(p, k + 1) & KAV_TOKEN_TRIPLE_BACKTICK)) continue;
        String text = text_at(p, k);
        if ((kind & KAV_TOKEN_WHITESPACE) && line_start) {
            line_start = false;
            if (text.size <= indent) continue;
            text = string_skip(text, indent);
        }
        line_start = (kind & KAV_TOKEN_NEWLINE) != 0;
        line_markers = line_start && markers > 0;
        kav_node_append(block, new_node(p, KAV_NODE_WORD, token_flags(kind), text, text, tok(p, k).begin));
    }
    // A line that left the quote is read again from its start.
    p->i = left_quote ? k : (k < p->count ? k + 1 : p->count);
    p->escaped = false;
}

static void separator(Parser* p) {
    u64 i = p->i;
    u8 indent = indent_of(p, i);
    KavNode* parent = place(p, block_level(p, indent));
    String text = text_at(p, i);
    KavNode* node = new_node(p, KAV_NODE_SEPARATOR, 0, text, text, tok(p, i).begin);
    node->indent = indent;
    kav_node_append(parent, node);
    p->i = line_end(p, i);
    p->escaped = false;
}

static bool is_quote_marker(Parser* p, u64 k) {
    u32 kind = kind_at(p, k);
    return (kind & KAV_TOKEN_MARKUP) && !(kind & KAV_TOKEN_ESCAPED) &&
           (byte_token(p, k, KAV_TOKEN_MARKUP, '>') || byte_token(p, k, KAV_TOKEN_MARKUP, '<'));
}

// Token after the quote marker at k: the next marker when only blank lies
// between, else the blank or content that follows.
static u64 after_quote_marker(Parser* p, u64 k) {
    k += 1;
    if ((kind_at(p, k) & KAV_TOKEN_WHITESPACE) && is_quote_marker(p, k + 1)) k += 1;
    return k;
}

// Opens quotes for the markers from `k` on, each nested in the one before,
// numbering them from `level`; `until` counts the markers wanted.
static u64 open_quotes(Parser* p, KavNode* parent, u64 k, u64 level, u64 until) {
    for (u64 n = level; n < until && is_quote_marker(p, k); n += 1) {
        String text = text_at(p, k);
        KavNode* quote = new_node(p, KAV_NODE_QUOTE, token_flags(tok(p, k).kind), text, text, tok(p, k).begin);
        quote->level = saturate_u8(n);
        quote->indent = indent_of(p, k);
        if (n == KAV_QUOTE_LEVELS_SHOWN && !p->warned_quote_depth) {
            p->warned_quote_depth = true;
            String message = string_format(p->arena, "Quote nested more than %u deep; it is shown in the quote at depth %u.",
                                           KAV_QUOTE_LEVELS_SHOWN, KAV_QUOTE_LEVELS_SHOWN);
            diag_append(p->arena, &p->result.diagnostics, quote, DIAG_WARNING, message);
        }
        kav_node_append(parent, quote);
        push(p, STATE_QUOTE, quote, 0);
        parent = quote;
        k = after_quote_marker(p, k);
    }
    return k;
}

static void quote_start(Parser* p) {
    u64 i = p->i;
    KavNode* parent = place(p, block_level(p, indent_of(p, i)));
    p->i = open_quotes(p, parent, i, 0, ~(u64)0);
    p->escaped = false;
    p->line_first = p->i;
}

// At the start of a line while a quote is open: its markers say how many
// quotes stay open; a line without markers ends them.
static void quote_prefix(Parser* p) {
    Frame* quote = p->top->quote;
    u64 k = p->i;
    if (kind_at(p, k) & KAV_TOKEN_WHITESPACE) k += 1;
    u64 markers = 0;
    u64 after = k;
    while (is_quote_marker(p, after)) {
        markers += 1;
        after = after_quote_marker(p, after);
    }
    if (markers == 0) {
        while (Frame* q = p->top->quote) {
            while (q->quote_depth > 1 && q->previous->quote) q = q->previous->quote;
            pop_through(p, q);
        }
        return;
    }
    // Toggles opened inside a quote stay open across lines of deeper or
    // shallower quotes; only the quotes themselves and the sections of the
    // quote that continues close.
    u64 depth = quote->quote_depth;
    if (markers < depth) {
        Frame* keep = quote;
        while (keep->quote_depth > markers && keep->previous->quote) keep = keep->previous->quote;
        while (p->top->quote != keep && p->top != &p->bottom) pop(p);
    } else if (markers > depth) {
        while (p->top != quote && !(p->top->state == STATE_CONTEXT && p->top->quote == quote) && p->top != &p->bottom) {
            pop(p);
        }
        u64 skip = k;
        for (u64 n = 0; n < depth; n += 1) skip = after_quote_marker(p, skip);
        after = open_quotes(p, p->top->node, skip, depth, markers);
    }
    p->i = after;
    p->escaped = false;
    p->line_first = after;
}

// "[*n]" at the start of a line: the text of a note, kept out of the tree.
static bool footnote_definition(Parser* p) {
    u64 i = p->i;
    u64 j = i + 1;
    if (kind_at(p, j) & KAV_TOKEN_WHITESPACE) j += 1;
    if (!is_symbol(p, j, '*') || !(kind_at(p, j + 1) & KAV_TOKEN_NUMBER) || (kind_at(p, j + 1) & KAV_TOKEN_ESCAPED)) {
        return false;
    }
    u8 number = note_number(p, j + 1);
    u64 end = bracket_end(p, j + 2);
    String text = string_substr(p->source, tok(p, i).begin, end < p->count ? tok(p, end).end : p->source.size);
    KavNode* note = new_node(p, KAV_NODE_FOOTNOTE, 0, text, text, tok(p, i).begin);
    note->level = number;
    note->indent = indent_of(p, i);
    if (!p->body_only) kav_node_list_push(p->arena, &p->result.footnotes, note);
    p->i = (end < p->count && (tok(p, end).kind & KAV_TOKEN_CLOSE_BRACKET)) ? end + 1 : end;
    p->escaped = false;
    push_run(p, note, 0, false);
    return true;
}

static bool key_line(Parser* p) {
    u64 i = p->i;
    if (i >= p->count) return false;
    KavKeyLine line = kav_match_key_line(p->source, tok(p, i));
    if (!line.key) return false;
    Frame* context = p->top->container;
    while (p->top != context && p->top != &p->bottom) pop(p);
    KavMetaKey* entry = push_struct<KavMetaKey>(p->arena);
    *entry = *line.key;
    KavNode* node = new_node(p, KAV_NODE_RESERVED_CONTEXT_KEYWORD, token_flags(tok(p, i).kind), entry->key,
                                  entry->key, tok(p, i).begin);
    node->entry = entry;
    node->indent = indent_of(p, i);
    kav_node_append(context->node, node);
    u64 k = i;
    while (k < p->count && tok(p, k).begin < line.colon) k += 1;
    k = MIN(k + 1, p->count);  // past the colon
    if (entry->id == KAV_KEY_TITLE && !p->result.title) {
        p->result.title = node;
        if (!p->body_only) node->kept = KAV_KEPT_SUBTREE;  // the page's title is made from its words
    } else if (entry->id == KAV_KEY_STATUS) {
        u64 s = k;
        if (kind_at(p, s) & KAV_TOKEN_WHITESPACE) s += 1;
        u32 kind = kind_at(p, s);
        bool value = s < p->count && !(kind & (KAV_TOKEN_NEWLINE | KAV_TOKEN_WHITESPACE | KAV_TOKEN_PIPE));
        p->result.status = value ? string_inner(text_at(p, s), kind) : String{};
    }
    p->i = k;
    p->escaped = false;
    u32 flags = FRAME_LINE_NODE | FRAME_PIPE_CONSUME;
    if (entry->id == KAV_KEY_OUTPUT_PATH) flags |= FRAME_OUTPUT_PATH;
    push_run(p, node, flags, true)->key_value = 1;
    return true;
}

static void block_step(Parser* p) {
    Frame* f = p->top;
    u64 i = p->i;
    u32 kind = tok(p, i).kind;
    if (kind & (KAV_TOKEN_NEWLINE | KAV_TOKEN_WHITESPACE)) {
        advance(p, 1);
        return;
    }
    if ((kind & KAV_TOKEN_DOUBLE_SLASH) && !(kind & KAV_TOKEN_ESCAPED)) {
        p->i = MIN(line_end(p, i) + 1, p->count);  // a comment, through its line feed
        return;
    }
    if ((kind & KAV_TOKEN_PIPE) && !at_line_start(p, i)) {
        advance(p, 1);  // separates the parts of one line
        return;
    }
    bool unescaped = !(kind & KAV_TOKEN_ESCAPED);
    Frame* closed = (kind & KAV_TOKEN_DOUBLE_BACKTICK) && unescaped ? closed_block_context(p, i) : 0;
    if (closed) {
        pop_through(p, closed);
        advance(p, 1);
        return;
    }
    if (f->container && f->container->state == STATE_CONTEXT && key_line(p)) return;

    if (list_marker(p, i, false)) {
        KavNode* parent = place(p, block_level(p, indent_of(p, i)));
        push(p, STATE_LIST, parent, 0);
        return;
    }
    if (kind & KAV_TOKEN_PIPE) {
        table_start(p);
        return;
    }
    if ((kind & KAV_TOKEN_TRIPLE_DASH) && unescaped) {
        separator(p);
        return;
    }
    if (is_quote_marker(p, i)) {
        quote_start(p);
        return;
    }
    if ((kind & KAV_TOKEN_TRIPLE_BACKTICK) && unescaped) {
        code_block(p);
        return;
    }
    if ((kind & KAV_TOKEN_DOUBLE_BACKTICK) && unescaped) {
        line_node(p, true);
        advance(p, 1);
        return;
    }
    if ((kind & KAV_TOKEN_OPEN_BRACKET) && unescaped && footnote_definition(p)) return;
    if (f->state == STATE_BLOCK) {
        // Text at the root opens the main block that holds the body.
        String text = text_at(p, i);
        u64 flags = f->in_document ? (u64)KAV_FLAG_IN_DOCUMENT : 0;
        KavNode* main = new_node(p, KAV_NODE_MAIN, flags, text, text, tok(p, i).begin);
        kav_node_append(f->node, main);
        push(p, STATE_MAIN, main, 0);
        return;
    }
    line_node(p, false);
}

// ---- Driver ------------------------------------------------------------------------------------------

KavParser* kav_parser_begin(Arena* arena, String path, String source, const KavTokens* tokens, KavNodePool* pool,
                            u32 flags, const KavParseResult* facts) {
    Parser* p = push_struct<Parser>(arena);
    p->arena = arena;
    p->path = path;
    p->source = source;
    p->t = tokens->tokens;
    p->window = tokens->window;
    p->count = tokens->count;
    p->line_mark = ~(u64)0;
    p->pool = pool;
    p->body_only = (flags & KAV_PARSE_BODY_ONLY) != 0;
    p->file_facts = facts ? facts->file_paths.first : 0;
    p->spare = facts ? facts->spare : 0;
    p->result.success = 1;
    p->result.root = new_node(p, KAV_NODE_FILE, 0, source, source, 0);
    p->bottom.state = STATE_BLOCK;
    p->bottom.node = p->result.root;
    p->bottom.container = &p->bottom;
    p->top = &p->bottom;
    return (KavParser*)p;
}

const KavParseResult* kav_parser_result(const KavParser* parser) { return &((const Parser*)parser)->result; }

void kav_parser_run(KavParser* parser, KavBodyHook* hook, void* context) {
    Parser* p = (Parser*)parser;
    p->body_hook = hook;
    p->hook_context = context;
    u64 stalled = 0;
    u64 last_i = ~(u64)0;
    while (p->i < p->count) {
        if (p->i != p->line_mark && (p->i == 0 || (tok(p, p->i - 1).kind & KAV_TOKEN_NEWLINE))) {
            p->line_mark = p->i;
            p->line_first = p->i;
            if (p->top->quote) quote_prefix(p);
            continue;
        }
        // Every step uses up a token or changes the frames in a way that
        // leads to one that does; a long stall would be a parser fault.
        if (p->i == last_i) {
            stalled += 1;
            if (stalled > 4096) {
#ifndef NDEBUG
                __builtin_trap();
#endif
                advance(p, 1);
                stalled = 0;
                continue;
            }
        } else {
            stalled = 0;
            last_i = p->i;
        }
        switch (p->top->state) {
            case STATE_RUN:
            case STATE_ITEM:
            case STATE_BRACKET:
            case STATE_DESC: run_step(p); break;
            case STATE_BRACKET_SKIP: skip_step(p); break;
            case STATE_INLINE_CONTEXT: inline_context_step(p); break;
            case STATE_LIST: list_step(p); break;
            case STATE_TABLE: table_step(p); break;
            default: block_step(p); break;
        }
    }
    // Unclosed constructs end with the input; closing the open frames gives
    // them the same tidying as a line end would.
    while (p->top != &p->bottom) pop(p);
    p->body_hook = 0;
    p->hook_context = 0;
}

KavParseResult kav_parser_end(KavParser* parser) {
    Parser* p = (Parser*)parser;
    if (p->result.diagnostics.max_level >= DIAG_ERROR) p->result.success = 0;
    return p->result;
}

KavParseResult kav_parse(Arena* arena, String path, String source, const KavTokens* tokens) {
    KavParser* parser = kav_parser_begin(arena, path, source, tokens, 0, 0, 0);
    kav_parser_run(parser, 0, 0);
    return kav_parser_end(parser);
}
