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

inline std::string to_std(String s) { return std::string((const char*)s.str, s.size); }
inline String from_std(const std::string& s) { return String{(u8*)s.data(), s.size()}; }

struct KavArenaTest : ::testing::Test {
    Arena* arena = arena_create(GB(4), MB(1));
    ~KavArenaTest() override { arena_release(arena); }

    String last_source = {};

    // Parses a copy of `text` kept in the arena, so node texts stay valid.
    KavParseResult parse(const std::string& text, String path = S("doc.kav")) {
        last_source = string_copy(arena, from_std(text));
        KavTokens tokens = kav_tokenize(arena, last_source);
        return kav_parse(arena, path, last_source, &tokens);
    }

    // The printed form of the parse of `text`.
    std::string tree(const std::string& text) {
        KavParseResult result = parse(text);
        return to_std(kav_print_result(arena, &result, last_source));
    }
};
