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
    KavTokenWindow* window;  // read through the passes' tok()
    u64 count;
    DiagnosticList hints;
    u32 line_kinds;          // bits (1 << HintKind) of the hints given on the current line
    u64 open_bracket;        // token index of the line's last unescaped "[", or kNone
    u64 url_scan_end;        // bare URLs are looked for from this offset on
    const KavNodeCell* url;  // next URL word of the parse, in source order
};

// ---- Passes ------------------------------------------------------------------------------------

// The passes read tokens through tok() and are compiled twice: reading the
// whole token array, and reading a window of it (a large document's). A
// test of which on every read slowed every document's hints enough to cost
// 7% of its parse.
namespace whole_tokens {
static inline KavToken tok(HintScan* s, u64 k) { return s->t[k]; }
#include "kav/kav_hints_passes.inc"
}  // namespace whole_tokens

namespace windowed_tokens {
static inline KavToken tok(HintScan* s, u64 k) { return kav_token_window_at(s->window, k); }
#include "kav/kav_hints_passes.inc"
}  // namespace windowed_tokens

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
    return scan.window ? windowed_tokens::all_hints(&scan, result) : whole_tokens::all_hints(&scan, result);
}
