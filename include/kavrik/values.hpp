// kavrik/values.hpp: the values of the C++ interface (codes, statuses,
// actions, results, key codes, creation settings).  <kavrik.hpp> includes it.
#ifndef KAVRIK_VALUES_HPP
#define KAVRIK_VALUES_HPP

#include <kavrik.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kavrik {

// The return codes of the C functions.
enum class code : int {
    ok = 0,
    failed = -1,    // failed while working
    invalid = -2,   // invalid argument or wrong state
    no_memory = -3, // out of memory, or the key binding table is full
    io = -4,        // input/output failure
};

// How the last readline call ended.
enum class status : int {
    none = KV_STATUS_NONE,
    line = KV_STATUS_LINE,
    eof = KV_STATUS_EOF,
    cancelled = KV_STATUS_CANCELLED,
    interrupted = KV_STATUS_INTERRUPTED,
    error = KV_STATUS_ERROR,
};

// What a key callable asks for once it returns.
enum class action : int {
    builtin = KV_ACTION_DEFAULT, // run the key's built-in command
    handled = KV_ACTION_HANDLED, // key consumed, the line is redrawn
    submit = KV_ACTION_SUBMIT,
    cancel = KV_ACTION_CANCEL,
    interrupt = KV_ACTION_INTERRUPT,
};

// The outcome of an operation: true on success.  The message is empty on
// success; otherwise it views the editor's message (valid until the next
// error) or a fixed text of this header.
struct result {
    code value = code::ok;
    std::string_view message;

    constexpr explicit operator bool() const noexcept { return value == code::ok; }
    constexpr bool ok() const noexcept { return value == code::ok; }
};

// Key codes, as the readline call decodes them.
namespace key {
inline constexpr int line_feed = 10; // Ctrl-J
inline constexpr int tab = 9;
inline constexpr int enter = 13;
inline constexpr int escape = 27;
inline constexpr int backspace = 127;
inline constexpr int up = KV_KEY_UP;
inline constexpr int down = KV_KEY_DOWN;
inline constexpr int left = KV_KEY_LEFT;
inline constexpr int right = KV_KEY_RIGHT;
inline constexpr int home = KV_KEY_HOME;
inline constexpr int end = KV_KEY_END;
inline constexpr int del = KV_KEY_DELETE;
inline constexpr int alt_b = KV_KEY_ALT_B;
inline constexpr int alt_f = KV_KEY_ALT_F;
inline constexpr int unrecognised = KV_KEY_UNRECOGNISED;
inline constexpr int paste_start = KV_KEY_PASTE_START;
inline constexpr int paste_end = KV_KEY_PASTE_END;
inline constexpr int f1 = KV_KEY_F1;
inline constexpr int f2 = KV_KEY_F2;
inline constexpr int f3 = KV_KEY_F3;
inline constexpr int f4 = KV_KEY_F4;
inline constexpr int f5 = KV_KEY_F5;
inline constexpr int f6 = KV_KEY_F6;
inline constexpr int f7 = KV_KEY_F7;
inline constexpr int f8 = KV_KEY_F8;
inline constexpr int f9 = KV_KEY_F9;
inline constexpr int f10 = KV_KEY_F10;
inline constexpr int ctrl_enter = KV_KEY_CTRL_ENTER;

// Ctrl with a letter: ctrl('a') is 1.
constexpr int ctrl(char letter) noexcept { return static_cast<unsigned char>(letter) & 0x1f; }

// ESC followed by a letter.  ESC b and ESC f have keys of their own
// (word back and forward), so alt('b') is alt_b and alt('f') is alt_f.
constexpr int alt(char letter) noexcept {
    return letter == 'b'   ? alt_b
           : letter == 'f' ? alt_f
                           : KV_KEY_ALT + static_cast<unsigned char>(letter);
}
} // namespace key

// Creation settings with named setters; the defaults are kv_config_init's.
class config {
  public:
    config() noexcept { kv_config_init(&c_); }
    config &in_fd(int fd) noexcept { return set(c_.in_fd, fd); }
    config &out_fd(int fd) noexcept { return set(c_.out_fd, fd); }
    config &width(int columns) noexcept { return set(c_.width, columns); }
    config &history_max_len(int entries) noexcept { return set(c_.history_max_len, entries); }
    config &max_line_len(std::size_t bytes) noexcept {
        c_.max_line_len = bytes;
        return *this;
    }
    // Bounded mode: the editor is pinned to the bottom of the box.
    config &bounds(int column, int row, int columns, int rows) noexcept {
        c_.column = static_cast<int32_t>(column);
        c_.row = static_cast<int32_t>(row);
        c_.width = static_cast<int32_t>(columns);
        c_.height = static_cast<int32_t>(rows);
        c_.bounded = 1;
        return *this;
    }
    config &bounded(bool on) noexcept { return set(c_.bounded, on ? 1 : 0); }
    const kv_config &get() const noexcept { return c_; }

  private:
    config &set(int32_t &field, int value) noexcept {
        field = static_cast<int32_t>(value);
        return *this;
    }
    kv_config c_;
};

class editor;

// A line as the C interface returns it, released with kv_free_string.
struct line_deleter {
    void operator()(char *line) const noexcept { kv_free_string(nullptr, line); }
};
using line_ptr = std::unique_ptr<char, line_deleter>;

} // namespace kavrik

#endif // KAVRIK_VALUES_HPP
