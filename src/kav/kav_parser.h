// The KAV parser: one forward pass over the tokens of a document, driven by
// a stack of frames, builds the node tree and the lists page generation
// needs; a post-pass checks local file paths and hands URLs to the checker.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"
#include "kav/kav_tokenizer.h"

// Parses `tokens` of `source`. Every node, list cell, frame and message comes
// from `arena`; node texts point into `source`, which must outlive them.
KavParseResult kav_parse(Arena* arena, String path, String source, const KavTokens* tokens);

// Where the post-pass hands each URL of a document for checking when both
// the file-path check and the URL check of the site are on: the URL text and
// its location "path:line:column". Both strings are only valid during the
// call; the receiver copies what it keeps. By default (and after setting
// null) that is the URL check pool's url_check_submit_found.
typedef void KavUrlSubmit(String url, String location);
void kav_set_url_submit(KavUrlSubmit* submit);
