// The built-in editing commands: one table for normal editing and one for the
// reverse history search, each mapping a key code to a small command.  Every
// cursor step and deletion goes by grapheme cluster.
#include "edit/internal.h"
#include "edit/messages.h"
#include "history/history.h"
#include "render/render.h"
#include "text/text.h"

namespace {

using kv_command = void (*)(kv_call *, int key);

struct kv_command_entry {
    int key;
    kv_command run;
};

// Typed text: keys 32..255 other than DEL, the first byte of a character.
bool kv_is_text_key(int key) { return key >= 32 && key <= 255 && key != 127; }

// ---- normal editing ---------------------------------------------------------------

void kv_cmd_home(kv_call *c, int) { c->st->line.cursor = 0; }

void kv_cmd_end(kv_call *c, int) { c->st->line.cursor = c->st->line.len; }

void kv_cmd_left(kv_call *c, int) {
    kv_state *st = c->st;
    if (st->line.cursor > 0)
        st->line.cursor -= kv_utf8_prev_cluster_len(st->line.text, st->line.cursor);
}

void kv_cmd_right(kv_call *c, int) {
    kv_state *st = c->st;
    if (st->line.cursor < st->line.len)
        st->line.cursor +=
            kv_utf8_cluster_len_width(st->line.text, st->line.len, st->line.cursor, nullptr);
}

void kv_cmd_interrupt(kv_call *c, int) { c->end = kv_end::interrupt; }

void kv_cmd_submit(kv_call *c, int) { c->end = kv_end::submit; }

// Deletes the cluster at the cursor; false when the cursor is at the end.
bool kv_delete_forward(kv_call *c) {
    kv_state *st = c->st;
    if (st->line.cursor >= st->line.len) return false;
    size_t n = kv_utf8_cluster_len_width(st->line.text, st->line.len, st->line.cursor, nullptr);
    kv_buf_delete(c->ed, st->line.cursor, n);
    return true;
}

void kv_cmd_ctrl_d(kv_call *c, int) {
    if (!kv_delete_forward(c) && c->st->line.len == 0) c->end = kv_end::eof;
}

void kv_cmd_delete(kv_call *c, int) { kv_delete_forward(c); }

void kv_cmd_backspace(kv_call *c, int) {
    kv_state *st = c->st;
    if (st->line.cursor == 0) return;
    size_t n = kv_utf8_prev_cluster_len(st->line.text, st->line.cursor);
    kv_buf_delete(c->ed, st->line.cursor - n, n);
    st->line.cursor -= n;
}

// Inserts bytes at the cursor; a full buffer refuses them and nothing moves.
void kv_insert_at_cursor(kv_call *c, const char *bytes, size_t n) {
    kv_state *st = c->st;
    if (kv_buf_insert(c->ed, st->line.cursor, bytes, n) == 0) st->line.cursor += n;
}

void kv_cmd_line_feed(kv_call *c, int) { kv_insert_at_cursor(c, "\n", 1); }

void kv_cmd_kill_to_end(kv_call *c, int) {
    kv_state *st = c->st;
    kv_buf_delete(c->ed, st->line.cursor, st->line.len - st->line.cursor);
}

void kv_cmd_kill_to_start(kv_call *c, int) {
    kv_state *st = c->st;
    kv_buf_delete(c->ed, 0, st->line.cursor);
    st->line.cursor = 0;
}

void kv_cmd_kill_word(kv_call *c, int) {
    kv_state *st = c->st;
    if (st->line.cursor == 0) return;
    size_t s = kv_word_backward(st->line.text, st->line.cursor);
    kv_buf_delete(c->ed, s, st->line.cursor - s);
    st->line.cursor = s;
}

void kv_cmd_word_backward(kv_call *c, int) {
    kv_state *st = c->st;
    st->line.cursor = kv_word_backward(st->line.text, st->line.cursor);
}

void kv_cmd_word_forward(kv_call *c, int) {
    kv_state *st = c->st;
    const char *text = st->line.text;
    size_t i = st->line.cursor;
    while (i < st->line.len && !kv_is_space(static_cast<unsigned char>(text[i])))
        ++i;
    while (i < st->line.len && kv_is_space(static_cast<unsigned char>(text[i])))
        ++i;
    st->line.cursor = i;
}

// Up walks up the rows of the line, and from the end of a one-row line into
// the history.  During a walk, the first row of a line of several rows leads
// on to the older entry too: an entry that wraps or holds a line break puts
// the cursor at its end, and walking up its rows moves it away from there.
void kv_cmd_up(kv_call *c, int) {
    if (kv_move_visual(c->ed, c->prompt, -1)) return;
    kv_state *st = c->st;
    bool older = st->line.cursor == st->line.len;
    if (!older && st->history.walk != -1) {
        int32_t row = 0;
        older = kv_render_rows(c->ed, c->prompt, &row) > 1 && row == 0;
    }
    if (older) kv_history_nav(c->ed, -1);
}

void kv_cmd_down(kv_call *c, int) {
    if (kv_move_visual(c->ed, c->prompt, +1)) return;
    if (c->st->history.walk != -1) kv_history_nav(c->ed, +1);
}

void kv_cmd_paste_start(kv_call *c, int) { c->st->flags.paste_active = 1; }

void kv_cmd_search_start(kv_call *c, int) {
    // A masked line shows nothing typed, but the search's prompt would show
    // its query: no search while the mask is on.
    if (c->st->screen.extras.mask) return;
    if (kv_search_start(c->ed, &c->search) != 0) kv_call_fail(c, kv_msg_search_start);
}

// The first byte of a typed character; the rest follow as they arrive.
void kv_cmd_text(kv_call *c, int key) {
    kv_utf8_take(c, static_cast<unsigned char>(key), kv_utf8_use::text);
}

constexpr kv_command_entry kv_normal_commands[] = {
    {kv_ctrl('a'), kv_cmd_home},
    {KV_KEY_HOME, kv_cmd_home},
    {kv_ctrl('b'), kv_cmd_left},
    {KV_KEY_LEFT, kv_cmd_left},
    {kv_ctrl('c'), kv_cmd_interrupt},
    {kv_ctrl('d'), kv_cmd_ctrl_d},
    {KV_KEY_DELETE, kv_cmd_delete},
    {kv_ctrl('e'), kv_cmd_end},
    {KV_KEY_END, kv_cmd_end},
    {kv_ctrl('f'), kv_cmd_right},
    {KV_KEY_RIGHT, kv_cmd_right},
    {kv_ctrl('h'), kv_cmd_backspace},
    {kv_key_backspace, kv_cmd_backspace},
    {kv_ctrl('j'), kv_cmd_line_feed},
    {kv_ctrl('k'), kv_cmd_kill_to_end},
    {kv_key_enter, kv_cmd_submit},
    {kv_ctrl('r'), kv_cmd_search_start},
    {kv_ctrl('u'), kv_cmd_kill_to_start},
    {kv_ctrl('w'), kv_cmd_kill_word},
    {KV_KEY_ALT_B, kv_cmd_word_backward},
    {KV_KEY_ALT_F, kv_cmd_word_forward},
    {KV_KEY_UP, kv_cmd_up},
    {KV_KEY_DOWN, kv_cmd_down},
    {KV_KEY_PASTE_START, kv_cmd_paste_start},
};

// ---- reverse search -----------------------------------------------------------------

// Runs one search operation; a failure ends the call with the update message.
void kv_search_result(kv_call *c, int result) {
    if (result != 0) kv_call_fail(c, kv_msg_search_update);
}

void kv_cmd_search_cancel(kv_call *c, int) {
    if (kv_search_cancel(c->ed, &c->search) != 0) kv_call_fail(c, kv_msg_search_cancel);
}

void kv_cmd_search_erase(kv_call *c, int) {
    kv_search_result(c, kv_search_erase(c->ed, &c->search));
}

void kv_cmd_search_accept(kv_call *c, int) {
    kv_search_accept(&c->search);
    c->end = kv_end::submit;
}

void kv_cmd_search_next(kv_call *c, int) { kv_search_result(c, kv_search_next(c->ed, &c->search)); }

void kv_cmd_search_clear(kv_call *c, int) {
    kv_search_result(c, kv_search_clear_query(c->ed, &c->search));
}

void kv_cmd_search_text(kv_call *c, int key) {
    kv_utf8_take(c, static_cast<unsigned char>(key), kv_utf8_use::query);
}

// A paste during a search goes into the query (the paste handling knows).
constexpr kv_command_entry kv_search_commands[] = {
    {kv_ctrl('c'), kv_cmd_interrupt},         {kv_ctrl('g'), kv_cmd_search_cancel},
    {kv_key_esc, kv_cmd_search_cancel},       {kv_ctrl('h'), kv_cmd_search_erase},
    {kv_key_backspace, kv_cmd_search_erase},  {kv_key_enter, kv_cmd_search_accept},
    {kv_ctrl('r'), kv_cmd_search_next},       {kv_ctrl('u'), kv_cmd_search_clear},
    {KV_KEY_PASTE_START, kv_cmd_paste_start},
};

template <size_t N> kv_command kv_find_command(const kv_command_entry (&table)[N], int key) {
    for (const kv_command_entry &e : table)
        if (e.key == key) return e.run;
    return nullptr;
}

} // namespace

void kv_edit_command(kv_call *c, int key) noexcept {
    bool searching = c->search.active != 0;
    kv_command run = searching ? kv_find_command(kv_search_commands, key)
                               : kv_find_command(kv_normal_commands, key);
    if (!run && kv_is_text_key(key)) run = searching ? kv_cmd_search_text : kv_cmd_text;
    if (run) run(c, key);
}
