// Near matches: the edit distance and the choice of the name a slip most
// likely meant, which option and header-key messages suggest.
#include <gtest/gtest.h>

#include <string>

#include "base/string.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

TEST(NearMatch, EditDistance) {
    struct Case {
        std::string a, b;
        u64 limit, distance;
    } cases[] = {
        {"deploy", "deploy", 3, 0},
        {"Deploy", "deploy", 3, 0},         // ASCII case is ignored
        {"depoly", "deploy", 3, 1},         // two neighbours swapped count once
        {"chek_urls", "check_urls", 3, 1},  // one left out
        {"tittle", "title", 3, 1},          // one too many
        {"titel", "title", 3, 1},
        {"ouput_path", "output_path", 3, 1},
        {"kitten", "sitting", 3, 3},
        {"", "abc", 3, 3},
        {"abc", "", 3, 3},
        {"", "", 0, 0},
        // Above the limit the answer is limit + 1, also when only the
        // lengths already differ too much.
        {"kitten", "sitting", 2, 3},
        {"a", "abcdef", 2, 3},
        {"abcdef", "ghijkl", 1, 2},
        // Strings longer than 64 bytes are near nothing.
        {std::string(65, 'a'), std::string(65, 'a'), 3, 4},
        {std::string(64, 'a'), std::string(64, 'a'), 3, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(string_edit_distance(from(c.a), from(c.b), c.limit), c.distance) << c.a << " / " << c.b;
        EXPECT_EQ(string_edit_distance(from(c.b), from(c.a), c.limit), c.distance) << c.b << " / " << c.a;
    }
}

TEST(NearMatch, NearestName) {
    const String names[] = {S("targ_p"),      S("root_p"),      S("deploy"), S("js"),         S("dev_js"),
                            S("check_urls"),  S("file_p_check"), S("creation_date"), S("last_modification_date")};
    const u64 count = sizeof(names) / sizeof(names[0]);
    struct Case {
        const char* word;
        const char* nearest;  // "" when none is near
    } cases[] = {
        {"depoly", "deploy"},
        {"DEPLOY", "deploy"},
        {"chek_urls", "check_urls"},
        {"check_url", "check_urls"},
        {"jss", "js"},
        {"file_path_check", "file_p_check"},  // three edits in a long word
        {"target", "targ_p"},                 // two edits in a word of 6
        // Too far for their length.
        {"dep", ""},
        {"x", ""},
        {"zzzzzz", ""},
        {"", ""},
        // Whole parts of a name at a "_": the first name in order wins.
        {"root", "root_p"},
        {"date", "creation_date"},
        {"modification_date", "last_modification_date"},
        {"check", "check_urls"},
        {"heck", ""},  // not at a "_"
        {"p", ""},     // parts need three bytes
        // The nearest by distance comes before any part.
        {"dev_j", "dev_js"},
    };
    for (const Case& c : cases) {
        u64 index = string_nearest_name(string_from_cstr(c.word), names, count);
        std::string got = index < count ? str(names[index]) : "";
        EXPECT_EQ(got, c.nearest) << c.word;
    }
    // Ties go to the earlier name.
    const String twins[] = {S("abcd"), S("abce")};
    EXPECT_EQ(string_nearest_name(S("abcf"), twins, 2), 0u);
    EXPECT_EQ(string_nearest_name(S("abce"), twins, 2), 1u);
}

}  // namespace
