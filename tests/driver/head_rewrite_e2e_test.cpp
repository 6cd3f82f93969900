// The head template at the end of a build: the node-kind metas and the head's
// own style elements are removed so the next build starts from a clean head.
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/program.h"

namespace {

using namespace kavsite_test;

TEST(HeadRewrite, BuildWithoutUrlChecksCleansTheHeadTemplate) {
    TempDir dir;
    std::filesystem::path head = dir.path / "site/html/shared/html/default_head.html";
    write_file(head,
               "<head><meta charset=\"utf-8\"><title>T</title><style>p{}</style>"
               "<meta name=\"hea\" content=\"Heading\"><meta name=\"keep\" content=\"x\">"
               "<meta name=\"par\" content=\"Paragraph\"><meta name=\"par\" content=\"Paragraph\">"
               "<div><style>kept{}</style></div></head>");
    std::filesystem::create_directories(dir.path / "docs");
    RunResult r = run_kavsite({"targ_p=" + (dir.path / "docs").string(), "root_p=" + (dir.path / "site").string()},
                              dir.path.string());
    EXPECT_EQ(r.status, 0) << r.errors;
    std::string text = read_file(head);
    // One element per code goes; a second one with the same code stays.
    EXPECT_EQ(text.find("name=\"hea\""), std::string::npos) << text;
    EXPECT_NE(text.find("name=\"keep\""), std::string::npos) << text;
    EXPECT_NE(text.find("name=\"par\""), std::string::npos) << text;
    EXPECT_EQ(text.find("name=\"par\""), text.rfind("name=\"par\"")) << text;
    // Only style elements directly in the head go.
    EXPECT_EQ(text.find("p{}"), std::string::npos) << text;
    EXPECT_NE(text.find("kept{}"), std::string::npos) << text;
    EXPECT_NE(text.find("<title>T</title>"), std::string::npos) << text;
}

}  // namespace
