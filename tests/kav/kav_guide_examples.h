// The examples of the KAV guide (docs/kav.md): a "~~~kav" fenced block,
// usually followed by the "~~~tree" block the parser must print for it.
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

inline std::vector<GuideExample> guide_examples(const std::vector<std::string>& lines) {
    std::vector<GuideExample> examples;
    std::string section;
    for (size_t k = 0; k < lines.size(); k += 1) {
        const std::string& line = lines[k];
        if (line.rfind("#", 0) == 0) section = line;
        if (line != "~~~kav") continue;
        GuideExample example = {section, (int)k + 1, fenced_body(lines, k), "", false};
        size_t next = k + 1;
        while (next < lines.size() && lines[next].empty()) next += 1;
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
