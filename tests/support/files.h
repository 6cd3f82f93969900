// Files and folders for tests: whole-file reads and writes, and a fresh
// folder under /tmp for each test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kavsite_test {

// Writes `text` as the whole file `p`, making its folders first.
inline void write_file(const std::filesystem::path& p, const std::string& text) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// The whole file `p`; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Bytes the threads of this process have read so far (files, pipes and
// sockets alike); -1 when the system does not say.
inline long long bytes_read_by_process() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") return value;
    }
    return -1;
}

// Lets every user reach, read and change `folder` and everything in it, so
// that a run as another user is stopped only where a test says.
inline void open_to_everyone(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    fs::permissions(folder, fs::perms::all, fs::perm_options::add);
    for (auto& e : fs::recursive_directory_iterator(folder)) fs::permissions(e.path(), fs::perms::all, fs::perm_options::add);
}

// The permissions of a folder everyone may read and enter and nobody may
// write to.
constexpr std::filesystem::perms kReadOnlyFolder =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec | std::filesystem::perms::group_read |
    std::filesystem::perms::group_exec | std::filesystem::perms::others_read | std::filesystem::perms::others_exec;

// A fresh folder under /tmp (its real path, so that it compares equal to the
// paths the program reports), removed with everything in it when the object
// goes; permissions are restored first so that locked folders go too.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char templ[] = "/tmp/kavsite_test_XXXXXX";
        path = std::filesystem::canonical(mkdtemp(templ));
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(path, ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ec);
        }
        fs::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

}  // namespace kavsite_test
