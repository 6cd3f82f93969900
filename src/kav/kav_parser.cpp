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
    KavTokenWindow* window;  // read through the steps' tok()
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

// ---- Steps ------------------------------------------------------------------------------------------

// The steps read tokens through tok() and are compiled twice: reading the
// whole token array, and reading a window of it (a large document's). A
// test of which on every read slowed every parse by about 9%.
namespace whole_tokens {
static inline KavToken tok(Parser* p, u64 k) { return p->t[k]; }
#include "kav/kav_parser_steps.inc"
}  // namespace whole_tokens

namespace windowed_tokens {
static inline KavToken tok(Parser* p, u64 k) { return kav_token_window_at(p->window, k); }
#include "kav/kav_parser_steps.inc"
}  // namespace windowed_tokens

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
    if (p->window) {
        windowed_tokens::run_parser(p);
    } else {
        whole_tokens::run_parser(p);
    }
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
