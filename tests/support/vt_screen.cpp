#include "vt_screen.h"

#include <vterm.h>

#include <stdexcept>

namespace {

void append_utf8(std::string &out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

VtScreen::VtScreen(int rows, int cols) : rows_(rows), cols_(cols) {
    vt_ = vterm_new(rows, cols);
    if (!vt_) throw std::runtime_error("vterm_new failed");
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
}

VtScreen::~VtScreen() { vterm_free(vt_); }

void VtScreen::feed(std::string_view bytes) {
    vterm_input_write(vt_, bytes.data(), bytes.size());
    vterm_screen_flush_damage(screen_);
}

void VtScreen::resize(int rows, int cols) {
    vterm_set_size(vt_, rows, cols);
    vterm_screen_flush_damage(screen_);
    rows_ = rows;
    cols_ = cols;
}

std::string VtScreen::row(int r) const {
    std::string out;
    size_t keep = 0;
    for (int c = 0; c < cols_;) {
        VTermScreenCell cell;
        VTermPos pos{r, c};
        if (!vterm_screen_get_cell(screen_, pos, &cell)) break;
        if (cell.chars[0] == 0) {
            out += ' ';
        } else {
            for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i]; ++i)
                append_utf8(out, cell.chars[i]);
            if (cell.chars[0] != ' ') keep = out.size();
        }
        c += cell.width > 0 ? cell.width : 1;
    }
    out.resize(keep);
    return out;
}

std::string VtScreen::dump() const {
    std::string out;
    for (int r = 0; r < rows_; ++r) {
        if (r) out += '\n';
        out += row(r);
    }
    return out;
}

int VtScreen::cursor_row() const {
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &p);
    return p.row;
}

int VtScreen::cursor_col() const {
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &p);
    return p.col;
}
