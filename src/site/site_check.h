// The check pass: what the words of a parsed document name, decided above
// the parser. Output paths are placed under the site root, local file words
// are looked up (a page of this build counts as existing), and URL words are
// handed to the URL checker, once each.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"
#include "kav/kav_node.h"
#include "site/site.h"

// The document's output paths placed under the site root: each one that
// lands below the root is appended to `resolved` (absolute, "." and ".."
// resolved, in `arena`); one that would land outside gets the warning
// "Output path \"<path>\" is outside the site root." at its word, in order
// among the document's diagnostics; one that would replace a file the build
// owns (the home page, anything under html/shared/) gets "Output path
// \"<path>\" would replace a file of the site itself." instead.
void check_output_paths(Arena* arena, const Site* site, KavParseResult* document, StringList* resolved);

// The path a local file word names: absolute, "." and ".." resolved, in
// `arena`.
String check_file_path(Arena* arena, const Site* site, String word);

enum CheckFiles : u32 {
    CHECK_FILES_ON_DISK = 0,  // the pages of the build are not known yet: the disk alone decides
    CHECK_FILES_FINAL = 1,    // every page of the build is known
};

// With the file path check on, marks each local file word of the document
// KAV_FLAG_FILE_FOUND when it names an existing file or (final) a page of
// this build. On disk: returns false, marking nothing more, when some word
// names no file (it may name a page). Final: such words are marked
// KAV_FLAG_FILE_MISSING and get
// one warning each in `wrong_paths` ("<path>:<line>:<column>\n\t<resolved
// path>", in `arena`); returns true. `path` names the document. With the
// check off, nothing is looked up: a word with a description (not an
// image) is marked KAV_FLAG_FILE_FOUND, so it is a link all the same.
bool check_file_words(Arena* arena, const Site* site, KavParseResult* document, String path, CheckFiles when,
                      DiagnosticList* wrong_paths);

// Hands each URL word of the document to `submit` with its location
// "<path>:<line>:<column>"; the strings are valid during the call only.
typedef void CheckUrlSubmit(String url, String location);
void check_submit_urls(const KavParseResult* document, String path, CheckUrlSubmit* submit);
