// The editor handle: configuration defaults and validation, creation with the
// slot table, destruction in its fixed order, and the small accessors that
// need nothing beyond the state.
#include "api/editor.h"

#include "base/alloc.h"
#include "base/error.h"
#include "edit/edit.h"
#include "history/history.h"
#include "render/render.h"
#include "text/text.h"

namespace {

constexpr size_t kv_max_line_limit = 2147483645;

bool kv_config_valid(const kv_config &c) noexcept {
    return c.history_max_len >= 0 && c.column >= 0 && c.row >= 0 && c.width >= 0 && c.height >= 0 &&
           c.bounded >= 0 && c.max_line_len >= 1 && c.max_line_len <= kv_max_line_limit;
}

void kv_fill_slots(kv_editor *ed) noexcept {
    ed->readline = kv_readline_method;
    ed->destroy = kv_destroy_method;
    ed->free_string = kv_free_string_method;
    ed->history_add = kv_history_add_impl;
    ed->history_set_max_len = kv_history_set_max;
    ed->history_save = kv_history_save_impl;
    ed->history_load = kv_history_load_impl;
    ed->set_bounds = kv_set_bounds_method;
    ed->set_screen_width = kv_set_screen_width_method;
    ed->set_idle_callback = kv_set_idle_callback_method;
    ed->bind_key = kv_bind_key_method;
    ed->insert = kv_buf_insert_cstr;
    ed->set_buffer = kv_buf_set_public;
    ed->buffer = kv_buffer_method;
    ed->cursor = kv_cursor_method;
    ed->set_cursor = kv_set_cursor_method;
    ed->submit = kv_submit_method;
    ed->cancel = kv_cancel_method;
    ed->print_above = kv_print_above_method;
    ed->last_readline_status = kv_last_readline_status_method;
    ed->last_error = kv_last_error_method;
}

void kv_store_config(kv_state *st, const kv_config &c) noexcept {
    st->io.in_fd = c.in_fd < 0 ? 0 : c.in_fd;
    st->io.out_fd = c.out_fd < 0 ? 1 : c.out_fd;
    // A fixed height alone asks for bounded mode too.
    kv_render_set_geometry(st->screen, c.column, c.row, c.width, c.height,
                           c.bounded != 0 || c.height != 0);
    st->line.max_len = c.max_line_len;
    st->history.max_len = c.history_max_len;
    st->history.walk = -1;
    st->screen.store.top = -1;
}

} // namespace

extern "C" {

void kv_config_init_impl(kv_config *config) noexcept {
    if (!config) return;
    *config = kv_config{0, 1, 0, 0, 0, 0, 0, 100, 4096};
}

kv_editor *kv_create_with_config_impl(const kv_config *config) noexcept {
    kv_config defaults;
    if (!config) {
        kv_config_init_impl(&defaults);
        config = &defaults;
    }
    if (!kv_config_valid(*config)) return nullptr;

    auto *ed = static_cast<kv_editor *>(kv_calloc(1, sizeof(kv_editor)));
    auto *st = static_cast<kv_state *>(kv_calloc(1, sizeof(kv_state)));
    if (!ed || !st) {
        kv_free(ed);
        kv_free(st);
        return nullptr;
    }
    kv_fill_slots(ed);
    ed->state = st;
    kv_store_config(st, *config);
    // The line starts as the empty string in a first block of 256 bytes.
    if (kv_buf_reserve(ed, 1) != 0 || kv_edit_create(st) != 0) {
        kv_destroy_method(ed);
        return nullptr;
    }
    st->line.text[0] = '\0';
    return ed;
}

void kv_destroy_method(kv_editor *ed) noexcept {
    if (!ed) return;
    kv_state *st = ed->state;
    if (!st) {
        kv_free(ed);
        return;
    }
    // The running call would go on using the released state: refuse.
    if (st->flags.active) return;
    kv_terminal_restore(st);
    kv_history_free(st);
    kv_render_release(st->screen);
    kv_edit_release(st);
    kv_free(st->history.saved);
    kv_free(st->line.text);
    kv_free(st);
    kv_free(ed);
}

void kv_free_string_method(kv_editor *, char *string) noexcept { kv_free(string); }

const char *kv_buffer_method(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return nullptr;
    return st->line.text;
}

size_t kv_cursor_method(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    return st ? st->line.cursor : 0;
}

int kv_submit_method(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !st->flags.active) return kv_rc_invalid;
    st->flags.submit_requested = 1;
    return 0;
}

int kv_cancel_method(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !st->flags.active) return kv_rc_invalid;
    st->flags.cancel_requested = 1;
    return 0;
}

int kv_set_idle_callback_method(kv_editor *ed, kv_idle_callback cb, void *user) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    st->keys.idle_callback = cb;
    st->keys.idle_user_data = user;
    return 0;
}

int kv_last_readline_status_method(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    return st ? st->flags.last_status : 0;
}

const char *kv_last_error_method(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || st->error.text[0] == '\0') return nullptr;
    return st->error.text;
}

} // extern "C"
