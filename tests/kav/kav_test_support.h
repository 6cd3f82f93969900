// Helpers shared by the KAV tests: a per-test arena and the parse-and-print
// round trip used to compare trees.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"
#include "kav/kav_parser.h"
#include "kav/kav_print.h"
#include "kav/kav_tokenizer.h"
#include "support/strings.h"

using kavsite_test::from;
using kavsite_test::str;

struct KavArenaTest : ::testing::Test {
    Arena* arena = arena_create(GB(4), MB(1));
    ~KavArenaTest() override { arena_release(arena); }

    String last_source = {};

    // Parses a copy of `text` kept in the arena, so node texts stay valid.
    KavParseResult parse(const std::string& text, String path = S("doc.kav")) {
        last_source = string_copy(arena, from(text));
        KavTokens tokens = kav_tokenize(arena, last_source);
        return kav_parse(arena, path, last_source, &tokens);
    }

    // The printed form of the parse of `text`.
    std::string tree(const std::string& text) {
        KavParseResult result = parse(text);
        return str(kav_print_result(arena, &result, last_source));
    }
};
