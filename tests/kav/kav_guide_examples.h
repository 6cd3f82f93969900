// The examples of the KAV guide (docs/kav.md): a "~~~kav" fenced block,
// followed by the "~~~html" block of the page it makes, the "~~~tree" block
// the parser must print for it, or both (html first).
#pragma once

#include <fstream>
#include <string>
#include <vector>

struct GuideExample {
    std::string section;  // nearest heading above the example
    int line;             // 1-based line of the "~~~kav" fence
    std::string source;
    std::string tree;
    bool has_tree;
    std::string html;
    bool has_html;
    int html_line;             // 1-based line of the "~~~html" fence
    std::string html_options;  // the words after "~~~html": how the page is built
};

inline std::vector<std::string> read_lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Collects the lines after the fence at `k` up to the closing "~~~".
inline std::string fenced_body(const std::vector<std::string>& lines, size_t& k) {
    std::string body;
    for (k += 1; k < lines.size() && lines[k] != "~~~"; k += 1) body += lines[k] + "\n";
    return body;
}

// The index of the first line from `k` on that is not empty.
inline size_t skip_blank_lines(const std::vector<std::string>& lines, size_t k) {
    while (k < lines.size() && lines[k].empty()) k += 1;
    return k;
}

inline std::vector<GuideExample> guide_examples(const std::vector<std::string>& lines) {
    std::vector<GuideExample> examples;
    std::string section;
    for (size_t k = 0; k < lines.size(); k += 1) {
        const std::string& line = lines[k];
        if (line.rfind("#", 0) == 0) section = line;
        if (line != "~~~kav") continue;
        GuideExample example = {section, (int)k + 1, fenced_body(lines, k), "", false, "", false, 0, ""};
        size_t next = skip_blank_lines(lines, k + 1);
        if (next < lines.size() && (lines[next] == "~~~html" || lines[next].rfind("~~~html ", 0) == 0)) {
            example.html_options = lines[next].size() > 7 ? lines[next].substr(8) : "";
            example.html_line = (int)next + 1;
            example.html = fenced_body(lines, next);
            example.has_html = true;
            k = next;
            next = skip_blank_lines(lines, k + 1);
        }
        if (next < lines.size() && lines[next] == "~~~tree") {
            example.tree = fenced_body(lines, next);
            example.has_tree = true;
            k = next;
        }
        examples.push_back(example);
    }
    return examples;
}

inline std::vector<std::string> read_guide_lines() {
    return read_lines(std::string(KAVSITE_SOURCE_DIR) + "/docs/kav.md");
}
