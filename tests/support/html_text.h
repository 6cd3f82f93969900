// Reading generated HTML text in tests.
#pragma once

#include <string>
#include <vector>

namespace kavsite_test {

// Every value of `attribute="..."` in `html`, in order.
inline std::vector<std::string> attribute_values(const std::string& html, const std::string& attribute) {
    std::vector<std::string> values;
    std::string key = " " + attribute + "=\"";
    for (size_t at = html.find(key); at != std::string::npos; at = html.find(key, at + 1)) {
        size_t begin = at + key.size();
        size_t end = html.find('"', begin);
        if (end == std::string::npos) break;
        values.push_back(html.substr(begin, end - begin));
    }
    return values;
}

}  // namespace kavsite_test
