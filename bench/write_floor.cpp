// The plain-write floor of a site build: creates the folders and writes the
// files a build wrote, same count, same sizes, same folders, with nothing
// but mkdir, open, write and close, one file after the other. What a disk
// allows for a build into an empty root, measured on the same disk.
//
//   write_floor LIST OUT
//
// LIST holds one "<size> <relative path>" line per file (as printed by
// `find DIR -type f -printf '%s %P\n'`); OUT must not exist yet.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <unordered_set>
#include <vector>

static bool make_folders(const std::string& path, std::unordered_set<std::string>* made) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        std::string folder = path.substr(0, at);
        if (made->count(folder)) continue;
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
        made->insert(folder);
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: write_floor LIST OUT\n");
        return 2;
    }
    FILE* list = fopen(argv[1], "r");
    if (!list) {
        perror(argv[1]);
        return 2;
    }
    std::string out = argv[2];
    std::vector<char> bytes;
    std::unordered_set<std::string> made;
    char line[8192];
    unsigned long files = 0, total = 0;
    while (fgets(line, sizeof(line), list)) {
        char* space = strchr(line, ' ');
        if (!space) continue;
        size_t size = strtoul(line, 0, 10);
        std::string relative(space + 1);
        while (!relative.empty() && relative.back() == '\n') relative.pop_back();
        std::string path = out + "/" + relative;
        if (!make_folders(path, &made)) {
            perror(path.c_str());
            return 1;
        }
        if (bytes.size() < size) bytes.resize(size, 'x');
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, bytes.data(), size) != (ssize_t)size || close(fd) != 0) {
            perror(path.c_str());
            return 1;
        }
        files += 1;
        total += size;
    }
    fclose(list);
    printf("%lu files, %lu bytes\n", files, total);
    return 0;
}
