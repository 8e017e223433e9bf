// Resizing in tmux, which rewraps its rows when the window gets narrower or
// wider (libvterm does not): the demo shell is typed into in one window and
// resized, and a second demo is started at the final size and typed the
// same; from the editor's first row down both windows must show the same.
// Runs only where tmux is installed.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path demo_path() {
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "examples" /
           "kavrik-demo";
}

bool have_tmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

std::string shell_quoted(const std::string &s) {
    std::string q = "'";
    for (char ch : s) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// A tmux server of its own (its own socket), with one window running the
// demo; the server is stopped when this goes away.
class TmuxDemo {
public:
    TmuxDemo(int cols, int rows, bool bounded) {
        static int serial = 0;
        socket_ = "kavrik-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        home_ = fs::temp_directory_path() / socket_;
        fs::create_directories(home_);
        std::string cmd = "env HOME=" + home_.string() + " TERM=screen " + demo_path().string() +
                          (bounded ? " --bounded" : "");
        run("new-session -d -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " " +
            shell_quoted(cmd));
    }
    ~TmuxDemo() {
        run("kill-server");
        std::error_code ec;
        fs::remove_all(home_, ec);
    }
    TmuxDemo(const TmuxDemo &) = delete;
    TmuxDemo &operator=(const TmuxDemo &) = delete;

    void type(const std::string &text) { run("send-keys -l " + shell_quoted(text)); }
    void resize(int cols) { run("resize-window -x " + std::to_string(cols)); }
    std::vector<std::string> capture() {
        std::vector<std::string> rows;
        FILE *p = popen((tmux() + " capture-pane -p").c_str(), "r");
        if (!p) return rows;
        char buf[4096];
        std::string all;
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) all.append(buf, n);
        pclose(p);
        size_t at = 0;
        while (at < all.size()) {
            size_t nl = all.find('\n', at);
            if (nl == std::string::npos) nl = all.size();
            rows.push_back(all.substr(at, nl - at));
            at = nl + 1;
        }
        return rows;
    }

private:
    std::string tmux() const { return "env -u TMUX tmux -L " + socket_ + " -f /dev/null"; }
    void run(const std::string &args) {
        std::string cmd = tmux() + " " + args + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    std::string socket_;
    fs::path home_;
};

bool eventually(const std::function<bool()> &pred, int timeout_ms = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The rows from the editor's first row down (from the last row that starts
// with the prompt, or the whole window when the editor fills it), without
// the blank rows at the bottom: anything left below the editor stays in.
std::vector<std::string> editor_rows(const std::vector<std::string> &rows) {
    std::vector<std::string> out = rows;
    for (size_t i = rows.size(); i-- > 0;) {
        if (rows[i].rfind("kavrik> ", 0) == 0) {
            out.assign(rows.begin() + static_cast<long>(i), rows.end());
            break;
        }
    }
    while (!out.empty() && out.back().find_first_not_of(' ') == std::string::npos) out.pop_back();
    return out;
}

// All forty words are in: the last row with text ends with the last word.
bool typed_in(const std::vector<std::string> &rows) {
    for (size_t i = rows.size(); i-- > 0;) {
        const std::string &r = rows[i];
        if (r.find_first_not_of(' ') == std::string::npos) continue;
        return r.size() >= 4 && r.compare(r.size() - 4, 4, "text") == 0;
    }
    return false;
}

std::string joined(const std::vector<std::string> &rows) {
    std::string s;
    for (const std::string &r : rows) s += r + "\n";
    return s;
}

const std::string forty_words = [] {
    const char *const words[] = {"hello", "world", "resize", "me", "kavrik", "line", "of", "text"};
    std::string s;
    for (int i = 0; i < 40; ++i) s += std::string(i ? " " : "") + words[i % 8];
    return s;
}();

TEST(TmuxResize, TheEditorIsDrawnAsAFreshDrawingAtTheNewSize) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    ASSERT_TRUE(fs::exists(demo_path())) << demo_path() << " is not built";
    struct Case {
        std::vector<int> widths; // after starting at 80 columns
    } const cases[] = {{{20}}, {{20, 100}}, {{6, 80}}, {{100, 30}}};
    for (bool bounded : {false, true}) {
        for (const Case &c : cases) {
            std::string what = bounded ? "bounded 80" : "normal 80";
            for (int w : c.widths) what += " to " + std::to_string(w);
            SCOPED_TRACE(what);
            TmuxDemo resized(80, 24, bounded);
            ASSERT_TRUE(eventually([&] { return joined(resized.capture()).find("kavrik>") !=
                                                std::string::npos; }));
            resized.type(forty_words);
            ASSERT_TRUE(eventually([&] { return typed_in(resized.capture()); }));
            for (int w : c.widths) resized.resize(w);

            TmuxDemo fresh(c.widths.back(), 24, bounded);
            ASSERT_TRUE(eventually([&] { return joined(fresh.capture()).find("kavrik>") !=
                                                std::string::npos; }));
            fresh.type(forty_words);
            ASSERT_TRUE(eventually([&] { return typed_in(fresh.capture()); }));
            std::vector<std::string> want = editor_rows(fresh.capture());
            EXPECT_TRUE(eventually([&] { return editor_rows(resized.capture()) == want; }))
                << "resized:\n" << joined(resized.capture()) << "fresh:\n" << joined(fresh.capture());
        }
    }
}

} // namespace
