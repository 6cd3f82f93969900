#include "htmldom/html_reader.h"

#include <string.h>

#include "base/token_buffer.h"

// ---- Tokenizer -------------------------------------------------------------

enum HtmlCharClass : u8 {
    HTML_CHAR_BLANK = 1,         // space, tab, vertical tab, carriage return
    HTML_CHAR_NAME_START = 2,    // letters and UTF-8 lead bytes
    HTML_CHAR_NAME = 4,          // what continues a name
    HTML_CHAR_NUMBER = 8,        // what continues a number
    HTML_CHAR_SYMBOL_START = 16, // what starts a symbol run
    HTML_CHAR_SYMBOL = 32,       // what continues a symbol run
};

struct HtmlCharTable {
    u8 classes[256];
};

static constexpr HtmlCharTable html_char_table_make() {
    HtmlCharTable t = {};
    t.classes[(u8)' '] |= HTML_CHAR_BLANK;
    t.classes[(u8)'\t'] |= HTML_CHAR_BLANK;
    t.classes[(u8)'\v'] |= HTML_CHAR_BLANK;
    t.classes[(u8)'\r'] |= HTML_CHAR_BLANK;
    for (u32 c = 0; c < 256; c += 1) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool digit = c >= '0' && c <= '9';
        if (letter || c >= 0xC0) t.classes[c] |= HTML_CHAR_NAME_START | HTML_CHAR_NAME;
        if (digit) t.classes[c] |= HTML_CHAR_NAME;
        if (letter || digit || c == '.') t.classes[c] |= HTML_CHAR_NUMBER;
    }
    for (const char* p = "!()-?[]"; *p; p += 1) t.classes[(u8)*p] |= HTML_CHAR_NAME;
    for (const char* p = "!#$%&()*+,-./:;?@[]\\^_`{}|~"; *p; p += 1) t.classes[(u8)*p] |= HTML_CHAR_SYMBOL_START;
    for (const char* p = "$%&*+-./?^{}|~"; *p; p += 1) t.classes[(u8)*p] |= HTML_CHAR_SYMBOL;
    return t;
}
static constexpr HtmlCharTable html_chars = html_char_table_make();

static constexpr String html_entities[] = {
    SC("&lt;"), SC("&gt;"), SC("&amp;"), SC("&apos;"), SC("&quot;"), SC("&#47;"), SC("&#45;"),
};
static_assert(ARRAY_COUNT(html_entities) == 7, "seven entities are one token each");

// Length of the token that starts at `i` and its kind.
static u64 html_scan_token(String text, u64 i, u32* kind) {
    const u8* s = text.str;
    u64 n = text.size;
    u8 c = s[i];
    u8 cls = html_chars.classes[c];
    u64 j = i + 1;
    if (cls & HTML_CHAR_BLANK) {
        while (j < n && (html_chars.classes[s[j]] & HTML_CHAR_BLANK)) j += 1;
        *kind = HTML_TOKEN_SPACE;
        return j - i;
    }
    if (c == '\n') {
        *kind = HTML_TOKEN_NEWLINE;
        return 1;
    }
    if (c == '<') {
        *kind = HTML_TOKEN_PUNCT;
        return (j < n && s[j] == '/') ? 2 : 1;
    }
    if (c == '/' && j < n && s[j] == '>') {
        *kind = HTML_TOKEN_PUNCT;
        return 2;
    }
    if (c == '=' || c == '>') {
        *kind = HTML_TOKEN_PUNCT;
        return 1;
    }
    if (cls & HTML_CHAR_NAME_START) {
        while (j < n && (html_chars.classes[s[j]] & HTML_CHAR_NAME)) j += 1;
        *kind = HTML_TOKEN_IDENTIFIER;
        return j - i;
    }
    if (char_is_digit(c) || ((c == '.' || c == '-') && j < n && char_is_digit(s[j]))) {
        while (j < n && (html_chars.classes[s[j]] & HTML_CHAR_NUMBER)) j += 1;
        *kind = HTML_TOKEN_NUMBER;
        return j - i;
    }
    if (c == '&') {
        String rest = string_skip(text, i);
        for (String entity : html_entities) {
            if (string_starts_with(rest, entity, 0)) {
                *kind = HTML_TOKEN_ENTITY | HTML_TOKEN_SYMBOL;
                return entity.size;
            }
        }
    }
    if (c == '"' || c == '\'') {
        u32 quoted = c == '"' ? HTML_TOKEN_DOUBLE_QUOTED : HTML_TOKEN_SINGLE_QUOTED;
        while (j < n && s[j] != c && s[j] != '<') j += 1;
        if (j == n) {
            *kind = HTML_TOKEN_STRING | quoted | HTML_TOKEN_BROKEN;
            return j - i;
        }
        if (s[j] == '<') {
            // Cut short: the quote alone; what follows is read as tokens.
            *kind = HTML_TOKEN_STRING | quoted | (c == '"' ? HTML_TOKEN_BROKEN : HTML_TOKEN_SINGLE_QUOTE_CUT);
            return 1;
        }
        *kind = HTML_TOKEN_STRING | quoted;
        return j + 1 - i;
    }
    if (cls & HTML_CHAR_SYMBOL_START) {
        while (j < n && (html_chars.classes[s[j]] & HTML_CHAR_SYMBOL)) j += 1;
        *kind = HTML_TOKEN_SYMBOL;
        return j - i;
    }
    *kind = HTML_TOKEN_OTHER;
    return 1;
}

HtmlTokens html_tokenize(Arena* arena, String text) {
    HtmlTokens result = {};
    if (text.size == 0) return result;
    TokenBuffer<HtmlToken> buffer = token_buffer<HtmlToken>(arena);
    for (u64 i = 0; i < text.size;) {
        u32 kind = 0;
        u64 length = html_scan_token(text, i, &kind);
        token_buffer_push(&buffer, HtmlToken{i, i + length, kind});
        i += length;
    }
    result.tokens = token_buffer_array(&buffer);
    result.count = buffer.count;
    return result;
}

// ---- Parser ----------------------------------------------------------------

struct HtmlFrame {
    HtmlFrame* next;  // the frame below
    u32 state;        // HtmlParseState
    HtmlNode* node;
    String name;            // raw-text frames: the element's name as written
    HtmlNode* saved_open;   // element frames: the open element of the same tag this one hides
};

struct HtmlParser {
    Arena* arena;
    Arena* scratch;
    String text;
    const HtmlToken* tokens;
    u64 count;
    u32 options;
    HtmlFrame* top;
    HtmlFrame* free_frames;
    HtmlDocument document;
    // Auto-structure: the innermost open element of each tag, and whether
    // elements are still being filed under their first allowed parent.
    bool filing;
    HtmlNode* open_by_tag[HTML_TAG_COUNT + 1];
};

static String html_token_text(const HtmlParser* p, u64 index) {
    // Past the last token: an empty slice at the end of the text (never a
    // null pointer, since the text goes into formatted messages).
    if (index >= p->count) return string_skip(p->text, p->text.size);
    return string_substr(p->text, p->tokens[index].begin, p->tokens[index].end);
}

// A punctuation token of one or two bytes.
static bool html_token_is(const HtmlParser* p, u64 index, const char* punct) {
    if (index >= p->count || !(p->tokens[index].kind & HTML_TOKEN_PUNCT)) return false;
    const HtmlToken* t = &p->tokens[index];
    const u8* at = p->text.str + t->begin;
    if (at[0] != (u8)punct[0]) return false;
    return punct[1] ? (t->end - t->begin == 2 && at[1] == (u8)punct[1]) : t->end - t->begin == 1;
}

// "<" or "</".
static bool html_token_opens_tag(const HtmlParser* p, u64 index) {
    return (p->tokens[index].kind & HTML_TOKEN_PUNCT) && p->text.str[p->tokens[index].begin] == '<';
}

static bool html_token_ends_tag(const HtmlParser* p, u64 index) {
    return html_token_is(p, index, ">") || html_token_is(p, index, "/>");
}

// Token class bits carried over into node flags.
static u64 html_flags_from_token(u32 kind) {
    u64 flags = 0;
    if (kind & HTML_TOKEN_NUMBER) flags |= HTML_NODE_FROM_NUMBER;
    if (kind & HTML_TOKEN_IDENTIFIER) flags |= HTML_NODE_FROM_IDENTIFIER;
    if (kind & HTML_TOKEN_STRING) flags |= HTML_NODE_FROM_STRING;
    if (kind & HTML_TOKEN_SYMBOL) flags |= HTML_NODE_FROM_SYMBOL;
    if (kind & HTML_TOKEN_SINGLE_QUOTED) flags |= HTML_NODE_FROM_SINGLE_QUOTED;
    if (kind & HTML_TOKEN_DOUBLE_QUOTED) flags |= HTML_NODE_FROM_DOUBLE_QUOTED;
    return flags;
}

static void html_parse_error(HtmlParser* p, String anchor_text, u64 position, String message) {
    HtmlNode* anchor = html_node_create(p->arena, HTML_NODE_TOKEN, 0, anchor_text, position);
    diag_append(p->arena, &p->document.diagnostics, anchor, DIAG_ERROR, message);
}

static HtmlFrame* html_push_frame(HtmlParser* p, u32 state, HtmlNode* node) {
    HtmlFrame* frame = p->free_frames;
    if (frame) {
        p->free_frames = frame->next;
    } else {
        frame = push_array_no_zero<HtmlFrame>(p->scratch, 1);
    }
    *frame = HtmlFrame{};
    frame->next = p->top;
    frame->state = state;
    frame->node = node;
    p->top = frame;
    if (state == HTML_PARSE_TOP && node->kind == HTML_NODE_ELEMENT) {
        HtmlTag tag = node->element->tag;
        frame->saved_open = p->open_by_tag[tag];
        p->open_by_tag[tag] = node;
    }
    return frame;
}

static void html_pop_frame(HtmlParser* p) {
    HtmlFrame* frame = p->top;
    if (!frame->next) return;  // the document frame stays
    if (frame->state == HTML_PARSE_TOP && frame->node->kind == HTML_NODE_ELEMENT) {
        p->open_by_tag[frame->node->element->tag] = frame->saved_open;
    }
    p->top = frame->next;
    frame->next = p->free_frames;
    p->free_frames = frame;
}

// Where a new element goes: the node of the current frame. With
// auto-structure, an element whose allowed parents do not include the
// element it is written in goes into the innermost open element that is its
// first allowed parent; when that is not open, filing stops.
static HtmlNode* html_element_parent(HtmlParser* p, HtmlNode* element) {
    HtmlNode* here = p->top->node;
    if (!p->filing) return here;
    HtmlNode* enclosing = html_enclosing_element(here);
    String here_name = enclosing ? enclosing->text : S("root");
    bool allowed_here = html_for_each_name(element->element->allowed_parents, [&](String name) {
        return string_match(name, here_name, MATCH_CASE_INSENSITIVE);
    });
    if (allowed_here) return here;
    HtmlTag parent_tag = html_first_allowed_parent(element->element->tag);
    HtmlNode* parent = parent_tag ? p->open_by_tag[parent_tag] : 0;
    if (!parent) {
        p->filing = false;
        return here;
    }
    return html_find_kind(parent, HTML_NODE_CONTENT);
}

// "<" in document level or content: a start tag, or a stray "<".
// Returns the index of the next token to read.
static u64 html_parse_tag_open(HtmlParser* p, u64 i) {
    u64 name_index = i + 1;
    u64 name_begin = 0, name_end = 0;
    bool named = false;
    if (name_index < p->count && (p->tokens[name_index].kind & HTML_TOKEN_SYMBOL) &&
        string_equal(html_token_text(p, name_index), S("!")) && name_index + 1 < p->count &&
        (p->tokens[name_index + 1].kind & HTML_TOKEN_IDENTIFIER)) {
        u64 begin = p->tokens[name_index].begin, end = p->tokens[name_index + 1].end;
        if (string_equal(string_substr(p->text, begin, end), S("!DOCTYPE"))) {
            name_begin = begin;
            name_end = end;
            name_index += 1;
            named = true;
        }
    }
    if (!named && name_index < p->count && (p->tokens[name_index].kind & HTML_TOKEN_IDENTIFIER)) {
        name_begin = p->tokens[name_index].begin;
        name_end = p->tokens[name_index].end;
        named = true;
    }
    if (!named) {
        if (p->options & HTML_PARSE_ESCAPE_STRAY_LT) {
            html_append_child(p->top->node, html_node_create(p->arena, HTML_NODE_CONTENT, 0, S("&lt;"), p->tokens[i].begin));
        } else {
            String next = html_token_text(p, i + 1);
            html_parse_error(
                p, html_token_text(p, i), p->tokens[i].begin,
                string_format(p->arena,
                              "Tag label expected after '<' symbol, was: %.*s. If inside a text, escape it "
                              "with &lt;",
                              STR_ARG(next)));
        }
        return i + 1;
    }

    String name = string_substr(p->text, name_begin, name_end);
    HtmlNode* element =
        html_node_create(p->arena, HTML_NODE_ELEMENT, html_flags_from_token(p->tokens[name_index].kind), name, name_begin);
    html_append_child(html_element_parent(p, element), element);
    html_push_frame(p, HTML_PARSE_TOP, element);
    // The attribute list knows its element but joins it only when the start
    // tag ends.
    HtmlNode* list = html_node_create(p->arena, HTML_NODE_ATTRIBUTE_LIST, 0, String{}, name_begin);
    list->parent = element;
    html_push_frame(p, HTML_PARSE_ATTRIBUTES, list);
    return name_index + 1;
}

static bool html_list_has_name(HtmlNode* list, String name) {
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind == HTML_NODE_ATTRIBUTE && string_match(a->text, name, MATCH_CASE_INSENSITIVE)) return true;
    }
    return false;
}

// Adds the required attributes the tag lacks, then links the attribute
// list and a new content holder to the element. Returns the content holder.
static HtmlNode* html_complete_start_tag(HtmlParser* p, HtmlNode* element, HtmlNode* list) {
    const HtmlElementInfo* row = element->element;

    html_for_each_name(row->required_attributes, [&](String required) {
        if (html_list_has_name(list, required)) return false;
        HtmlNode* attribute = html_node_create(p->arena, HTML_NODE_ATTRIBUTE, 0, required, 0);
        html_append_child(list, attribute);
        if (attribute->attribute->value_type != HTML_VALUE_BOOLEAN) {
            html_append_child(attribute, html_node_create(p->arena, HTML_NODE_ATTRIBUTE_VALUE, 0,
                                                          attribute->attribute->default_value, 0));
        }
        return false;
    });

    html_append_child(element, list);
    HtmlNode* content = html_node_create(p->arena, HTML_NODE_CONTENT, 0, String{}, 0);
    html_append_child(element, content);
    if (!p->document.title && row->tag == HTML_TAG_TITLE) p->document.title = element;
    return content;
}

// ">" or "/>" with the attribute-list frame on top.
static void html_parse_tag_end(HtmlParser* p) {
    HtmlNode* list = p->top->node;
    HtmlNode* element = p->top->next->node;
    const HtmlElementInfo* row = element->element;
    html_pop_frame(p);
    HtmlNode* content = html_complete_start_tag(p, element, list);

    if (row->content_model & HTML_CONTENT_VOID) {
        html_pop_frame(p);
    } else if (row->content_model & HTML_CONTENT_RAW_TEXT) {
        element->flags |= HTML_NODE_RAW_TEXT;
        html_push_frame(p, HTML_PARSE_RAW, content)->name = element->text;
    } else {
        html_push_frame(p, HTML_PARSE_CONTENT, content);
    }
}

// "</" in content. Returns the index of the next token to read.
static u64 html_parse_tag_close(HtmlParser* p, u64 i) {
    HtmlNode* content = p->top->node;
    HtmlNode* element = p->top->next->node;
    // Names compare with A-Z folded, as the element rows do: `<DIV>` ends
    // at `</div>`, and the writer's lower-case names end the same elements
    // when read back.
    String closing = html_token_text(p, i + 1);
    if (!string_match(closing, element->text, MATCH_CASE_INSENSITIVE)) {
        u64 position = i + 1 < p->count ? p->tokens[i + 1].begin : p->tokens[i].end;
        html_parse_error(
            p, closing, position,
            string_format(p->arena,
                          "The tag name \"%.*s\" has no matching closing tag name. You may have an opening "
                          "tag without matching closing one.",
                          STR_ARG(element->text)));
        html_detach(content);
    }
    html_pop_frame(p);
    html_pop_frame(p);
    // "</", the name and the token taken to be ">".
    return MIN(i + 3, p->count);
}

// A text run: every token up to the next "<" or "</", as one text node.
static u64 html_parse_text_run(HtmlParser* p, u64 i) {
    u64 j = i;
    while (j < p->count && !html_token_opens_tag(p, j)) j += 1;
    const HtmlToken* last = &p->tokens[j - 1];
    String run = string_substr(p->text, p->tokens[i].begin, last->end);
    html_append_child(p->top->node,
                      html_node_create(p->arena, HTML_NODE_CONTENT, html_flags_from_token(last->kind), run, last->begin));
    return j;
}

static String html_unquote_value(String value) {
    if (value.size && (value.str[0] == '"' || value.str[0] == '\'')) value = string_skip(value, 1);
    if (value.size && (value.str[value.size - 1] == '"' || value.str[value.size - 1] == '\'')) {
        value = string_chop(value, 1);
    }
    return value;
}

// Auto-structure: the skeleton of a document; content goes into body.
static void html_parse_skeleton(HtmlParser* p) {
    HtmlNode* root = p->document.root;
    HtmlNode* skeleton = html_default_document(p->arena);
    while (!html_is_nil(skeleton->first_child)) html_append_child(root, skeleton->first_child);
    HtmlNode* html = html_find_last_by_tag(root, HTML_TAG_HTML);
    HtmlNode* head = html_find_last_by_tag(root, HTML_TAG_HEAD);
    HtmlNode* body = html_find_last_by_tag(root, HTML_TAG_BODY);
    p->open_by_tag[HTML_TAG_HEAD] = head;
    html_push_frame(p, HTML_PARSE_TOP, html);
    html_push_frame(p, HTML_PARSE_CONTENT, html_find_kind(html, HTML_NODE_CONTENT));
    html_push_frame(p, HTML_PARSE_TOP, body);
    html_push_frame(p, HTML_PARSE_CONTENT, html_find_kind(body, HTML_NODE_CONTENT));
    p->filing = true;
}

HtmlDocument html_parse(Arena* arena, String path, String text, HtmlTokens tokens, u32 options) {
    (void)path;
    Scratch scratch(arena);
    HtmlParser parser = {};
    HtmlParser* p = &parser;
    p->arena = arena;
    p->scratch = scratch.arena;
    p->text = text;
    p->tokens = tokens.tokens;
    p->count = tokens.count;
    p->options = options;
    p->document.options = options;
    p->document.root = html_node_create(arena, HTML_NODE_DOCUMENT, 0, text, 0);
    html_push_frame(p, HTML_PARSE_TOP, p->document.root);
    if (options & HTML_PARSE_AUTO_STRUCTURE) html_parse_skeleton(p);

    u64 i = 0;
    while (i < p->count) {
        const HtmlToken* token = &p->tokens[i];
        HtmlFrame* frame = p->top;
        bool blank = token->kind & (HTML_TOKEN_SPACE | HTML_TOKEN_NEWLINE);
        if (blank && frame->state != HTML_PARSE_CONTENT && frame->state != HTML_PARSE_RAW) {
            i += 1;
            continue;
        }
        switch (frame->state) {
            case HTML_PARSE_TOP:
            case HTML_PARSE_CONTENT: {
                if (html_token_is(p, i, "<")) {
                    i = html_parse_tag_open(p, i);
                } else if (frame->state == HTML_PARSE_CONTENT && html_token_is(p, i, "</")) {
                    i = html_parse_tag_close(p, i);
                } else if (frame->state == HTML_PARSE_CONTENT) {
                    i = html_parse_text_run(p, i);
                } else {
                    String t = html_token_text(p, i);
                    html_parse_error(p, t, token->begin,
                                     string_format(arena, "Unexpected \"%.*s\" token.", STR_ARG(t)));
                    i += 1;
                }
            } break;

            case HTML_PARSE_ATTRIBUTES: {
                if (token->kind & HTML_TOKEN_IDENTIFIER) {
                    HtmlNode* element = frame->next->node;
                    HtmlNode* attribute = html_node_create(arena, HTML_NODE_ATTRIBUTE, html_flags_from_token(token->kind),
                                                           html_token_text(p, i), token->begin);
                    html_append_child(frame->node, attribute);
                    if (attribute->attribute->value_type == HTML_VALUE_URL) element->flags |= HTML_NODE_HAS_URL;
                    html_push_frame(p, HTML_PARSE_AFTER_NAME, attribute);
                } else if (html_token_ends_tag(p, i)) {
                    html_parse_tag_end(p);
                } else {
                    String t = html_token_text(p, i);
                    html_parse_error(p, t, token->begin,
                                     string_format(arena, "Unexpected \"%.*s\" token.", STR_ARG(t)));
                }
                i += 1;
            } break;

            case HTML_PARSE_AFTER_NAME: {
                if (html_token_is(p, i, "=")) {
                    frame->state = HTML_PARSE_VALUE;
                    i += 1;
                } else {
                    // No value: the same token is read again inside the tag.
                    HtmlNode* attribute = frame->node;
                    html_pop_frame(p);
                    if (html_token_ends_tag(p, i) && attribute->attribute->value_type != HTML_VALUE_BOOLEAN) {
                        html_parse_error(p, html_token_text(p, i), token->begin,
                                         string_format(arena, "%.*s's value was a boolean flag but shouldn't ",
                                                       STR_ARG(attribute->text)));
                    }
                }
            } break;

            case HTML_PARSE_VALUE: {
                HtmlNode* attribute = frame->node;
                if (token->kind & HTML_TOKEN_BROKEN) {
                    html_parse_error(
                        p, html_token_text(p, i), token->begin,
                        string_format(arena, "%.*s's Attribute value has string broken.", STR_ARG(attribute->text)));
                } else {
                    String value = html_unquote_value(html_token_text(p, i));
                    html_append_child(attribute, html_node_create(arena, HTML_NODE_ATTRIBUTE_VALUE,
                                                                  html_flags_from_token(token->kind), value, token->begin));
                }
                html_pop_frame(p);
                i += 1;
            } break;

            case HTML_PARSE_RAW: {
                if (html_token_is(p, i, "</") &&
                    string_match(html_token_text(p, i + 1), frame->name, MATCH_CASE_INSENSITIVE)) {
                    frame->state = HTML_PARSE_CONTENT;  // closed by the content rule
                } else {
                    html_append_child(frame->node, html_node_create(arena, HTML_NODE_CONTENT,
                                                                    html_flags_from_token(token->kind),
                                                                    html_token_text(p, i), token->begin));
                    i += 1;
                }
            } break;
        }
    }

    // A start tag cut off by the end of the text is completed as if it had
    // ended there, so the element keeps the attributes read and the tree
    // stays whole.
    for (HtmlFrame* frame = p->top; frame; frame = frame->next) {
        if (frame->state == HTML_PARSE_ATTRIBUTES && frame->next) {
            html_complete_start_tag(p, frame->next->node, frame->node);
            break;
        }
    }

    p->document.ok = p->document.diagnostics.count == 0 ? 1 : 0;
    return p->document;
}

HtmlDocument html_read_template(Arena* arena, String text, String path, u32 options) {
    HtmlDocument document = {};
    if (text.size == 0) return document;
    if (!path.str) path = S("");
    {
        Scratch scratch(arena);
        HtmlTokens tokens = html_tokenize(scratch.arena, text);
        document = html_parse(arena, path, text, tokens, options);
    }
    if (options & HTML_PARSE_VALIDATE) html_validate_structure(arena, &document);
    if (options & HTML_PARSE_CHECK_URLS) html_collect_links(arena, &document);
    if (!(options & HTML_PARSE_QUIET)) {
        diag_print_list(&document.diagnostics, path, document.root->text);
        s32 highest = document.diagnostics.max_level;
        document.diagnostics = DiagnosticList{};
        document.ok = highest <= DIAG_ERROR ? 1 : 0;
    }
    return document;
}
