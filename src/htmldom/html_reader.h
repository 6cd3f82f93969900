// The template reader: a tokenizer that cuts an HTML template into
// classified tokens, a frame-driven parser that builds the DOM and records
// diagnostics, and the entry point that runs the optional checks and prints
// the diagnostics.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_dom.h"

// ---- Tokens ------------------------------------------------------------------

enum HtmlTokenKind : u32 {
    HTML_TOKEN_NUMBER = 0x1,
    HTML_TOKEN_IDENTIFIER = 0x2,
    HTML_TOKEN_STRING = 0x4,
    HTML_TOKEN_SYMBOL = 0x8,  // a run of symbol characters; also set on entities
    HTML_TOKEN_PUNCT = 0x10,  // "<", "</", "/>", "=", ">"
    HTML_TOKEN_SPACE = 0x40,
    HTML_TOKEN_NEWLINE = 0x80,
    HTML_TOKEN_SINGLE_QUOTED = 0x100,
    HTML_TOKEN_SINGLE_QUOTE_CUT = 0x200,  // apostrophe string cut short by "<"
    HTML_TOKEN_DOUBLE_QUOTED = 0x400,
    HTML_TOKEN_OTHER = 0x800,
    HTML_TOKEN_BROKEN = 0x1000,  // string not closed
    HTML_TOKEN_ENTITY = 0x4000,
};

struct HtmlToken {
    u64 begin;  // offset of the first byte in the text
    u64 end;    // offset one past the last byte
    u32 kind;   // HtmlTokenKind bits
};

struct HtmlTokens {
    HtmlToken* tokens;
    u64 count;
};

// Tokens cover the text without gaps, in order.
HtmlTokens html_tokenize(Arena* arena, String text);

// ---- Parsing -----------------------------------------------------------------

enum HtmlParseOptions : u32 {
    HTML_PARSE_VALIDATE = 0x1,                // structure validation after parsing
    HTML_PARSE_CHECK_URLS = 0x2,              // link pass after parsing
    HTML_VALIDATE_UNKNOWN_TAGS = 0x4,         // validation reports unknown element names
    HTML_VALIDATE_UNKNOWN_ATTRIBUTES = 0x8,   // validation reports unknown attribute names
    HTML_VALIDATE_PARENTS = 0x10,             // validation checks allowed parents
    HTML_PARSE_AUTO_STRUCTURE = 0x20,         // skeleton first, elements filed under their parent
    HTML_PARSE_ESCAPE_STRAY_LT = 0x40,        // a "<" without a name becomes the text "&lt;"
    HTML_PARSE_QUIET = 0x80,                  // keep the diagnostics instead of printing them
};

enum HtmlParseState : u32 {
    HTML_PARSE_TOP = 0,         // document level, or an element under its attribute-list frame
    HTML_PARSE_ATTRIBUTES = 1,  // inside a start tag
    HTML_PARSE_VALUE = 2,       // after "="
    HTML_PARSE_AFTER_NAME = 3,  // after an attribute name
    HTML_PARSE_RAW = 4,         // raw-text content up to the element's end tag
    HTML_PARSE_CONTENT = 5,     // ordinary content
};

// Builds the tree of `text` from its tokens. `path` is used in printed
// locations only. Every problem is an error diagnostic; the tree holds what
// was read. ok is 0 when an error was recorded.
HtmlDocument html_parse(Arena* arena, String path, String text, HtmlTokens tokens, u32 options);

// Tokenizes, parses and runs the checks the options ask for; unless
// HTML_PARSE_QUIET, prints every diagnostic in the three-line format and
// empties the list. An empty text gives a zeroed document.
HtmlDocument html_read_template(Arena* arena, String text, String path, u32 options);

// ---- Checks ------------------------------------------------------------------

// Checks the tree against the element and attribute tables; findings are
// errors added to the document's diagnostics. The tree is not changed.
void html_validate_structure(Arena* arena, HtmlDocument* document);
// Collects the URL attributes of the template as link records; an element
// whose start tag has `dontFetch` before its URL attribute is left out.
void html_collect_links(Arena* arena, HtmlDocument* document);
