#include "kav/kav_hints.h"

#include "kav/kav_metadata.h"
#include "base/url.h"

// The kinds of the token scan: at most one of each per line.
enum HintKind : u32 {
    HINT_TAB_INDENT,
    HINT_BULLET,
    HINT_HASH_HEADING,
    HINT_MARKDOWN_LINK,
    HINT_TABLE_ROW,
    HINT_FENCE,
    HINT_BARE_URL,
    HINT_UNROOTED_PATH,
    HINT_MARKDOWN_BOLD,
};

// Suggestions quote the author's own text up to this many bytes; longer
// texts get the general form instead.
static constexpr u64 kLongestQuoted = 200;

static constexpr u64 kNone = ~(u64)0;

// ---- The token scan ------------------------------------------------------------------
// One pass over the tokens that follows the parser's verbatim stretches (code
// blocks, inline code, embedded HTML, comment, separator and rule lines), so
// that nothing written inside them is taken for a slip.

enum ScanState : u32 {
    SCAN_TEXT,
    SCAN_CODE_BLOCK,   // up to three backquotes
    SCAN_INLINE_CODE,  // up to a backquote, over line ends
    SCAN_HTML,         // up to "}~", over line ends
};

struct HintScan {
    Arena* arena;
    String source;
    const KavToken* t;       // the tokens, or null when they are windowed
    KavTokenWindow* window;  // read through tok()
    u64 count;
    DiagnosticList hints;
    u32 line_kinds;          // bits (1 << HintKind) of the hints given on the current line
    u64 open_bracket;        // token index of the line's last unescaped "[", or kNone
    u64 url_scan_end;        // bare URLs are looked for from this offset on
    const KavNodeCell* url;  // next URL word of the parse, in source order
};

static inline KavToken tok(HintScan* s, u64 k) { return s->window ? kav_token_window_at(s->window, k) : s->t[k]; }

static u32 kind_at(HintScan* s, u64 k) { return k < s->count ? tok(s, k).kind : 0; }

static String text_at(HintScan* s, u64 k) {
    return k < s->count ? string_substr(s->source, tok(s, k).begin, tok(s, k).end) : String{};
}

static bool byte_token(HintScan* s, u64 k, u32 kind, u8 c) {
    return (kind_at(s, k) & kind) && tok(s, k).end - tok(s, k).begin == 1 && s->source.str[tok(s, k).begin] == c;
}
static bool is_symbol(HintScan* s, u64 k, u8 c) { return byte_token(s, k, KAV_TOKEN_SYMBOL, c); }

// Something other than blank follows on the line from token k on.
static bool content_at(HintScan* s, u64 k) {
    if (kind_at(s, k) & KAV_TOKEN_WHITESPACE) k += 1;
    return k < s->count && !(tok(s, k).kind & KAV_TOKEN_NEWLINE);
}

static u64 line_end(HintScan* s, u64 k) {
    while (k < s->count && !(tok(s, k).kind & KAV_TOKEN_NEWLINE)) k += 1;
    return k;
}

static bool can_hint(HintScan* s, u32 kind) { return !(s->line_kinds & (1u << kind)); }

static void hint(HintScan* s, u32 kind, u64 offset, String message) {
    s->line_kinds |= 1u << kind;
    diag_append_at(s->arena, &s->hints, 0, offset, DIAG_WARNING, message);
}

// Whitespace token k indents what follows it: a tab in it counts as one
// blank, which is rarely what its author meant.
static u64 skip_indent(HintScan* s, u64 k) {
    if (!(kind_at(s, k) & KAV_TOKEN_WHITESPACE)) return k;
    if (content_at(s, k + 1) && can_hint(s, HINT_TAB_INDENT)) {
        String blank = text_at(s, k);
        u64 tab = string_find_byte(blank, '\t', 0);
        if (tab < blank.size) {
            hint(s, HINT_TAB_INDENT, tok(s, k).begin + tab,
                 S("tab in indentation counts as one blank, and a level is two blanks; indent with spaces"));
        }
    }
    return k + 1;
}

static bool is_quote_marker(HintScan* s, u64 k) {
    return byte_token(s, k, KAV_TOKEN_MARKUP, '>') || byte_token(s, k, KAV_TOKEN_MARKUP, '<');
}

static bool is_dash(HintScan* s, u64 k) {
    return (kind_at(s, k) & KAV_TOKEN_TRIPLE_DASH) || byte_token(s, k, KAV_TOKEN_MARKUP, '-');
}

// A line of dash cells between pipes as Markdown writes the row under a
// table's header ("|---|---|", "| :-- | --: |"). KAV's own rule lines put
// "---" right after each pipe and a blank or the line end after it
// ("|---", "|---|", "|---   |---"); those are left alone.
static void table_row(HintScan* s, u64 lead) {
    u64 k = lead;
    u64 cells = 0;
    bool markdown = false;
    bool joined = false;  // the last dash cell ran straight into a pipe
    while (k < s->count && !(tok(s, k).kind & KAV_TOKEN_NEWLINE)) {
        if (!(tok(s, k).kind & KAV_TOKEN_PIPE)) return;
        k += 1;
        bool gap = (kind_at(s, k) & KAV_TOKEN_WHITESPACE) != 0;
        if (gap) k += 1;
        bool colon = is_symbol(s, k, ':');
        if (colon) k += 1;
        u64 dashes = 0;
        while (is_dash(s, k)) {
            dashes += 1;
            k += 1;
        }
        if (is_symbol(s, k, ':')) {
            colon = true;
            k += 1;
        }
        if (dashes == 0) {
            // Only the end of the line may follow a closing pipe.
            if (colon || (k < s->count && !(tok(s, k).kind & KAV_TOKEN_NEWLINE))) return;
            break;
        }
        if (colon || gap || joined) markdown = true;
        cells += 1;
        joined = (kind_at(s, k) & KAV_TOKEN_PIPE) != 0;
        if (kind_at(s, k) & KAV_TOKEN_WHITESPACE) k += 1;
    }
    if (cells == 0 || !markdown) return;
    hint(s, HINT_TABLE_ROW, tok(s, lead).begin,
         S("Markdown table row; a KAV table opens with a '|---' line above its header, and '|---' goes before "
           "each body row"));
}

// The first tokens of a line outside verbatim text: indentation, quote
// markers, and the line-start habits. Returns the token to go on from.
static u64 line_lead(HintScan* s, u64 k, u32* state) {
    u64 lead = skip_indent(s, k);
    while (is_quote_marker(s, lead)) lead = skip_indent(s, lead + 1);
    u32 kind = kind_at(s, lead);
    if (lead >= s->count || (kind & KAV_TOKEN_NEWLINE)) return lead;
    u64 at = tok(s, lead).begin;
    // Comments and separators show nothing of the rest of their line.
    if (kind & (KAV_TOKEN_DOUBLE_SLASH | KAV_TOKEN_TRIPLE_DASH)) return line_end(s, lead);
    if (kind & KAV_TOKEN_PIPE) {
        table_row(s, lead);
        // The rest of a rule line is not read.
        return (kind_at(s, lead + 1) & KAV_TOKEN_TRIPLE_DASH) ? line_end(s, lead) : lead;
    }
    if (kind & KAV_TOKEN_TRIPLE_BACKTICK) {
        // Quoted or not, three backquotes open a code block.
        if (kind_at(s, lead + 1) & (KAV_TOKEN_BACKTICK | KAV_TOKEN_DOUBLE_BACKTICK | KAV_TOKEN_TRIPLE_BACKTICK)) {
            hint(s, HINT_FENCE, at,
                 S("a code fence is three backquotes; past the third, the closing fence opens inline code"));
        }
        // The rest of the opening line is not content.
        *state = SCAN_CODE_BLOCK;
        return line_end(s, lead);
    }
    bool dash = byte_token(s, lead, KAV_TOKEN_MARKUP, '-');
    if ((dash || is_symbol(s, lead, '*')) && (kind_at(s, lead + 1) & KAV_TOKEN_WHITESPACE) && content_at(s, lead + 1)) {
        hint(s, HINT_BULLET, at,
             dash ? S("'- ' makes no list item in KAV; a bullet item is written '. item'")
                  : S("'* ' makes no list item in KAV; a bullet item is written '. item'"));
        return lead;
    }
    if (is_symbol(s, lead, '#')) {
        u64 j = lead;
        while (is_symbol(s, j, '#')) j += 1;
        if ((kind_at(s, j) & KAV_TOKEN_WHITESPACE) && content_at(s, j)) {
            hint(s, HINT_HASH_HEADING, at,
                 S("'#' makes no heading in KAV; a line at the left margin is a heading, and its indentation "
                   "gives its level"));
        }
        return lead;
    }
    if (is_symbol(s, lead, '~') && is_symbol(s, lead + 1, '~') && is_symbol(s, lead + 2, '~')) {
        hint(s, HINT_FENCE, at, S("'~~~' opens no code block in KAV; fence code with three backquotes (```)"));
    }
    return lead;
}

// "](" closes a Markdown link ("[text](url)") or image ("![alt](src)").
static void markdown_link(HintScan* s, u64 k) {
    u64 open = s->open_bracket;
    s->open_bracket = kNone;
    if (open == kNone || !is_symbol(s, k + 1, '(') || !can_hint(s, HINT_MARKDOWN_LINK)) return;
    // KAV's own bracket constructs: checkboxes, notes and link numbers.
    bool image = open > 0 && is_symbol(s, open - 1, '!');
    u64 first = open + 1;
    if (kind_at(s, first) & KAV_TOKEN_WHITESPACE) first += 1;
    u64 after = (kind_at(s, first + 1) & KAV_TOKEN_WHITESPACE) ? first + 2 : first + 1;
    bool box = first == k || ((byte_token(s, first, KAV_TOKEN_WORD, 'x') || byte_token(s, first, KAV_TOKEN_WORD, 'X')) &&
                              after == k);
    if (box && !image) return;
    if ((is_symbol(s, first, '*') || is_symbol(s, first, '#')) && (kind_at(s, first + 1) & KAV_TOKEN_NUMBER)) return;

    u64 close = k + 2;
    while (close < s->count && !(tok(s, close).kind & KAV_TOKEN_NEWLINE) && !is_symbol(s, close, ')')) close += 1;
    bool closed = is_symbol(s, close, ')');
    String text = string_trim_whitespace(string_substr(s->source, tok(s, open).end, tok(s, k).begin));
    String target = closed ? string_trim_whitespace(string_substr(s->source, tok(s, k + 1).end, tok(s, close).begin))
                           : String{};
    // A Markdown title after the target ("url "title"") is dropped.
    target = string_prefix(target, string_find_byte(target, ' ', 0));
    bool quotable = target.size && target.size <= kLongestQuoted && text.size <= kLongestQuoted &&
                    string_find_byte(target, '"', 0) == target.size && string_find_byte(text, '"', 0) == text.size &&
                    (target.str[0] == '/' || url_is_external(url_split(target)));
    u64 at = image ? tok(s, open - 1).begin : tok(s, open).begin;
    String message;
    if (image) {
        message = !quotable   ? S("Markdown image; in KAV an image is written [_\"/img/a.png\"(\"alt text\")]")
                  : text.size ? string_format(s->arena, "Markdown image; in KAV write [_\"%.*s\"(\"%.*s\")]",
                                              STR_ARG(target), STR_ARG(text))
                              : string_format(s->arena, "Markdown image; in KAV write [_\"%.*s\"]", STR_ARG(target));
    } else {
        message = !quotable ? S("Markdown link; in KAV a link is its quoted URL with the text after it: "
                                "\"https://example.com\"(text)")
                            : string_format(s->arena, "Markdown link; in KAV write \"%.*s\"(%.*s)", STR_ARG(target),
                                            STR_ARG(text));
    }
    hint(s, HINT_MARKDOWN_LINK, at, message);
    // The URLs of the line's other Markdown links would each be hinted too.
    s->line_kinds |= 1u << HINT_BARE_URL;
}

// "**" before a word, closed by "**" after one later on the line: Markdown
// bold, which KAV shows as written, stars and all. One look per line at
// most, so a line of stars stays linear.
static void markdown_bold(HintScan* s, u64 k) {
    if (!can_hint(s, HINT_MARKDOWN_BOLD)) return;
    // An opening pair stands after no word ("2**3" is a power) and before one.
    u32 blank = KAV_TOKEN_WHITESPACE | KAV_TOKEN_NEWLINE;
    if (k > 0 && (tok(s, k - 1).kind & (KAV_TOKEN_WORD | KAV_TOKEN_NUMBER))) return;
    if (k + 2 >= s->count || (tok(s, k + 2).kind & blank) || is_symbol(s, k + 2, '*')) return;
    s->line_kinds |= 1u << HINT_MARKDOWN_BOLD;
    u64 close = k + 3;
    while (close + 1 < s->count && !(tok(s, close).kind & KAV_TOKEN_NEWLINE) &&
           !(is_symbol(s, close, '*') && is_symbol(s, close + 1, '*') && !(tok(s, close - 1).kind & blank) &&
             !(tok(s, close - 1).kind & KAV_TOKEN_ESCAPE))) {
        close += 1;
    }
    if (close + 1 >= s->count || !is_symbol(s, close, '*')) return;
    String text = string_substr(s->source, tok(s, k + 2).begin, tok(s, close).begin);
    String message = text.size <= kLongestQuoted && string_find_byte(text, '_', 0) == text.size
                         ? string_format(s->arena, "Markdown bold; in KAV write _%.*s_", STR_ARG(text))
                         : S("Markdown bold; in KAV strong text is written between single underscores: _like this_");
    diag_append_at(s->arena, &s->hints, 0, tok(s, k).begin, DIAG_WARNING, message);
}

// Tokens that end a URL written without quotes.
static bool ends_url(HintScan* s, u64 k) {
    const u32 stops = KAV_TOKEN_WHITESPACE | KAV_TOKEN_NEWLINE | KAV_TOKEN_STRING | KAV_TOKEN_PIPE | KAV_TOKEN_ESCAPE |
                      KAV_TOKEN_OPEN_BRACKET | KAV_TOKEN_CLOSE_BRACKET | KAV_TOKEN_BACKTICK | KAV_TOKEN_DOUBLE_BACKTICK |
                      KAV_TOKEN_TRIPLE_BACKTICK | KAV_TOKEN_OPEN_TILDE | KAV_TOKEN_CLOSE_TILDE;
    return (tok(s, k).kind & stops) || is_quote_marker(s, k);
}

// Sentence punctuation after a URL, and a ")" that closes a parenthesis
// opened before the URL, are not part of it.
static String url_without_punctuation(String url) {
    s64 open = 0;
    for (u64 i = 0; i < url.size; i += 1) open += url.str[i] == '(' ? 1 : url.str[i] == ')' ? -1 : 0;
    while (url.size) {
        u8 c = url.str[url.size - 1];
        if (c == ')' && open < 0) {
            open += 1;
        } else if (!(c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?' || c == '\'')) {
            break;
        }
        url.size -= 1;
    }
    return url;
}

// A word followed by "://": the tokens up to the next blank are a URL that
// the page shows as text, unless it is quoted.
static void bare_url(HintScan* s, u64 k) {
    if (!is_symbol(s, k + 1, ':') || !(kind_at(s, k + 2) & KAV_TOKEN_DOUBLE_SLASH)) return;
    u64 begin = tok(s, k).begin;
    if (begin < s->url_scan_end || !can_hint(s, HINT_BARE_URL)) return;
    // Output paths take URLs without quotes: the parser lists those.
    while (s->url && s->url->node->offset < begin) s->url = s->url->next;
    if (s->url && s->url->node->offset == begin) return;
    u64 j = k;
    while (j < s->count && !ends_url(s, j)) j += 1;
    u64 end = j < s->count ? tok(s, j).begin : s->source.size;
    s->url_scan_end = end;
    String url = url_without_punctuation(string_substr(s->source, begin, end));
    if (!url_is_external(url_split(url))) return;
    String message =
        url.size <= kLongestQuoted
            ? string_format(s->arena, "URL without quotes is plain text, not a link; write \"%.*s\"", STR_ARG(url))
            : S("URL without quotes is plain text, not a link; write it in double quotes");
    hint(s, HINT_BARE_URL, begin, message);
}

// A quoted text is a link only when it is an external URL or starts with
// "/" (or a drive letter); anything else is shown as plain text, with the
// description after it as written and an image's brackets dropped. A quoted
// text that reads like a path or an address, right before "(" or as an
// image's source, was meant as one.
static void unrooted_path(HintScan* s, u64 k) {
    u32 kind = tok(s, k).kind;
    if (kind & (KAV_TOKEN_UNTERMINATED | KAV_TOKEN_HAS_SPACE)) return;
    String token = text_at(s, k);
    if (token.size < 3) return;
    String inner = {token.str + 1, token.size - 2};
    bool image = k >= 2 && byte_token(s, k - 1, KAV_TOKEN_MARKUP, '_') && (kind_at(s, k - 2) & KAV_TOKEN_OPEN_BRACKET);
    bool described = is_symbol(s, k + 1, '(');
    if (!image && !described) return;
    if (string_find_byte(inner, '/', 0) == inner.size && string_find_byte(inner, '.', 0) == inner.size) return;
    // Rooted paths are links; a text with a colon is a URL of some scheme
    // (or a drive letter), which this hint cannot mend.
    if (inner.str[0] == '/' || string_find_byte(inner, ':', 0) < inner.size || !can_hint(s, HINT_UNROOTED_PATH)) return;

    bool web = string_starts_with(inner, S("www."), MATCH_CASE_INSENSITIVE);
    String path = string_starts_with(inner, S("./"), 0) ? String{inner.str + 2, inner.size - 2} : inner;
    String message;
    if (inner.size > kLongestQuoted || string_starts_with(inner, S("../"), 0)) {
        message = S("quoted text before '(' or in [_ ] is plain text unless it starts with '/' (a path of the site) "
                    "or a scheme such as https://");
    } else if (web) {
        message = string_format(s->arena,
                                "'%.*s' is plain text, not a link: a web address starts with https://; write "
                                "\"https://%.*s\"",
                                STR_ARG(inner), STR_ARG(inner));
    } else if (image) {
        message = string_format(s->arena,
                                "'%.*s' is plain text, not an image: a path of the site starts with '/'; write "
                                "[_\"/%.*s\"]",
                                STR_ARG(inner), STR_ARG(path));
    } else {
        message = string_format(s->arena,
                                "'%.*s' is plain text, not a link: a path of the site starts with '/'; write "
                                "\"/%.*s\"",
                                STR_ARG(inner), STR_ARG(path));
    }
    hint(s, HINT_UNROOTED_PATH, tok(s, k).begin, message);
}

// Tokens that matter in text outside verbatim stretches.
static constexpr u32 kTextSigns = KAV_TOKEN_ESCAPE | KAV_TOKEN_BACKTICK | KAV_TOKEN_OPEN_TILDE | KAV_TOKEN_OPEN_BRACKET |
                                  KAV_TOKEN_CLOSE_BRACKET | KAV_TOKEN_WORD;

static void scan_tokens(HintScan* s) {
    u32 state = SCAN_TEXT;
    bool escaped = false;  // the token follows a "\" of the text
    bool line_start = true;
    u64 k = 0;
    while (k < s->count) {
        if (line_start) {
            line_start = false;
            s->line_kinds = 0;
            s->open_bracket = kNone;
            escaped = false;
            if (state == SCAN_TEXT) {
                k = line_lead(s, k, &state);
                continue;
            }
        }
        u32 kind = tok(s, k).kind;
        if (kind & KAV_TOKEN_NEWLINE) {
            line_start = true;
            k += 1;
            continue;
        }
        switch (state) {
            case SCAN_CODE_BLOCK:
                if ((kind & KAV_TOKEN_TRIPLE_BACKTICK) && !(kind & KAV_TOKEN_ESCAPED)) state = SCAN_TEXT;
                break;
            case SCAN_INLINE_CODE:
                if ((kind & KAV_TOKEN_BACKTICK) && !(kind & KAV_TOKEN_ESCAPED)) state = SCAN_TEXT;
                break;
            case SCAN_HTML:
                if ((kind & KAV_TOKEN_CLOSE_TILDE) && !(kind & KAV_TOKEN_ESCAPED)) state = SCAN_TEXT;
                break;
            default:
                if (escaped) {
                    escaped = false;  // "\\" is one backslash, written as text
                } else if (kind & KAV_TOKEN_STRING) {
                    unrooted_path(s, k);
                } else if (is_symbol(s, k, '*') && is_symbol(s, k + 1, '*')) {
                    markdown_bold(s, k);
                    k += 1;
                } else if (!(kind & kTextSigns)) {
                    // Most tokens: words of prose, blanks, punctuation.
                } else if (kind & KAV_TOKEN_ESCAPE) {
                    escaped = true;
                } else if (kind & KAV_TOKEN_BACKTICK) {
                    state = SCAN_INLINE_CODE;
                } else if (kind & KAV_TOKEN_OPEN_TILDE) {
                    state = SCAN_HTML;
                } else if (kind & KAV_TOKEN_OPEN_BRACKET) {
                    s->open_bracket = k;
                } else if (kind & KAV_TOKEN_CLOSE_BRACKET) {
                    markdown_link(s, k);
                } else if (k + 2 < s->count && (tok(s, k + 1).kind & KAV_TOKEN_SYMBOL) &&
                           (tok(s, k + 2).kind & KAV_TOKEN_DOUBLE_SLASH)) {
                    bare_url(s, k);  // a word followed by ":" and "//"
                }
                break;
        }
        k += 1;
    }
}

// ---- The header --------------------------------------------------------------------------

// The text before the colon of a line that reads like "key: value" (a letter,
// then letters, digits, "_", "-" or blanks), without trailing blanks; empty
// when the line does not read so.
static String key_candidate(String source, u64 offset) {
    constexpr u64 kLongest = 32;  // longer than any key and its likely slips
    if (offset >= source.size || !char_is_alpha(source.str[offset])) return String{};
    u64 k = offset;
    while (k < source.size && k - offset <= kLongest) {
        u8 c = source.str[k];
        if (!(char_is_alpha(c) || char_is_digit(c) || c == '_' || c == '-' || c == ' ' || c == '\t')) break;
        k += 1;
    }
    if (k >= source.size || source.str[k] != ':') return String{};
    u64 end = k;
    while (end > offset && (source.str[end - 1] == ' ' || source.str[end - 1] == '\t')) end -= 1;
    return string_substr(source, offset, end);
}

struct HeaderFacts {
    const KavNode* output_key;  // first "output_path" line of a header, or null
    bool output_key_has_path;   // some "output_path" line names something other than a URL
    bool output_key_named;      // a misspelled key was taken for "output_path"
};

// Lines of a header (a toggle block at the top level) whose key is near one
// of the metadata keys, and what its "output_path" lines hold.
static void header_keys(HintScan* s, const KavNode* header, DiagnosticList* out, HeaderFacts* facts) {
    String names[KAV_META_KEY_COUNT];
    for (u64 i = 0; i < KAV_META_KEY_COUNT; i += 1) names[i] = kav_meta_keys[i].key;
    u64 free_from = 0;  // the line of the last hint ends here: one hint per line
    // Key lines stand directly in the header or under its headings: the walk
    // goes down into headings only.
    const KavNode* node = header->first;
    while (!kav_node_is_nil(node)) {
        if (node->kind == KAV_NODE_RESERVED_CONTEXT_KEYWORD && node->entry && node->entry->id == KAV_KEY_OUTPUT_PATH) {
            if (!facts->output_key) facts->output_key = node;
            for (const KavNode* w = node->first; !kav_node_is_nil(w); w = w->next) {
                if (!(w->flags & KAV_FLAG_URL)) facts->output_key_has_path = true;
            }
        }
        if ((node->kind == KAV_NODE_HEADING || node->kind == KAV_NODE_PARAGRAPH) && node->offset >= free_from) {
            String key = key_candidate(s->source, node->offset);
            u64 nearest = key.size ? string_nearest_name(key, names, KAV_META_KEY_COUNT) : KAV_META_KEY_COUNT;
            if (nearest < KAV_META_KEY_COUNT && !string_match(key, names[nearest], MATCH_CASE_INSENSITIVE)) {
                String message = string_format(s->arena, "unknown header key '%.*s'; did you mean '%.*s'?",
                                               STR_ARG(key), STR_ARG(names[nearest]));
                diag_append_at(s->arena, out, 0, node->offset, DIAG_WARNING, message);
                if (kav_meta_keys[nearest].id == KAV_KEY_OUTPUT_PATH) facts->output_key_named = true;
                free_from = node->offset + string_find_byte(string_skip(s->source, node->offset), '\n', 0);
            }
        }
        if (node->kind == KAV_NODE_HEADING && !kav_node_is_nil(node->first)) {
            node = node->first;
            continue;
        }
        while (node != header && kav_node_is_nil(node->next)) node = node->parent;
        if (node == header) break;
        node = node->next;
    }
}

// Misspelled header keys, and one hint when the document writes no page:
// no header, no "output_path" line, none that names a page, or no page
// ending in ".html". Drafts publish nothing on purpose.
static DiagnosticList header_hints(HintScan* s, const KavParseResult* result) {
    DiagnosticList out = {};
    HeaderFacts facts = {};
    for (const KavNode* node = result->root->first; !kav_node_is_nil(node); node = node->next) {
        if (node->kind == KAV_NODE_CONTEXT_DOCUMENT) header_keys(s, node, &out, &facts);
    }
    if (string_match(result->status, S("draft"), MATCH_CASE_INSENSITIVE) || facts.output_key_named) return out;
    for (const StringNode* page = result->output_paths.first; page; page = page->next) {
        if (string_equal(path_extension(page->string), S("html"))) return out;
    }
    const KavNode* header = result->document_context;
    DiagnosticList none = {};
    if (result->output_paths.node_count) {
        u64 at = facts.output_key ? facts.output_key->offset : kav_node_is_nil(header) ? 0 : header->offset;
        diag_append_at(s->arena, &none, 0, at, DIAG_WARNING,
                       S("no output_path ends in .html, so this document publishes no page"));
    } else if (kav_node_is_nil(header)) {
        diag_append_at(s->arena, &none, 0, 0, DIAG_WARNING,
                       S("no header, so this document publishes no page; start it with a `` block that holds "
                         "'output_path: <page>.html'"));
    } else if (!facts.output_key) {
        diag_append_at(s->arena, &none, 0, header->offset, DIAG_WARNING,
                       S("the header has no output_path line, so this document publishes no page"));
    } else if (!facts.output_key_has_path) {
        diag_append_at(s->arena, &none, 0, facts.output_key->offset, DIAG_WARNING,
                       S("output_path names no page, so this document publishes no page"));
    }
    // Otherwise the line names only empty paths (""): no hint for that.
    diag_merge(&out, &none);
    return out;
}

// ---- Image descriptions ---------------------------------------------------------------
// In an image's description a word is the alternative text only when quoted
// and a size only as two numbers around an "x" ("300x200"); any other word
// leaves no trace in the page, so an unquoted alt text is lost without a
// word.

static bool is_size_word(String word) {
    u64 x = kNone;
    for (u64 i = 0; i < word.size; i += 1) {
        u8 c = word.str[i];
        if (c == 'x' || c == 'X') {
            if (x != kNone) return false;
            x = i;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return x != kNone && x > 0 && x + 1 < word.size;
}

static void image_description_hint(HintScan* s, const KavNode* image, DiagnosticList* out) {
    const KavNode* desc = image->first;
    if (kav_node_is_nil(desc) || desc->kind != KAV_NODE_DESC) return;
    Scratch scratch(s->arena);
    StringList lost = {};
    for (const KavNode* w = desc->first; !kav_node_is_nil(w); w = w->next) {
        if (w->kind != KAV_NODE_WORD || (w->flags & KAV_FLAG_TEXT) || is_size_word(w->text)) continue;
        string_list_push(scratch.arena, &lost, w->text);
    }
    if (lost.node_count == 0) return;
    StringJoin join = {String{}, S(" "), String{}};
    String words = string_list_join(scratch.arena, &lost, &join);
    bool quotable = words.size <= kLongestQuoted && string_find_byte(words, '"', 0) == words.size;
    String message = quotable ? string_format(s->arena,
                                              "image description '%.*s' is neither quoted alt text nor a size "
                                              "such as 300x200; alt text is written (\"%.*s\")",
                                              STR_ARG(words), STR_ARG(words))
                              : S("image description words are neither quoted alt text nor a size such as 300x200; "
                                  "alt text is written (\"alt text\")");
    // At the image itself: images come in source order, and a description
    // may hold another image, whose words come before some of its own.
    diag_append_at(s->arena, out, 0, image->offset, DIAG_WARNING, message);
}

// Images are words of the file and URL lists; both are in source order, and
// so are the hints.
static DiagnosticList image_hints(HintScan* s, const KavParseResult* result) {
    DiagnosticList out = {};
    const KavNodeCell* file = result->file_paths.first;
    const KavNodeCell* url = result->urls.first;
    while (file || url) {
        const KavNodeCell** next = !url || (file && file->node->offset <= url->node->offset) ? &file : &url;
        const KavNode* word = (*next)->node;
        *next = (*next)->next;
        if (word->flags & KAV_FLAG_IMAGE) image_description_hint(s, word, &out);
    }
    return out;
}

// ---- Words taken for list markers ---------------------------------------------------------
// A word and a full stop at the start of a line mark a lettered list item,
// and a page shows the item with a letter of its own: "Welcome. Read on"
// loses "Welcome". A single letter is a marker as meant; the parser lists
// the lists whose marker is longer (only a first item can have one).

static DiagnosticList marker_word_hints(HintScan* s, const KavParseResult* result) {
    DiagnosticList out = {};
    for (const KavNodeCell* cell = result->word_markers.first; cell; cell = cell->next) {
        const KavNode* list = cell->node;
        String message = list->text.size <= kLongestQuoted
                             ? string_format(s->arena,
                                             "'%.*s.' at the start of a line marks a lettered list item and is not "
                                             "shown; for a sentence write '%.*s\\.'",
                                             STR_ARG(list->text), STR_ARG(list->text))
                             : S("a word and a full stop at the start of a line mark a lettered list item, and the "
                                 "word is not shown; for a sentence escape the full stop");
        diag_append_at(s->arena, &out, 0, list->offset, DIAG_WARNING, message);
    }
    return out;
}

// ---- Entry ------------------------------------------------------------------------------------

DiagnosticList kav_hints(Arena* arena, String source, const KavTokens* tokens, const KavParseResult* result) {
    if (!result || kav_node_is_nil(result->root)) return DiagnosticList{};
    HintScan scan = {};
    scan.arena = arena;
    scan.source = source;
    scan.t = tokens->tokens;
    scan.window = tokens->window;
    scan.count = tokens->count;
    scan.open_bracket = kNone;
    scan.url = result->urls.first;
    scan_tokens(&scan);
    DiagnosticList hints = header_hints(&scan, result);
    // The token scan may give a line's hints out of order (a Markdown link
    // is named at its "[" once its "](" is met).
    diag_sort(&scan.hints);
    diag_merge(&hints, &scan.hints);
    DiagnosticList images = image_hints(&scan, result);
    diag_merge(&hints, &images);
    DiagnosticList markers = marker_word_hints(&scan, result);
    diag_merge(&hints, &markers);
    return hints;
}
