#include "urlcheck/known_searches.h"

#include "base/token_buffer.h"

// ---- Tokens ------------------------------------------------------------------

struct KnKeywordRow {
    String name;
    u32 keyword;
    u32 is_key;  // may start an entry
};
static const KnKeywordRow kn_keywords[] = {
    {S("urls"), KN_KEYWORD_URLS, 1},
    {S("prefix"), KN_KEYWORD_PREFIX, 1},
    {S("searchers"), KN_KEYWORD_SEARCHERS, 1},
    {S("data_markers"), KN_KEYWORD_DATA_MARKERS, 1},
    {S("end"), KN_KEYWORD_END, 1},
    {S("types"), KN_KEYWORD_TYPES, 1},
    {S("source_finders"), KN_KEYWORD_SOURCE_FINDERS, 1},
    {S("start"), KN_KEYWORD_START, 1},
    {S("fuzzy"), KN_KEYWORD_FUZZY, 0},
    {S(":"), KN_KEYWORD_COLON, 0},
    {S("["), KN_KEYWORD_OPEN_BRACKET, 0},
    {S("]"), KN_KEYWORD_CLOSE_BRACKET, 0},
    {S("{"), KN_KEYWORD_OPEN_BRACE, 0},
    {S("}"), KN_KEYWORD_CLOSE_BRACE, 0},
    {S(","), KN_KEYWORD_COMMA, 0},
};
static_assert(ARRAY_COUNT(kn_keywords) == KN_KEYWORD_COUNT - 1, "one row per keyword");

String kn_keyword_name(u32 keyword) {
    for (const KnKeywordRow& row : kn_keywords) {
        if (row.keyword == keyword) return row.name;
    }
    return String{};
}

static bool kn_is_blank(u8 c) { return c == ' ' || c == '\t' || c == '\v' || c == '\r'; }
static bool kn_is_structural(u8 c) { return c == ':' || c == '[' || c == ']' || c == '{' || c == '}' || c == ','; }
static bool kn_starts_identifier(u8 c) { return char_is_alpha(c) || c >= 0xC0; }
// UTF-8 continuation bytes stay inside the word so that no word is cut
// inside a character.
static bool kn_continues_identifier(u8 c) {
    return char_is_alpha(c) || char_is_digit(c) || c >= 0x80 || c == '!' || c == '(' || c == ')' || c == '-' || c == '?';
}
static bool kn_starts_symbol(u8 c) {
    switch (c) {
        case '!': case '#': case '$': case '%': case '&': case '(': case ')': case '*': case '+': case '-':
        case '.': case '/': case ';': case '?': case '@': case '\\': case '^': case '_': case '`': case '|':
        case '~': return true;
        default: return false;
    }
}
static bool kn_continues_symbol(u8 c) {
    switch (c) {
        case '$': case '%': case '&': case '*': case '+': case '-': case '.': case '/': case '?': case '^':
        case '|': case '~': return true;
        default: return false;
    }
}

// End of the string that opens at `begin`: one past the last quote of the
// same kind before the next line feed, "," or "]"; 0 when there is none.
static u64 kn_string_end(String text, u64 begin) {
    u8 quote = text.str[begin];
    u64 last = 0;
    for (u64 i = begin + 1; i < text.size; i += 1) {
        u8 c = text.str[i];
        if (c == '\n' || c == ',' || c == ']') break;
        if (c == quote) last = i + 1;
    }
    return last;
}

KnTokens kn_tokenize(Arena* arena, String text) {
    TokenBuffer<KnToken> buffer = token_buffer<KnToken>(arena);

    u64 i = 0;
    while (i < text.size) {
        u8 c = text.str[i];
        u64 begin = i;
        u32 kind = 0;
        u32 keyword = KN_KEYWORD_NONE;

        if (kn_is_blank(c)) {
            while (i < text.size && kn_is_blank(text.str[i])) i += 1;
            kind = KN_TOKEN_SPACE;
        } else if (c == '\n') {
            i += 1;
            kind = KN_TOKEN_NEWLINE;
        } else if (c == '"' && i + 2 < text.size && (text.str[i + 1] == '"' || text.str[i + 1] == '\'') && text.str[i + 2] == '"') {
            // """ and "'" stand for a lone double quote and a lone apostrophe.
            i += 3;
            kind = KN_TOKEN_STRING;
        } else if (c == '"' || c == '\'') {
            u64 end = kn_string_end(text, i);
            kind = KN_TOKEN_STRING;
            if (end) {
                i = end;
            } else {
                // Unclosed: the string runs to the end of its line only, so
                // the entries after it are still read.
                u64 lf = string_find_byte(text, '\n', i);
                i = lf;
                kind |= KN_TOKEN_BROKEN;
            }
        } else {
            for (const KnKeywordRow& row : kn_keywords) {
                if (string_starts_with(string_skip(text, i), row.name, MATCH_CASE_INSENSITIVE)) {
                    keyword = row.keyword;
                    i += row.name.size;
                    kind = KN_TOKEN_KEYWORD;
                    break;
                }
            }
            if (kind) {
            } else if (kn_starts_identifier(c)) {
                i += 1;
                while (i < text.size && kn_continues_identifier(text.str[i])) i += 1;
                kind = KN_TOKEN_IDENTIFIER;
            } else if (char_is_digit(c) || ((c == '.' || c == '-') && i + 1 < text.size && char_is_digit(text.str[i + 1]))) {
                i += 1;
                while (i < text.size && (text.str[i] == '.' || char_is_digit(text.str[i]) || char_is_alpha(text.str[i]))) i += 1;
                kind = KN_TOKEN_NUMBER;
            } else if (kn_starts_symbol(c)) {
                i += 1;
                while (i < text.size && kn_continues_symbol(text.str[i]) && !kn_is_structural(text.str[i])) i += 1;
                kind = KN_TOKEN_SYMBOL;
            } else {
                i += 1;
                kind = KN_TOKEN_OTHER;
            }
        }

        token_buffer_push(&buffer, KnToken{begin, i, kind, keyword});
    }

    KnTokens result = {};
    result.tokens = token_buffer_array(&buffer);
    result.count = buffer.count;
    return result;
}

// ---- Tree --------------------------------------------------------------------

KnNode kn_nil_node = {&kn_nil_node, &kn_nil_node, &kn_nil_node, &kn_nil_node, &kn_nil_node, KN_NODE_NIL, {}, 0};

Diagnostic* diag_append(Arena* arena, DiagnosticList* list, KnNode* node, s32 level, String message) {
    return diag_append_at(arena, list, node, node->position, level, message);
}

static KnNode* kn_node_make(Arena* arena, u32 kind, String text, u64 position) {
    KnNode* node = push_struct<KnNode>(arena);
    node->next = node->prev = node->parent = node->first_child = node->last_child = &kn_nil_node;
    node->kind = kind;
    node->text = text;
    node->position = position;
    return node;
}

static void kn_append_child(KnNode* parent, KnNode* child) {
    child->parent = parent;
    child->prev = parent->last_child;
    child->next = &kn_nil_node;
    if (kn_is_nil(parent->last_child)) {
        parent->first_child = child;
    } else {
        parent->last_child->next = child;
    }
    parent->last_child = child;
}

enum KnParseState : u32 {
    KN_STATE_KEY,        // file level or inside "{": expecting a key
    KN_STATE_AFTER_KEY,  // expecting ":"
    KN_STATE_VALUE,      // expecting the key's value
};

struct KnFrame {
    KnFrame* next;  // the frame below
    u32 state;
    KnNode* node;  // the group (KEY) or the key (AFTER_KEY, VALUE)
};

static bool kn_token_is(const KnToken* t, u32 keyword) { return (t->kind & KN_TOKEN_KEYWORD) && t->keyword == keyword; }

static bool kn_token_is_key(const KnToken* t) {
    if (!(t->kind & KN_TOKEN_KEYWORD)) return false;
    for (const KnKeywordRow& row : kn_keywords) {
        if (row.keyword == t->keyword) return row.is_key != 0;
    }
    return false;
}

KnTree kn_parse(Arena* arena, String text, KnTokens tokens) {
    KnTree tree = {};
    tree.root = kn_node_make(arena, KN_NODE_ROOT, String{}, 0);
    Scratch scratch(arena);

    KnFrame* top = 0;
    KnFrame* free_frames = 0;
    auto push = [&](u32 state, KnNode* node) {
        KnFrame* frame = free_frames;
        if (frame) {
            SLL_STACK_POP(free_frames);
        } else {
            frame = push_struct<KnFrame>(scratch.arena);
        }
        frame->state = state;
        frame->node = node;
        SLL_STACK_PUSH(top, frame);
    };
    auto pop = [&]() {
        // The bottom frame (the file level) is never popped.
        if (!top->next) return;
        KnFrame* frame = top;
        SLL_STACK_POP(top);
        SLL_STACK_PUSH(free_frames, frame);
    };
    push(KN_STATE_KEY, tree.root);

    auto warn = [&](const KnToken* t) {
        String token_text = string_substr(text, t->begin, t->end);
        KnNode* anchor = kn_node_make(arena, KN_NODE_TOKEN, token_text, t->begin);
        diag_append(arena, &tree.diagnostics, anchor, DIAG_WARNING,
                    string_format(arena, "Unexpected \"%.*s\" token.", STR_ARG(token_text)));
    };

    u64 i = 0;
    while (i < tokens.count) {
        const KnToken* t = &tokens.tokens[i];
        if (t->kind & (KN_TOKEN_SPACE | KN_TOKEN_NEWLINE)) {
            i += 1;
            continue;
        }
        String token_text = string_substr(text, t->begin, t->end);
        switch (top->state) {
            case KN_STATE_KEY: {
                if (kn_token_is_key(t)) {
                    KnNode* key = kn_node_make(arena, KN_NODE_KEY, token_text, t->begin);
                    kn_append_child(top->node, key);
                    push(KN_STATE_AFTER_KEY, key);
                } else if (kn_token_is(t, KN_KEYWORD_CLOSE_BRACE) && top->next) {
                    pop();
                } else if (kn_token_is(t, KN_KEYWORD_COMMA) && top->next) {
                    // "," after an entry of a group, e.g. after a list value:
                    // `urls: ["a"], start: ...`.
                } else {
                    warn(t);
                }
                i += 1;
            } break;
            case KN_STATE_AFTER_KEY: {
                if (kn_token_is(t, KN_KEYWORD_COLON)) {
                    push(KN_STATE_VALUE, top->node);
                    i += 1;
                } else {
                    pop();  // handled again by the enclosing group
                }
            } break;
            case KN_STATE_VALUE: {
                if (t->kind & KN_TOKEN_STRING) {
                    if (t->kind & KN_TOKEN_BROKEN) {
                        warn(t);
                    } else {
                        String value = string_substr(token_text, 1, token_text.size - 1);
                        kn_append_child(top->node, kn_node_make(arena, KN_NODE_STRING, value, t->begin));
                    }
                    i += 1;
                } else if (kn_token_is(t, KN_KEYWORD_OPEN_BRACE)) {
                    KnNode* object = kn_node_make(arena, KN_NODE_OBJECT, token_text, t->begin);
                    kn_append_child(top->node, object);
                    push(KN_STATE_KEY, object);
                    i += 1;
                } else if (kn_token_is(t, KN_KEYWORD_OPEN_BRACKET) || kn_token_is(t, KN_KEYWORD_COMMA)) {
                    i += 1;
                } else if (kn_token_is(t, KN_KEYWORD_CLOSE_BRACKET)) {
                    pop();
                    i += 1;
                } else {
                    // The value is over: back to the group, which handles it.
                    pop();
                    pop();
                }
            } break;
        }
    }
    return tree;
}

// ---- Records -----------------------------------------------------------------

struct KnTypeRow {
    String name;
    u32 bit;
};
static const KnTypeRow kn_types[] = {
    {S("date"), KN_TYPE_DATE},
    {S("author"), KN_TYPE_AUTHOR},
    {S("Number"), KN_TYPE_NUMBER},
    {S("Bitmap"), KN_TYPE_BITMAP},
    {S("Title"), KN_TYPE_TITLE},
    {S("Description"), KN_TYPE_DESCRIPTION},
    {S("shortDescription"), KN_TYPE_SHORT_DESCRIPTION},
    {S("textual"), KN_TYPE_TEXTUAL},
};
static_assert(ARRAY_COUNT(kn_types) == 8, "one row per data type");

u32 kn_type_bit(String name) {
    for (const KnTypeRow& row : kn_types) {
        if (string_match(name, row.name, MATCH_CASE_INSENSITIVE)) return row.bit;
    }
    return 0;
}

static u32 kn_key_keyword(const KnNode* key) {
    for (const KnKeywordRow& row : kn_keywords) {
        if (row.is_key && string_match(key->text, row.name, MATCH_CASE_INSENSITIVE)) return row.keyword;
    }
    return KN_KEYWORD_NONE;
}

namespace {

struct KnBuilder {
    Arena* arena;
    StringList urls, start, end;
    String prefix;
    u32 types;
    SearcherList searchers;        // made since the last source finder
    DataMarkerList data_markers;   // likewise
    u64 data_markers_made;
    SourceFinderList result;
};

void kn_enter_string(KnBuilder* b, const KnNode* node) {
    String value = string_copy(b->arena, node->text);
    switch (kn_key_keyword(node->parent)) {
        case KN_KEYWORD_URLS: string_list_push(b->arena, &b->urls, value); break;
        case KN_KEYWORD_START: string_list_push(b->arena, &b->start, value); break;
        case KN_KEYWORD_END: string_list_push(b->arena, &b->end, value); break;
        case KN_KEYWORD_PREFIX: b->prefix = value; break;
        case KN_KEYWORD_TYPES: b->types |= kn_type_bit(node->text); break;
        default: break;
    }
}

void kn_leave_key(KnBuilder* b, const KnNode* node) {
    switch (kn_key_keyword(node)) {
        case KN_KEYWORD_SEARCHERS: {
            Searcher* s = push_struct<Searcher>(b->arena);
            s->urls = b->urls;
            s->start = b->start;
            s->end = b->end;
            b->urls = b->start = b->end = StringList{};
            SLL_QUEUE_PUSH(b->searchers.first, b->searchers.last, s);
            b->searchers.count += 1;
        } break;
        case KN_KEYWORD_DATA_MARKERS: {
            DataMarker* m = push_struct<DataMarker>(b->arena);
            m->prefix = b->prefix;
            m->types = b->types;
            // Each marker has its own prefix and types: one marker's types
            // must not leak into the next.
            b->prefix = String{};
            b->types = 0;
            SLL_QUEUE_PUSH(b->data_markers.first, b->data_markers.last, m);
            b->data_markers.count += 1;
            b->data_markers_made += 1;
        } break;
        case KN_KEYWORD_SOURCE_FINDERS: {
            SourceFinder* f = push_struct<SourceFinder>(b->arena);
            f->searchers = b->searchers;
            f->data_markers = b->data_markers;
            f->data_markers_made = b->data_markers_made;
            b->searchers = SearcherList{};
            b->data_markers = DataMarkerList{};
            SLL_QUEUE_PUSH(b->result.first, b->result.last, f);
            b->result.count += 1;
        } break;
        default: break;
    }
}

}  // namespace

SourceFinderList kn_build(Arena* arena, const KnTree* tree) {
    KnBuilder b = {};
    b.arena = arena;
    if (!tree->root || kn_is_nil(tree->root)) return b.result;

    // Depth-first walk through parent links: enter a node, go down to its
    // first child, or leave it and its finished ancestors.
    KnNode* root = tree->root;
    KnNode* node = root->first_child;
    while (!kn_is_nil(node)) {
        if (node->kind == KN_NODE_STRING) kn_enter_string(&b, node);
        if (!kn_is_nil(node->first_child)) {
            node = node->first_child;
            continue;
        }
        for (;;) {
            if (node->kind == KN_NODE_KEY) kn_leave_key(&b, node);
            if (!kn_is_nil(node->next)) {
                node = node->next;
                break;
            }
            node = node->parent;
            if (node == root || kn_is_nil(node)) {
                node = &kn_nil_node;
                break;
            }
        }
    }
    return b.result;
}

// ---- Loading -----------------------------------------------------------------

SourceFinderList g_known_searches;

SourceFinderList kn_load(Arena* arena, String text, String path) {
    Scratch scratch(arena);
    KnTokens tokens = kn_tokenize(scratch.arena, text);
    KnTree tree = kn_parse(scratch.arena, text, tokens);
    diag_print_list(&tree.diagnostics, path, text);
    g_known_searches = kn_build(arena, &tree);
    return g_known_searches;
}
