// The known-searches file "kn_searchs.txt": known sources of information on
// the web, which URLs they concern, where the interesting text of a fetched
// page starts and ends, and which kinds of data follow which marker text.
// Tokenizer, stack-driven parser and the builder of the records.
#pragma once

#include "base/diagnostic.h"
#include "base/string.h"

// ---- Tokens ------------------------------------------------------------------

enum KnTokenKind : u32 {
    KN_TOKEN_NUMBER = 0x1,
    KN_TOKEN_IDENTIFIER = 0x2,
    KN_TOKEN_STRING = 0x4,
    KN_TOKEN_SYMBOL = 0x8,
    KN_TOKEN_KEYWORD = 0x10,
    KN_TOKEN_SPACE = 0x40,
    KN_TOKEN_NEWLINE = 0x80,
    KN_TOKEN_OTHER = 0x800,
    KN_TOKEN_BROKEN = 0x1000,  // string without its closing quote on its line
};

enum KnKeyword : u32 {
    KN_KEYWORD_NONE = 0,
    KN_KEYWORD_URLS,
    KN_KEYWORD_PREFIX,
    KN_KEYWORD_SEARCHERS,
    KN_KEYWORD_DATA_MARKERS,
    KN_KEYWORD_END,
    KN_KEYWORD_TYPES,
    KN_KEYWORD_SOURCE_FINDERS,
    KN_KEYWORD_START,
    KN_KEYWORD_FUZZY,
    KN_KEYWORD_COLON,
    KN_KEYWORD_OPEN_BRACKET,
    KN_KEYWORD_CLOSE_BRACKET,
    KN_KEYWORD_OPEN_BRACE,
    KN_KEYWORD_CLOSE_BRACE,
    KN_KEYWORD_COMMA,
    KN_KEYWORD_COUNT,
};

struct KnToken {
    u64 begin;    // byte offset of the first byte
    u64 end;      // one past the last byte
    u32 kind;     // KnTokenKind bits
    u32 keyword;  // KnKeyword for KN_TOKEN_KEYWORD
};

struct KnTokens {
    KnToken* tokens;
    u64 count;
};

KnTokens kn_tokenize(Arena* arena, String text);
// The keyword's text as the file writes it ("urls", ":", ...).
String kn_keyword_name(u32 keyword);

// ---- Tree --------------------------------------------------------------------

enum KnNodeKind : u32 {
    KN_NODE_NIL = 0,
    KN_NODE_TOKEN = 1,  // detached anchor of a diagnostic
    KN_NODE_ROOT = 2,
    KN_NODE_OBJECT = 3,
    KN_NODE_KEY = 5,
    KN_NODE_STRING = 6,
};

struct KnNode {
    KnNode* next;
    KnNode* prev;
    KnNode* parent;
    KnNode* first_child;
    KnNode* last_child;
    u32 kind;         // KnNodeKind
    String text;      // key name, or string value without its quotes
    u64 position;     // byte offset of the token
};

// Shared read-only node standing for "none"; its links point to itself.
extern KnNode kn_nil_node;
inline bool kn_is_nil(const KnNode* node) { return node == &kn_nil_node; }

struct KnTree {
    KnNode* root;
    DiagnosticList diagnostics;
};

Diagnostic* diag_append(Arena* arena, DiagnosticList* list, KnNode* node, s32 level, String message);

// Builds the tree; every token that fits no rule gives the warning
// "Unexpected \"<token>\" token." and is skipped.
KnTree kn_parse(Arena* arena, String text, KnTokens tokens);

// ---- Records -----------------------------------------------------------------

enum KnDataType : u32 {
    KN_TYPE_DATE = 0x2,
    KN_TYPE_AUTHOR = 0x8,
    KN_TYPE_NUMBER = 0x10,
    KN_TYPE_BITMAP = 0x20,
    KN_TYPE_TITLE = 0x40,
    KN_TYPE_DESCRIPTION = 0x80,
    KN_TYPE_SHORT_DESCRIPTION = 0x100,
    KN_TYPE_TEXTUAL = 0x200,
};

// Bit of a type name (ASCII case-insensitive); 0 for unknown names.
u32 kn_type_bit(String name);

struct Searcher {
    Searcher* next;
    StringList urls;
    StringList start;
    StringList end;
};

struct SearcherList {
    Searcher* first;
    Searcher* last;
    u64 count;
};

struct DataMarker {
    DataMarker* next;
    String prefix;
    u32 types;  // KnDataType bits
};

struct DataMarkerList {
    DataMarker* first;
    DataMarker* last;
    u64 count;
};

struct SourceFinder {
    SourceFinder* next;
    SearcherList searchers;
    DataMarkerList data_markers;
    u64 data_markers_made;  // data markers made in the file up to this finder
};

struct SourceFinderList {
    SourceFinder* first;
    SourceFinder* last;
    u64 count;
};

// Walks the tree in document order; strings are copied into `arena`.
SourceFinderList kn_build(Arena* arena, const KnTree* tree);

// ---- Loading -----------------------------------------------------------------

// The known sources of the build; empty until kn_load.
extern SourceFinderList g_known_searches;

// Tokenizes and parses `text` in scratch memory, prints the diagnostics with
// `path` as location, builds the records into `arena` and installs them in
// g_known_searches.
SourceFinderList kn_load(Arena* arena, String text, String path);
