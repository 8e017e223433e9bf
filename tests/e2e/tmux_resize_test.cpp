// Resizing in terminals that rewrap their rows when the window gets narrower
// or wider (libvterm does not): tmux, and xterm.js fed from a pseudo-terminal.
// The demo shell is typed into in one window and resized, and a second demo
// is started at the final size and typed the same; from the editor's first
// row down both windows must show the same.  Runs only where tmux, or node
// and the xterm.js packages, are installed.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "program_pty.h"
#include "screen_batch.h"

namespace {

namespace fs = std::filesystem;

fs::path demo_path() { return example_path("kavrik-demo"); }

bool have_tmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

std::string shell_quoted(const std::string &s) {
    std::string q = "'";
    for (char ch : s)
        q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// A terminal window running the demo.
class DemoWindow {
  public:
    virtual ~DemoWindow() = default;
    virtual void type(const std::string &text) = 0;
    virtual void resize(int cols) = 0;
    // The rows shown, trailing blanks removed.
    virtual std::vector<std::string> capture() = 0;
};

// A tmux server of its own (its own socket), with one window running the
// demo; the server is stopped when this goes away.
class TmuxDemo : public DemoWindow {
  public:
    // in_shell: the demo is started from an interactive bash, which stops
    // and continues it as job control does.
    TmuxDemo(int cols, int rows, bool bounded, bool in_shell = false) {
        static int serial = 0;
        socket_ = "kavrik-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        home_ = fs::temp_directory_path() / socket_;
        fs::create_directories(home_);
        const std::string demo = demo_path().string() + (bounded ? " --bounded" : "");
        const std::string env = "env HOME=" + home_.string() + " TERM=screen ";
        const std::string cmd = in_shell ? env + "PS1='$ ' bash --norc --noprofile -i" : env + demo;
        run("new-session -d -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " " +
            shell_quoted(cmd));
        if (in_shell) type(demo + "\r");
    }
    ~TmuxDemo() {
        run("kill-server");
        std::error_code ec;
        fs::remove_all(home_, ec);
    }
    TmuxDemo(const TmuxDemo &) = delete;
    TmuxDemo &operator=(const TmuxDemo &) = delete;

    void type(const std::string &text) override { run("send-keys -l " + shell_quoted(text)); }
    void resize(int cols) override { run("resize-window -x " + std::to_string(cols)); }
    void resize(int cols, int rows) {
        run("resize-window -x " + std::to_string(cols) + " -y " + std::to_string(rows));
    }
    // A key by its tmux name (C-z).
    void key(const std::string &name) { run("send-keys " + name); }
    std::vector<std::string> capture() override {
        std::vector<std::string> rows;
        FILE *p = popen((tmux() + " capture-pane -p").c_str(), "r");
        if (!p) return rows;
        char buf[4096];
        std::string all;
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            all.append(buf, n);
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

// The demo on a pseudo-terminal, its output poured into xterm.js; a resize
// reaches xterm.js between the bytes written before it and those after.
class XtermDemo : public DemoWindow {
  public:
    XtermDemo(LiveXterm &xterm, int cols, int rows, bool bounded)
        : xterm_(xterm),
          run_(demo_path(),
               bounded ? std::vector<std::string>{"--bounded"} : std::vector<std::string>{}, home_,
               rows, cols),
          term_(xterm.open(rows, cols)), rows_(rows) {}
    ~XtermDemo() override { xterm_.close(term_); }
    XtermDemo(const XtermDemo &) = delete;
    XtermDemo &operator=(const XtermDemo &) = delete;

    void type(const std::string &text) override { run_.type(text); }
    void resize(int cols) override {
        forward();
        xterm_.resize(term_, rows_, cols);
        run_.resize(rows_, cols);
    }
    std::vector<std::string> capture() override {
        forward();
        return xterm_.snap(term_).rows;
    }

  private:
    void forward() {
        run_.drain();
        xterm_.feed(term_, std::string_view(run_.log()).substr(sent_));
        sent_ = run_.log().size();
    }
    LiveXterm &xterm_;
    TempHome home_;
    ProgramRun run_;
    int term_, rows_;
    size_t sent_ = 0;
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
    while (!out.empty() && out.back().find_first_not_of(' ') == std::string::npos)
        out.pop_back();
    return out;
}

// Every typed word is in and drawn: the text on the screen, spaces left
// out, ends with the last word, which appears nowhere before it (the words
// before it repeat, so their tail shows after each round as well, while the
// demo is still taking the rest).  On a narrow screen a word takes a row per
// letter.
bool typed_in(const std::vector<std::string> &rows) {
    std::string text;
    for (const std::string &r : rows)
        for (char ch : r)
            if (ch != ' ') text += ch;
    const std::string tail = "textdone";
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Pieces of the typed words left above the editor's first row (the
// terminal may rewrap the output there, but no copy of the editor stays).
std::string stale_above(const std::vector<std::string> &rows) {
    size_t first = rows.size();
    for (size_t i = rows.size(); i-- > 0;)
        if (rows[i].rfind("kavrik> ", 0) == 0) {
            first = i;
            break;
        }
    for (size_t i = 0; i < first; ++i)
        for (const char *word : {"hello", "world", "resize", "line"})
            if (rows[i].find(word) != std::string::npos) return rows[i];
    return "";
}

std::string joined(const std::vector<std::string> &rows) {
    std::string s;
    for (const std::string &r : rows)
        s += r + "\n";
    return s;
}

const std::string forty_words = [] {
    const char *const words[] = {"hello", "world", "resize", "me", "kavrik", "line", "of", "text"};
    std::string s;
    for (int i = 0; i < 40; ++i)
        s += std::string(i ? " " : "") + words[i % 8];
    return s + " done";
}();

enum class Window { tmux, xterm_js };
std::string window_name(Window w) { return w == Window::tmux ? "tmux" : "xtermjs"; }
void PrintTo(Window w, std::ostream *os) { *os << window_name(w); }

// A demo at the given width with the forty words typed.
std::unique_ptr<DemoWindow> typed_demo(Window kind, LiveXterm *xterm, int cols, bool bounded) {
    std::unique_ptr<DemoWindow> demo;
    if (kind == Window::tmux)
        demo = std::make_unique<TmuxDemo>(cols, 24, bounded);
    else
        demo = std::make_unique<XtermDemo>(*xterm, cols, 24, bounded);
    // The prompt is drawn (on a screen narrower than it, over two rows).
    EXPECT_TRUE(eventually([&] {
        const std::string all = joined(demo->capture());
        return all.find("kavrik>") != std::string::npos ||
               all.find("kavrik\n>") != std::string::npos;
    }));
    demo->type(forty_words);
    EXPECT_TRUE(eventually([&] { return typed_in(demo->capture()); }));
    return demo;
}

// After every resize the editor is what a demo started at that width shows,
// and typing goes on in place.
struct RewrappingResize : ::testing::TestWithParam<Window> {};

TEST_P(RewrappingResize, TheEditorIsDrawnAsAFreshDrawingAtTheNewSize) {
    const Window kind = GetParam();
    if (kind == Window::tmux && !have_tmux()) GTEST_SKIP() << "tmux is not installed";
    std::unique_ptr<LiveXterm> xterm;
    if (kind == Window::xterm_js) {
        REQUIRE_EMULATOR(Emulator::xterm_js);
        xterm = std::make_unique<LiveXterm>();
        ASSERT_EQ(xterm->error(), "");
    }
    KAVRIK_NEED_EXAMPLE(demo_path());
    // Bounded rows are filled out to the box edge, so the box must be wider
    // than the prompt there; a normal editor goes down to 6 columns.
    const std::vector<int> sequences[] = {{20, 100}, {6, 80}, {100, 30}};
    for (bool bounded : {false, true}) {
        for (std::vector<int> widths : sequences) {
            if (bounded && widths[0] == 6) widths[0] = 10;
            std::string what = bounded ? "bounded 80" : "normal 80";
            auto resized = typed_demo(kind, xterm.get(), 80, bounded);
            std::unique_ptr<DemoWindow> fresh;
            for (int w : widths) {
                what += " to " + std::to_string(w);
                SCOPED_TRACE(what);
                resized->resize(w);
                fresh = typed_demo(kind, xterm.get(), w, bounded);
                // The fresh demo may still be drawing when its last words
                // show: both windows are read again on every try.
                EXPECT_TRUE(eventually([&] {
                    return editor_rows(resized->capture()) == editor_rows(fresh->capture());
                })) << "resized:\n"
                    << joined(resized->capture()) << "fresh:\n"
                    << joined(fresh->capture());
                EXPECT_EQ(stale_above(resized->capture()), "") << joined(resized->capture());
            }
            SCOPED_TRACE(what + ", then typing");
            resized->type(" more");
            fresh->type(" more");
            EXPECT_TRUE(eventually([&] {
                return editor_rows(resized->capture()) == editor_rows(fresh->capture());
            })) << "resized:\n"
                << joined(resized->capture()) << "fresh:\n"
                << joined(fresh->capture());
        }
    }
    if (xterm) EXPECT_EQ(xterm->error(), "");
}

INSTANTIATE_TEST_SUITE_P(Windows, RewrappingResize,
                         ::testing::Values(Window::tmux, Window::xterm_js),
                         [](const ::testing::TestParamInfo<Window> &info) {
                             return window_name(info.param);
                         });

// What bounded mode leaves after a change of height alone, after narrower
// then wider with output above, and after a stop and continue in a shell:
// exactly one editor, on the last row, and output written on clean rows
// only (a row that holds it holds nothing else).
TEST(TmuxResize, BoundedModeShowsOneEditorAndPrintsOnCleanRows) {
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    KAVRIK_NEED_EXAMPLE(demo_path());
    auto shows = [](TmuxDemo &d, const std::string &text) {
        return eventually([&] { return joined(d.capture()).find(text) != std::string::npos; });
    };
    struct Row {
        const char *what;
        int cols, rows;
        bool in_shell;
        std::function<void(TmuxDemo &)> steps;
        const char *last, *output; // the editor's row, and a row of output
    } const table[] = {
        {"taller", 40, 10, false,
         [&](TmuxDemo &d) {
             d.type("ab");
             ASSERT_TRUE(shows(d, "kavrik> ab"));
             d.resize(40, 14);
         },
         "kavrik> ab", "kavrik demo shell: type help, or quit to"},
        {"narrower then wider", 80, 24, false,
         [&](TmuxDemo &d) {
             d.type("help\r");
             ASSERT_TRUE(shows(d, "anything else"));
             d.resize(60, 24);
             // Drawn at 60 columns: the box was blanked first.
             ASSERT_TRUE(eventually(
                 [&] { return joined(d.capture()).find("anything") == std::string::npos; }));
             d.resize(80, 24);
             d.type("help\r");
         },
         "kavrik>", "built-in commands:"},
        {"stopped and continued", 80, 24, true,
         [&](TmuxDemo &d) {
             ASSERT_TRUE(shows(d, "kavrik>"));
             d.type("one\r");
             ASSERT_TRUE(shows(d, "echo: one"));
             d.type("two\r");
             ASSERT_TRUE(shows(d, "echo: two"));
             d.type("three");
             ASSERT_TRUE(shows(d, "kavrik> three"));
             d.key("C-z");
             ASSERT_TRUE(shows(d, "Stopped"));
             // Enter at once: it reaches the demo before any idle tick.
             d.type("fg\r\r");
         },
         "kavrik>", "echo: three"},
    };
    for (const Row &row : table) {
        SCOPED_TRACE(row.what);
        TmuxDemo d(row.cols, row.rows, true, row.in_shell);
        ASSERT_TRUE(shows(d, "kavrik>"));
        row.steps(d);
        auto right = [&] {
            std::vector<std::string> rows = d.capture();
            while (!rows.empty() && rows.back().empty())
                rows.pop_back();
            int editors = 0;
            bool output = false;
            for (const std::string &r : rows) {
                editors += r.find("kavrik>") != std::string::npos;
                output = output || r == row.output;
            }
            return editors == 1 && !rows.empty() && rows.back() == row.last && output;
        };
        EXPECT_TRUE(eventually(right)) << joined(d.capture());
    }
}

} // namespace
