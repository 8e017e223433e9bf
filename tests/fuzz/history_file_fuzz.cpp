// The history file: arbitrary bytes are loaded, saved and loaded again.
//
// Properties: a load returns one of its documented codes (with the documented
// message); nothing longer than the line limit or beyond the history limit is
// kept, no entry is empty and no entry repeats the one before it; the saved
// file has mode 0600 and loads back into the same entries (save for the one
// documented limit of the format: a carriage return comes back as a line
// feed, or is lost as an entry's last byte); a save that runs out of memory
// leaves the old file as it was.
//
// Input: line limit, history limit, two allocation countdowns (load, save),
// then the file's bytes.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/state.h"
#include "fault.h"
#include "fuzz_check.h"
#include "history/history.h"
#include "history/internal.h"
#include "kavrik.h"

namespace {

std::string g_dir, g_in, g_out;

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

std::vector<std::string> entries(kv_editor *ed) {
    std::vector<std::string> out;
    for (int i = 0; i < ed->state->history.count; ++i)
        out.emplace_back(kv_history_entry(ed->state->history, i));
    return out;
}

std::string show(const std::vector<std::string> &list) {
    std::string s = "[";
    for (const auto &e : list)
        s += " \"" + fuzz_visible(e) + "\"";
    return s + " ]";
}

kv_editor *make_editor(size_t line_max, int history_max) {
    kv_config cfg;
    kv_config_init(&cfg);
    cfg.max_line_len = line_max;
    cfg.history_max_len = history_max;
    kv_editor *ed = kv_create_with_config(&cfg);
    FUZZ_CHECK(ed != nullptr, "editor creation");
    return ed;
}

// The list as it must look after any load.
void check_list(kv_editor *ed, size_t line_max, int history_max) {
    auto list = entries(ed);
    FUZZ_CHECK(static_cast<int>(list.size()) <= history_max, show(list));
    for (size_t i = 0; i < list.size(); ++i) {
        FUZZ_CHECK(!list[i].empty(), show(list));
        FUZZ_CHECK(list[i].size() <= line_max, show(list));
        FUZZ_CHECK(i == 0 || list[i] != list[i - 1], show(list));
    }
}

// What a saved entry reads back as: a carriage return as its last byte is
// taken with the terminator for a CR LF line end, any other one reads as a
// line feed.
std::string reread(std::string e) {
    if (!e.empty() && e.back() == '\r') e.pop_back();
    for (char &ch : e)
        if (ch == '\r') ch = '\n';
    return e;
}

std::vector<std::string> expected_reload(const std::vector<std::string> &saved) {
    std::vector<std::string> out;
    for (const auto &e : saved) {
        std::string r = reread(e);
        if (r.empty() || (!out.empty() && out.back() == r)) continue;
        out.push_back(r);
    }
    return out;
}

std::string last_error(kv_editor *ed) {
    const char *e = kv_last_error(ed);
    return e ? e : "";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Files in memory where there is a place for them: every save syncs.
    g_dir = fuzz_temp_dir();
    g_in = g_dir + "/in";
    g_out = g_dir + "/out";
    // The directory goes when the process ends normally.
    atexit([] {
        unlink(g_in.c_str());
        unlink(g_out.c_str());
        rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (g_dir.empty()) LLVMFuzzerInitialize(nullptr, nullptr);
    FuzzInput in(data, size);
    uint8_t lb = in.byte();
    size_t line_max = lb >= 250 ? 4096 : 1 + lb % 48;
    int history_max = in.range(0, 24);
    long load_fail = in.range(0, 40);
    long save_fail = in.range(0, 16);
    std::string_view file = in.rest();
    write_file(g_in, file);

    // First load, perhaps running out of memory part way.
    kv_editor *ed = make_editor(line_max, history_max);
    int rc;
    {
        AllocFailer f(load_fail > 0 ? load_fail : -1);
        rc = kv_history_load(ed, g_in.c_str());
    }
    std::string err = last_error(ed);
    if (load_fail == 0) {
        FUZZ_CHECK(rc == 0 || rc == -2, "load returned " + std::to_string(rc));
    } else {
        FUZZ_CHECK(rc == 0 || rc == -1 || rc == -2 || rc == -3,
                   "load returned " + std::to_string(rc));
        if (rc == -3) FUZZ_CHECK(err == "out of memory while loading history", err);
        // An add that fails reports its own message: the list's first block
        // or the entry's copy.
        if (rc == -1)
            FUZZ_CHECK(err == "out of memory while adding history entry" ||
                           err == "out of memory while allocating history",
                       err);
    }
    if (rc == -2) FUZZ_CHECK(err == "history entry exceeds configured maximum length", err);
    check_list(ed, line_max, history_max);
    auto first = entries(ed);

    // A save over an existing file that runs out of memory keeps the old one.
    const std::string old = "older\nfile\n";
    write_file(g_out, old);
    if (save_fail > 0) {
        int src;
        {
            AllocFailer f(save_fail);
            src = kv_history_save(ed, g_out.c_str());
        }
        FUZZ_CHECK(src == 0 || src == -4, "save returned " + std::to_string(src));
        if (src == -4)
            FUZZ_CHECK(read_file(g_out) == old,
                       "failed save changed the file: " + fuzz_visible(read_file(g_out)));
    }
    rc = kv_history_save(ed, g_out.c_str());
    FUZZ_CHECK(rc == 0, "save returned " + std::to_string(rc) + ": " + last_error(ed));
    FUZZ_CHECK(entries(ed) == first, "save changed the list");
    struct stat sb;
    FUZZ_CHECK(stat(g_out.c_str(), &sb) == 0 && (sb.st_mode & 0777) == 0600,
               "mode " + std::to_string(sb.st_mode & 0777));
    kv_destroy(ed);

    // The saved file loads back into the same list.
    kv_editor *again = make_editor(line_max, history_max);
    rc = kv_history_load(again, g_out.c_str());
    FUZZ_CHECK(rc == 0, "reload returned " + std::to_string(rc) + ": " + last_error(again));
    auto want = expected_reload(first);
    auto got = entries(again);
    FUZZ_CHECK(got == want, "loaded " + show(first) + ", saved " + fuzz_visible(read_file(g_out)) +
                                ", reloaded " + show(got) + ", wanted " + show(want));
    kv_destroy(again);
    return 0;
}
