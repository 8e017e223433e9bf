// Printing above the editor: erasing the frame on the screen, streaming the
// caller's text with line feeds turned into "\r\n", and drawing the editor
// again below the text (normal mode) or in its box (bounded mode, where the
// text scrolls through the output area inside a scroll region).
#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/error.h"
#include "render/internal.h"
#include "render/messages.h"

namespace {

int kv_put(const kv_state *st, std::string_view s) noexcept {
    return kv_write_seq(st->io.out_fd, s);
}

int kv_clear_bounded_frame(kv_state *st) noexcept {
    const kv_render_store &s = st->screen.store;
    for (int32_t i = 0; i < s.count; ++i)
        if (kv_blank_box_row(st, int64_t{s.top} + i) != 0) return kv_rc_failed;
    return 0;
}

// From the stored cursor row up to row 0, erase each row going down, then
// back up: the cursor ends in the first column of the frame's first row.
int kv_clear_normal_frame(kv_state *st) noexcept {
    const kv_render_store &s = st->screen.store;
    if (kv_put(st, kv_seq_cr) != 0) return kv_rc_failed;
    if (s.cursor_row > 0 && kv_write_format(st->io.out_fd, kv_seq_up, s.cursor_row) != 0)
        return kv_rc_failed;
    for (int32_t i = 0; i < s.count; ++i) {
        if (kv_put(st, kv_seq_erase_row) != 0) return kv_rc_failed;
        if (i + 1 < s.count &&
            (kv_write_format(st->io.out_fd, kv_seq_down, 1) != 0 || kv_put(st, kv_seq_cr) != 0))
            return kv_rc_failed;
    }
    if (s.count - 1 > 0 && kv_write_format(st->io.out_fd, kv_seq_up, s.count - 1) != 0)
        return kv_rc_failed;
    return kv_put(st, kv_seq_cr);
}

// Writes one chunk: the bytes between line feeds as single pieces, each line
// feed as "\r\n".  A carriage return in the text goes out unchanged.
int kv_write_chunk(const kv_state *st, const char *bytes, size_t len) noexcept {
    std::string_view rest(bytes, len);
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        const std::string_view piece = rest.substr(0, nl);
        if (!piece.empty() && kv_put(st, piece) != 0) return kv_rc_io_error;
        if (nl == std::string_view::npos) break;
        if (kv_put(st, kv_seq_crlf) != 0) return kv_rc_io_error;
        rest.remove_prefix(nl + 1);
    }
    return 0;
}

int kv_print_normal(kv_editor *ed, kv_state *st, kv_print_callback cb, void *user) noexcept {
    const char *prompt = st->flags.prompt;
    if (prompt && kv_render_clear_active(ed) != 0)
        return kv_fail_with(st, kv_result::io_error, kv_msg_clear_failed);
    const int rc = kv_write_stream(ed, cb, user);
    if (rc != 0) return rc;
    if (prompt && kv_render_apply(ed, prompt) != 0) return kv_rc_io_error;
    return 0;
}

// Columns of the whole terminal row, for the full-width test.
int kv_terminal_columns(const kv_state *st) noexcept {
    int cols = 0;
    int rows = 0;
    kv_terminal_size(st, &cols, &rows);
    if (cols > 0) return cols;
    if (!st->screen.auto_width && st->screen.width > 0) return st->screen.column + st->screen.width;
    return kv_default_cols;
}

// The two refusals: no output area above the editor, or a box that does not
// span the terminal's whole width (the scroll region would move what lies
// beside it).  0 when printing may go ahead.
int kv_bounded_refusal(kv_state *st, int32_t editor_top) noexcept {
    if (int64_t{editor_top} - 1 < st->screen.row)
        return kv_fail_with(st, kv_result::invalid, kv_msg_no_space);
    if (st->screen.column != 0 || kv_terminal_columns(st) > kv_screen_width(st))
        return kv_fail_with(st, kv_result::invalid, kv_msg_not_full_width);
    return 0;
}

// Text into the output area: scroll region over the rows above the editor,
// cursor on its last row, the text, then the region reset whatever happened.
int kv_stream_into_output_area(kv_editor *ed, kv_state *st, int32_t editor_top,
                               kv_print_callback cb, void *user) noexcept {
    const int64_t region_top = std::max(st->screen.row, 0);
    const int64_t area_bottom = int64_t{editor_top} - 1;
    if (kv_write_format2(st->io.out_fd, kv_seq_region, kv_term_coord(region_top),
                         kv_term_coord(std::max(area_bottom, region_top))) != 0)
        return kv_rc_io_error;
    int rc = kv_box_goto(st, area_bottom, st->screen.column) == 0 ? kv_write_stream(ed, cb, user)
                                                                  : kv_rc_io_error;
    if (kv_put(st, kv_seq_region_reset) != 0) return kv_rc_io_error;
    // The editor stays as it was drawn, but the cursor was left in the output
    // area; when the editor is not drawn again, put it back where the stored
    // frame says it is, so that the next drawing by difference is right.
    const kv_render_store &s = st->screen.store;
    if (rc != 0 && s.count > 0 &&
        kv_box_goto(st, int64_t{s.top} + s.cursor_row, int64_t{st->screen.column} + s.cursor_col) !=
            0)
        rc = kv_rc_io_error;
    return rc;
}

int kv_print_bounded(kv_editor *ed, kv_state *st, kv_print_callback cb, void *user) noexcept {
    const int32_t height = kv_box_height(st);
    const int32_t visible = std::min(std::max(st->screen.store.count, 1), height);
    const int32_t editor_top = kv_box_top(st, height, visible);
    int rc = kv_bounded_refusal(st, editor_top);
    if (rc == 0) rc = kv_stream_into_output_area(ed, st, editor_top, cb, user);
    if (rc != 0) return rc;
    kv_render_store_reset(st->screen.store);
    return kv_render_apply(ed, st->flags.prompt) == 0 ? 0 : kv_rc_io_error;
}

} // namespace

int kv_render_clear_active(kv_editor *ed) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || st->screen.store.count <= 0) return 0;
    const int rc = st->screen.bounded ? kv_clear_bounded_frame(st) : kv_clear_normal_frame(st);
    if (rc != 0) return kv_rc_failed;
    kv_render_store_reset(st->screen.store);
    return 0;
}

int kv_write_stream(kv_editor *ed, kv_print_callback cb, void *user) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || !cb) return kv_rc_invalid;
    for (;;) {
        const char *chunk = nullptr;
        size_t len = 0;
        const int rc = cb(ed, user, &chunk, &len);
        if (rc != 0) return rc;
        if (len == 0) return 0;
        if (!chunk) return kv_rc_invalid;
        if (kv_write_chunk(st, chunk, len) != 0) return kv_rc_io_error;
    }
}

extern "C" int kv_print_above_method(kv_editor *ed, kv_print_callback cb, void *user) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st) return kv_rc_invalid;
    return st->screen.bounded ? kv_print_bounded(ed, st, cb, user)
                              : kv_print_normal(ed, st, cb, user);
}
