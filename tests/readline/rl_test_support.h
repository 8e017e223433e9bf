// Shared vocabulary of the readline layer's unit tests: a clean history, a
// temporary directory, file contents, and a cap on file sizes that makes
// writes fail for real.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rl.h"

namespace rltest {

namespace fs = std::filesystem;

// Every test starts with an empty, unlimited list.
class History : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        clear_history();
        unstifle_history();
        kvr_alloc_countdown = -1;
    }
};

inline std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (int i = 0; i < history_length; ++i)
        out.push_back(history_get(history_base + i)->line);
    return out;
}

inline std::vector<std::string> stamps() {
    std::vector<std::string> out;
    for (int i = 0; i < history_length; ++i)
        out.push_back(history_get(history_base + i)->timestamp);
    return out;
}

inline void add_all(const std::vector<std::string> &entries) {
    for (const auto &e : entries)
        add_history(e.c_str());
}

struct TempDir {
    fs::path dir;
    TempDir() {
        char tmpl[] = "/tmp/kavrik-rl-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(dir); }
    std::string path(const char *name) const { return (dir / name).string(); }
    // Names in the directory, to see that no temporary file is left.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto &e : fs::directory_iterator(dir))
            out.push_back(e.path().filename().string());
        return out;
    }
};

inline std::string read_file(const std::string &p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline void write_file(const std::string &p, const std::string &bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << bytes;
}

inline unsigned mode_of(const std::string &p) {
    struct stat st {};
    if (stat(p.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

// Files may not grow past `bytes` while it lives (writes past it fail with
// EFBIG; the signal that would end the process is ignored).
struct FileSizeCap {
    rlimit old{};
    void (*old_handler)(int);
    explicit FileSizeCap(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        old_handler = signal(SIGXFSZ, SIG_IGN);
        rlimit cap = old;
        cap.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &cap);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, old_handler);
    }
    FileSizeCap(const FileSizeCap &) = delete;
    FileSizeCap &operator=(const FileSizeCap &) = delete;
};

} // namespace rltest
