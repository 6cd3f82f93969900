// Links between the documents of a site, seen by running the program: a
// quoted path with a description is a link in every kind of build, to a
// page of the same build that does not exist yet too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/program.h"

namespace fs = std::filesystem;
using namespace kavsite_test;

namespace {

const char* const BREAD =
    "``\ntitle: Bread\noutput_path: recipes/bread.html\n``\n"
    "Bread\n"
    "  The \"/recipes/cake.html\"(cake recipe) is sweeter.\n";
const char* const CAKE =
    "``\ntitle: Cake\noutput_path: recipes/cake.html\n``\n"
    "Cake\n"
    "  See the \"/recipes/bread.html\"(bread recipe) first.\n"
    "  And \"/recipes/gone.html\"(a lost page) too.\n";

TEST(LinksRun, TwoDocumentsLinkEachOtherOnAFirstBuild) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        bool local;     // links are file:// URLs into the site
        bool checked;   // the missing page is listed and marked
    };
    const Case cases[] = {
        {"local", {}, true, false},
        {"deploy", {"deploy"}, false, false},
        {"file path check", {"file_p_check"}, true, true},
    };
    for (const Case& c : cases) {
        TempDir temp;
        fs::path site = temp.path / "site";
        fs::create_directories(site);
        write_file(temp.path / "docs/bread.kav", BREAD);
        write_file(temp.path / "docs/cake.kav", CAKE);
        std::vector<std::string> args = {"targ_p=" + (temp.path / "docs").string(), "root_p=" + site.string() + "/"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        RunResult r = run_kavsite(args, temp.path.string());
        ASSERT_EQ(r.status, 0) << c.name << r.output << r.errors;
        std::string base = c.local ? "file://" + site.string() + "/html/recipes/" : "/recipes/";

        // The link is the description; the rest of the line stays in its
        // paragraph.
        std::string bread = read_file(site / "html/recipes/bread.html");
        EXPECT_NE(bread.find(" >The <a href=\"" + base + "cake.html\"  id=\"wdq_1\" >cake recipe</a> is sweeter.</p>"),
                  std::string::npos)
            << c.name << "\n" << bread;
        std::string cake = read_file(site / "html/recipes/cake.html");
        EXPECT_NE(cake.find(" >See the <a href=\"" + base + "bread.html\"  id=\"wdq_1\" >bread recipe</a> first.</p>"),
                  std::string::npos)
            << c.name << "\n" << cake;

        // A path that names nothing: a link when unchecked, marked missing
        // and listed with the check.
        std::string wrong = "\t" + (temp.path / "docs/cake.kav").string() + ":7:7\n\t" + site.string() +
                            "/html/recipes/gone.html\n";
        if (c.checked) {
            EXPECT_NE(cake.find("<span title=\"/recipes/gone.html\"  id=\"wdq_2\" ><span class=\"icon icon-Unlink\""),
                      std::string::npos)
                << cake;
            EXPECT_NE(r.output.find("\tWrong file path(s):\n" + wrong), std::string::npos) << r.output;
        } else {
            EXPECT_NE(cake.find("<a href=\"" + base + "gone.html\"  id=\"wdq_2\" >a lost page</a>"), std::string::npos)
                << c.name << "\n" << cake;
            EXPECT_EQ(r.output.find(wrong), std::string::npos) << r.output;
        }
    }
}

}  // namespace
