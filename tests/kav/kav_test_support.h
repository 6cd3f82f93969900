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

    // Parses `text` (kept alive by the caller) and returns the result.
    KavParseResult parse(const std::string& text, String path = S("doc.kav")) {
        String source = from_std(text);
        KavTokens tokens = kav_tokenize(arena, source);
        return kav_parse(arena, path, source, &tokens);
    }

    // The printed form of the parse of `text`.
    std::string tree(const std::string& text) {
        KavParseResult result = parse(text);
        return to_std(kav_print_result(arena, &result, from_std(text)));
    }
};
