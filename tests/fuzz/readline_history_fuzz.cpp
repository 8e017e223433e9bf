// The readline layer's history files: arbitrary bytes are read as a history
// file, written back, read and written again.
//
// Properties: reading succeeds and no entry (nor its time stamp) holds a
// line feed; the written file reads back into the same entries with the same
// time stamps; writing those entries again gives the first written file byte
// for byte.
//
// Input: the file's bytes.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <readline/history.h>

#include "fuzz_check.h"

namespace {

std::string g_dir, g_in, g_out1, g_out2;

void write_file(const std::string &path, std::string_view bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    FUZZ_CHECK(fd >= 0, path);
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        FUZZ_CHECK(n > 0, path);
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    close(fd);
}

std::string read_file(const std::string &path) {
    std::string out;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return "<missing>";
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fd);
    return out;
}

struct Entry {
    std::string line, stamp;
    bool operator==(const Entry &o) const { return line == o.line && stamp == o.stamp; }
};

std::vector<Entry> entries() {
    std::vector<Entry> out;
    for (int i = 0; i < history_length; ++i) {
        HIST_ENTRY *e = history_get(history_base + i);
        FUZZ_CHECK(e != nullptr && e->line != nullptr && e->timestamp != nullptr,
                   "entry " + std::to_string(i) + " of " + std::to_string(history_length));
        out.push_back({e->line, e->timestamp});
    }
    return out;
}

std::string show(const std::vector<Entry> &list) {
    std::string s = "[";
    for (const auto &e : list) {
        s += " \"" + fuzz_visible(e.line) + "\"";
        if (!e.stamp.empty()) s += "@\"" + fuzz_visible(e.stamp) + "\"";
    }
    return s + " ]";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    g_dir = fuzz_temp_dir();
    g_in = g_dir + "/in";
    g_out1 = g_dir + "/out1";
    g_out2 = g_dir + "/out2";
    // The directory goes when the process ends normally.
    atexit([] {
        unlink(g_in.c_str());
        unlink(g_out1.c_str());
        unlink(g_out2.c_str());
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (g_dir.empty()) LLVMFuzzerInitialize(nullptr, nullptr);
    std::string_view file(reinterpret_cast<const char *>(data), size);
    const std::string ctx = "file \"" + fuzz_visible(file) + "\"";
    write_file(g_in, file);
    clear_history();
    unstifle_history();

    int rc = read_history(g_in.c_str());
    FUZZ_CHECK(rc == 0, ctx + ": read returned " + std::to_string(rc));
    auto first = entries();
    for (const auto &e : first)
        FUZZ_CHECK(e.line.find('\n') == std::string::npos &&
                       e.stamp.find('\n') == std::string::npos,
                   ctx + ": read " + show(first));

    rc = write_history(g_out1.c_str());
    FUZZ_CHECK(rc == 0, ctx + ": write returned " + std::to_string(rc));
    const std::string written = read_file(g_out1);
    clear_history();
    rc = read_history(g_out1.c_str());
    FUZZ_CHECK(rc == 0, ctx + ": reread returned " + std::to_string(rc));
    auto again = entries();
    FUZZ_CHECK(again == first, ctx + ": read " + show(first) + ", wrote \"" +
                                   fuzz_visible(written) + "\", read back " + show(again));

    rc = write_history(g_out2.c_str());
    FUZZ_CHECK(rc == 0, ctx + ": second write returned " + std::to_string(rc));
    const std::string rewritten = read_file(g_out2);
    FUZZ_CHECK(rewritten == written, ctx + ": wrote \"" + fuzz_visible(written) + "\", then \"" +
                                         fuzz_visible(rewritten) + "\"");
    clear_history();
    return 0;
}
