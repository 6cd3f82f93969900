// Checking generated pages with an HTML5 parser: tests/support/html5_check.py
// (Debian's python3-html5lib, run with /usr/bin/python3) over a list of
// pages. A page passes when it parses without error, its ids are unique,
// its "#fragment" links name ids of the page and its dates are valid.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kavsite_test {

struct Html5Check {
    bool passed;         // the checker ran and found nothing
    std::string report;  // what it printed: one line per problem, then the count
};

// Every page below `html_dir` ("*.html"), the templates and the shared style
// sheet under "shared/" left out: they are fragments, not pages.
inline std::vector<std::filesystem::path> site_pages(const std::filesystem::path& html_dir) {
    namespace fs = std::filesystem;
    std::vector<fs::path> pages;
    for (const auto& entry : fs::recursive_directory_iterator(html_dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".html") continue;
        std::string relative = fs::relative(entry.path(), html_dir).string();
        if (relative.rfind("shared/", 0) == 0) continue;
        pages.push_back(entry.path());
    }
    return pages;
}

inline Html5Check check_html5(const std::vector<std::filesystem::path>& pages) {
    std::string command = "/usr/bin/python3 '" KAVSITE_SOURCE_DIR "/tests/support/html5_check.py'";
    for (const auto& page : pages) {
        std::string quoted;
        for (char c : page.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += " '" + quoted + "'";
    }
    command += " 2>&1";
    Html5Check result = {false, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.report.append(buffer, n);
    int status = pclose(pipe);
    result.passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

}  // namespace kavsite_test
