// Printing above the editor: arbitrary chunks of text, in normal and in
// bounded mode, during a readline call or outside one.
//
// Properties: the result is 0, the producer's own stop value, or the
// documented refusal of a box with no room above the editor; outside a call
// in normal mode exactly the text is written, each line feed as CR LF;
// after the print and the drawing that follows it (as the readline call
// draws after a callback) the editor is whole on the screen (libvterm): its
// rows and cursor are those of a fresh drawing, where the text left them
// (normal mode) or in its box (bounded mode); every scroll region that was
// set is reset.
#include <string>
#include <vector>

#include "base/state.h"
#include "bounded_term.h"
#include "fuzz_check.h"
#include "kavrik.h"
#include "render/internal.h"
#include "render/render.h"
#include "text/text.h"
#include "unicode/unicode.h"
#include "write_capture.h"

namespace {

struct Setup {
    int cols, rows;
    bool bounded, in_call;
    int box_row, box_height;
    std::string prompt, line;
    size_t cursor;
};

// Chunk bytes: printable ASCII, line feed, carriage return and tab as they
// are; anything else becomes a letter (escape sequences in the text are the
// caller's business and would move the editor themselves).
std::string chunk_text(std::string_view raw) {
    std::string out;
    for (char ch : raw) {
        auto b = static_cast<unsigned char>(ch);
        bool keep = (b >= 0x20 && b < 0x7f) || b == '\n' || b == '\r' || b == '\t';
        out += keep ? ch : static_cast<char>('a' + b % 26);
    }
    return out;
}

kv_editor *editor_for(const Setup &s) {
    kv_editor *ed = make_captured_editor();
    if (s.bounded) FUZZ_CHECK(kv_set_bounds(ed, 0, s.box_row, 0, s.box_height) == 0, "bounds");
    FUZZ_CHECK(kv_buf_set_bytes(ed, s.line.data(), s.line.size()) == 0, "set");
    ed->state->line.cursor = s.cursor;
    return ed;
}

struct Frame {
    std::vector<std::string> rows; // the editor's rows on the screen
    int top;
    int cursor_row, cursor_col;
};

// The editor's rows as the screen shows them: from the top row of the box
// (bounded) or from the row the cursor is on less the cursor's row.
Frame frame_of(WriteCapture &term, const kv_state *st) {
    Frame f{};
    const VtScreen &scr = term.screen();
    f.cursor_row = scr.cursor_row();
    f.cursor_col = scr.cursor_col();
    f.top = st->screen.bounded ? st->screen.store.top : f.cursor_row - st->screen.store.cursor_row;
    for (int r = 0; r < st->screen.store.count; ++r)
        f.rows.push_back(scr.row(f.top + r));
    return f;
}

// Every "\e[<top>;<bottom>r" is followed later by "\e[r".
bool regions_reset(const std::string &out) {
    bool open = false;
    for (size_t i = 0; (i = out.find("\x1b[", i)) != std::string::npos; i += 2) {
        size_t j = i + 2;
        while (j < out.size() && ((out[j] >= '0' && out[j] <= '9') || out[j] == ';'))
            ++j;
        if (j < out.size() && out[j] == 'r') open = j > i + 2;
    }
    return !open;
}

std::string describe(const Setup &s, const Chunks &p) {
    std::string d = std::string(s.bounded ? "bounded" : "normal") +
                    (s.in_call ? " in a call" : " outside a call") + ", " + std::to_string(s.cols) +
                    "x" + std::to_string(s.rows);
    if (s.bounded)
        d += " box row " + std::to_string(s.box_row) + " height " + std::to_string(s.box_height);
    d += ", prompt \"" + fuzz_visible(s.prompt) + "\", line \"" + fuzz_visible(s.line) + "\" at " +
         std::to_string(s.cursor) + ", chunks";
    for (const auto &c : p.parts)
        d += " \"" + fuzz_visible(c) + "\"";
    if (p.result) d += " then stop " + std::to_string(p.result);
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzInput in(data, size);
    Setup s{};
    uint8_t flags = in.byte();
    s.bounded = flags & 1;
    s.in_call = (flags & 2) != 0;
    s.cols = in.range(8, 40);
    s.rows = in.range(4, 24);
    s.box_row = in.range(0, s.rows - 1);
    s.box_height = in.range(0, s.rows - s.box_row); // 0: to the bottom
    s.prompt = fuzz_joined(fuzz_tokens(in, 3, false));
    if (static_cast<int>(s.prompt.size()) + 2 > s.cols / 2) s.prompt = "> ";
    FuzzTokens line = fuzz_tokens(in, 10, true);
    s.line = fuzz_joined(line);
    s.cursor = fuzz_joined(line, in.byte() % (line.size() + 1)).size();
    Chunks p;
    p.result = (flags & 4) ? 1 + (flags >> 3) : 0;
    while (in.left() > 0 && p.parts.size() < 16) {
        std::string c = chunk_text(in.piece(40));
        if (c.empty()) break; // an empty chunk ends the text
        p.parts.push_back(c);
    }
    const char *prompt = s.in_call ? s.prompt.c_str() : nullptr;
    const std::string ctx = describe(s, p);

    // The print, then the drawing the readline call would make next.
    Frame printed;
    int rc;
    std::string out;
    {
        WriteCapture term(s.rows, s.cols);
        kv_editor *ed = editor_for(s);
        ed->state->flags.prompt = prompt;
        if (s.in_call || s.bounded) FUZZ_CHECK(kv_render_apply(ed, prompt) == 0, ctx);
        term.clear();
        rc = kv_print_above(ed, Chunks::produce, &p);
        out = term.text();
        const char *err = kv_last_error(ed);
        bool refused = rc == -2 && s.bounded && err &&
                       std::string(err) == "bounded prompt has no space above it";
        FUZZ_CHECK(rc == 0 || rc == p.result || refused,
                   ctx + ": returned " + std::to_string(rc) + " (" + (err ? err : "") + ")");
        FUZZ_CHECK(regions_reset(out), ctx + ": scroll region left set: " + fuzz_visible(out));
        if (!s.in_call && !s.bounded) {
            std::string want;
            for (const auto &c : p.parts)
                for (char ch : c)
                    want += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
            FUZZ_CHECK(out == want, ctx + ": wrote " + fuzz_visible(out));
            kv_destroy(ed);
            return 0;
        }
        FUZZ_CHECK(kv_render_apply(ed, prompt) == 0, ctx + ": drawing after the print");
        printed = frame_of(term, ed->state);
        kv_destroy(ed);
    }

    // The same editor drawn on a fresh terminal.
    Frame fresh;
    {
        WriteCapture term(s.rows, s.cols);
        kv_editor *ed = editor_for(s);
        FUZZ_CHECK(kv_render_apply(ed, prompt) == 0, ctx + ": fresh drawing");
        fresh = frame_of(term, ed->state);
        kv_destroy(ed);
    }
    FUZZ_CHECK(printed.rows.size() == fresh.rows.size(), ctx + ": row count");
    for (size_t r = 0; r < fresh.rows.size(); ++r) {
        // In normal mode the editor's first row may share its screen row
        // with the rest of a last text line that did not end with a line
        // feed: the editor is drawn over it from the first column.
        bool shared = !s.bounded && r == 0;
        const std::string &got = printed.rows[r];
        const std::string &want = fresh.rows[r];
        bool ok = shared ? got.compare(0, want.size(), want) == 0 : got == want;
        FUZZ_CHECK(ok, ctx + ": editor row " + std::to_string(r) + " shows \"" + got +
                           "\", want \"" + want + "\"\n" + "output: " + fuzz_visible(out));
    }
    if (s.bounded) FUZZ_CHECK(printed.top == fresh.top, ctx + ": editor top");
    FUZZ_CHECK(printed.cursor_col == fresh.cursor_col &&
                   printed.cursor_row - printed.top == fresh.cursor_row - fresh.top,
               ctx + ": cursor " + std::to_string(printed.cursor_row) + "," +
                   std::to_string(printed.cursor_col) + " vs fresh " +
                   std::to_string(fresh.cursor_row) + "," + std::to_string(fresh.cursor_col));
    return 0;
}
