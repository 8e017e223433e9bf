// kavrik.hpp: a C++17 interface to the kavrik line editor.
//
// Header-only, built on the public C functions of kavrik.h alone.  An
// kavrik::editor owns its kv_editor and every callable given to it; results
// are values (nothing here throws), so the header also works with
// -fno-exceptions.  A callable that throws is stopped in the trampoline that
// called it and never unwinds through the library's frames.
#ifndef KAVRIK_HPP
#define KAVRIK_HPP

#include <kavrik.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

namespace detail {

// Stops every exception of a callable at the trampoline.  Without exceptions
// the handler becomes an else branch that never runs but still compiles.
#if defined(__cpp_exceptions)
#define KAVRIK_TRY try
#define KAVRIK_CATCH_ALL catch (...)
#else
#define KAVRIK_TRY if (true)
#define KAVRIK_CATCH_ALL else
#endif

// The core's key binding table holds 64 keys; the wrapper keeps one callable
// for each.
inline constexpr std::size_t binding_slots = 64;

inline constexpr const char *msg_nul = "text holds a NUL byte";
inline constexpr const char *msg_copy = "out of memory while copying text";
inline constexpr const char *msg_line = "out of memory while returning line";
inline constexpr const char *msg_callable = "out of memory while storing a callable";
inline constexpr const char *msg_table = "too many key bindings";
inline constexpr const char *msg_producer = "text producer failed";
inline constexpr const char *msg_not_running = "no readline call is running";
inline constexpr const char *msg_no_editor = "no editor";
inline constexpr const char *msg_key_zero = "key code 0 cannot be bound";
inline constexpr const char *msg_output = "failed to write terminal output";

// A fixed text for a code whose call left no message of its own.
constexpr const char *code_text(int rc) noexcept {
    switch (static_cast<code>(rc)) {
    case code::failed:
        return "operation failed";
    case code::invalid:
        return "invalid argument or state";
    case code::no_memory:
        return "out of memory";
    case code::io:
        return "input/output failure";
    default:
        return "callback failed";
    }
}

// A NUL-terminated copy of a view: on the stack when short, else on the heap.
class c_text {
  public:
    explicit c_text(std::string_view s) noexcept {
        if (!s.empty() && std::memchr(s.data(), '\0', s.size()) != nullptr) {
            error_ = msg_nul;
            return;
        }
        char *p = small_;
        if (s.size() >= sizeof small_) {
            p = heap_ = new (std::nothrow) char[s.size() + 1];
            if (!p) {
                error_ = msg_copy;
                return;
            }
        }
        if (!s.empty()) std::memcpy(p, s.data(), s.size());
        p[s.size()] = '\0';
        text_ = p;
    }
    ~c_text() { delete[] heap_; }
    c_text(const c_text &) = delete;
    c_text &operator=(const c_text &) = delete;

    const char *get() const noexcept { return text_; } // null when error() is set
    const char *error() const noexcept { return error_; }

  private:
    char small_[256];
    char *heap_ = nullptr;
    const char *text_ = nullptr;
    const char *error_ = nullptr;
};

// A stored callable.  A holder released while it runs (a key callable that
// rebinds its own key) is deleted by its trampoline once it returns.
struct holder {
    virtual ~holder() = default;
    bool running = false;
    bool doomed = false;
};

inline void release(holder *h) noexcept {
    if (!h) return;
    if (h->running)
        h->doomed = true;
    else
        delete h;
}

struct editor_state;

// A library attached to the editor (the companion's wrapper fills it in):
// released before the editor, and told when the application binds one of
// its keys for itself.
struct extension {
    void *data = nullptr;
    void (*release)(void *data) = nullptr;
    void (*key_bound)(void *data, int key) = nullptr;
    // Set while the library owns the editor's idle slot: it calls
    // routed_idle, which runs the idle callable, from its own tick.
    bool idle_routed = false;
};

struct key_holder : holder {
    editor_state *owner = nullptr;
    virtual int call(editor &ed, int key, int *act) noexcept = 0;
};

struct idle_holder : holder {
    editor_state *owner = nullptr;
    virtual void call(editor &ed) noexcept = 0;
};

// The part of an editor that callbacks reach: it stays put when the editor
// object moves.
struct editor_state {
    kv_editor *ed = nullptr;
    editor *self = nullptr;
    kv_config cfg{};
    struct binding {
        int key;
        key_holder *fn;
    } keys[binding_slots] = {};
    idle_holder *idle = nullptr;
    extension ext;
    // A failure of the wrapper itself, newer than the editor's last message.
    const char *own_error = nullptr;
    bool readline_failed = false;
};

template <class F> struct key_fn final : key_holder {
    F f;
    template <class G> explicit key_fn(G &&g) : f(std::forward<G>(g)) {}
    int call(editor &ed, int key, int *act) noexcept override {
        KAVRIK_TRY {
            if constexpr (std::is_void_v<std::invoke_result_t<F &, editor &, int>>)
                f(ed, key);
            else
                *act = static_cast<int>(static_cast<action>(f(ed, key)));
            return 0;
        }
        KAVRIK_CATCH_ALL { return static_cast<int>(code::failed); }
    }
};

template <class F> struct idle_fn final : idle_holder {
    F f;
    template <class G> explicit idle_fn(G &&g) : f(std::forward<G>(g)) {}
    void call(editor &ed) noexcept override {
        // The idle callback cannot fail the call: an exception is dropped.
        KAVRIK_TRY { f(ed); }
        KAVRIK_CATCH_ALL {}
    }
};

// Makes a holder without letting a throwing copy escape; null on failure.
template <class H, class F> H *make_holder(F &&f) noexcept {
    KAVRIK_TRY { return new (std::nothrow) H(std::forward<F>(f)); }
    KAVRIK_CATCH_ALL { return nullptr; }
}

inline int key_trampoline(kv_editor *, int key, void *user, int *act) noexcept;
inline void idle_trampoline(kv_editor *, void *user) noexcept;
inline void routed_idle(kv_editor *, void *state) noexcept;

template <class F> struct producer {
    F &f;
    std::string_view piece;
    bool threw = false;
    bool asked = false; // the editor asked for text (it erased any drawing first)
    static int next(kv_editor *, void *user, const char **chunk, std::size_t *len) noexcept {
        auto *p = static_cast<producer *>(user);
        p->asked = true;
        KAVRIK_TRY {
            p->piece = p->f();
            *chunk = p->piece.data();
            *len = p->piece.data() ? p->piece.size() : 0;
            return 0;
        }
        KAVRIK_CATCH_ALL {
            p->threw = true;
            return static_cast<int>(code::failed);
        }
    }
};

} // namespace detail

// The line editor: owns a kv_editor and the callables bound to it.  Move-only;
// an editor that could not be created tests false, and its operations fail
// with code::invalid.
class editor {
  public:
    editor() noexcept { adopt(kv_create(), nullptr); }
    explicit editor(const config &cfg) noexcept {
        adopt(kv_create_with_config(&cfg.get()), &cfg.get());
    }
    ~editor() { reset(); }
    editor(editor &&other) noexcept : s_(std::exchange(other.s_, nullptr)) {
        if (s_) s_->self = this;
    }
    editor &operator=(editor &&other) noexcept {
        if (this != &other) {
            reset();
            s_ = std::exchange(other.s_, nullptr);
            if (s_) s_->self = this;
        }
        return *this;
    }
    editor(const editor &) = delete;
    editor &operator=(const editor &) = delete;

    explicit operator bool() const noexcept { return s_ != nullptr; }
    // The C handle, for functions this header does not wrap.
    kv_editor *get() const noexcept { return s_ ? s_->ed : nullptr; }

    // ---- the readline call ----

    // The submitted line, or nothing: last_status() says why.
    std::optional<std::string> readline(const char *prompt = "> ") noexcept {
        line_ptr line = read_raw(prompt);
        if (!line) return std::nullopt;
        KAVRIK_TRY { return std::optional<std::string>(std::in_place, line.get()); }
        KAVRIK_CATCH_ALL {
            fail_readline(detail::msg_line);
            return std::nullopt;
        }
    }
    std::optional<std::string> readline(std::string_view prompt) noexcept {
        detail::c_text p(prompt);
        if (!p.get()) {
            fail_readline(p.error());
            return std::nullopt;
        }
        return readline(p.get());
    }
    // The line as the C call returns it; never allocates on its own.
    line_ptr read_raw(const char *prompt = "> ") noexcept {
        if (s_) {
            s_->readline_failed = false;
            s_->own_error = nullptr;
        }
        line_ptr line(kv_readline(get(), prompt));
        // A failed call leaves the newest message, newer than any failure of
        // this header inside the call's callables.
        if (s_ && kv_last_readline_status(s_->ed) == KV_STATUS_ERROR) s_->own_error = nullptr;
        return line;
    }
    status last_status() const noexcept {
        if (s_ && s_->readline_failed) return status::error;
        return static_cast<status>(kv_last_readline_status(get()));
    }
    // The most recent error message ("" before the first one).
    std::string_view last_error() const noexcept {
        if (s_ && s_->own_error) return s_->own_error;
        const char *m = kv_last_error(get());
        return m ? std::string_view(m) : std::string_view();
    }

    // From a callable of a running readline call: end it.
    result submit() noexcept { return request(kv_submit(get())); }
    result cancel() noexcept { return request(kv_cancel(get())); }

    // ---- the line ----

    std::string_view buffer() const noexcept {
        const char *b = kv_buffer(get());
        return b ? std::string_view(b) : std::string_view();
    }
    std::size_t cursor() const noexcept { return kv_cursor(get()); }
    result set_cursor(std::size_t position) noexcept {
        return finish(kv_set_cursor(get(), position));
    }
    result insert(std::string_view text) noexcept { return with_text(text, kv_insert); }
    result set_buffer(std::string_view text) noexcept { return with_text(text, kv_set_buffer); }

    // ---- history ----

    result history_add(std::string_view line) noexcept { return with_text(line, kv_history_add); }
    result history_set_max_len(int max) noexcept {
        return finish(kv_history_set_max_len(get(), static_cast<int32_t>(max)));
    }
    result history_save(std::string_view path) noexcept { return with_text(path, kv_history_save); }
    result history_load(std::string_view path) noexcept { return with_text(path, kv_history_load); }

    // ---- layout ----

    result set_bounds(int column, int row, int width, int height) noexcept {
        if (s_ && column >= 0 && row >= 0 && width >= 0 && height >= 0) s_->cfg.bounded = 1;
        return finish(kv_set_bounds(get(), static_cast<int32_t>(column), static_cast<int32_t>(row),
                                    static_cast<int32_t>(width), static_cast<int32_t>(height)));
    }
    result set_screen_width(int width) noexcept {
        return finish(kv_set_screen_width(get(), static_cast<int32_t>(width)));
    }

    // ---- printing above the prompt ----

    result print_above(std::string_view text) noexcept {
        bool given = false;
        return print_above([&]() noexcept -> std::string_view {
            if (given) return {};
            given = true;
            return text;
        });
    }
    // Pieces come from producer() until it returns an empty view; each must
    // stay valid until the next call.
    template <class F, std::enable_if_t<std::is_invocable_r_v<std::string_view, F &>, int> = 0>
    result print_above(F &&producer) noexcept {
        detail::producer<std::remove_reference_t<F>> p{producer, {}, false, false};
        int rc = kv_print_above(get(), &decltype(p)::next, &p);
        if (rc == 0 || !s_) return finish(rc);
        // A producer's own failure leaves no message: the older one would
        // mislead.
        if (p.threw) return own_failure(static_cast<code>(rc), detail::msg_producer);
        // An output failure leaves a message only when erasing the drawing
        // failed, which comes before the first piece is asked for and never
        // happens in a bounded box.  Writing the text or the scroll region
        // leaves none, and drawing the editor again leaves this very text.
        if (static_cast<code>(rc) == code::io && (p.asked || s_->cfg.bounded))
            return own_failure(code::io, detail::msg_output);
        return finish(rc);
    }

    // ---- key bindings and the idle callable ----

    // Binds key to f, called as f(editor &, int key) and returning an action
    // (or nothing, which means action::handled).  Rebinding or unbinding the
    // key, and destroying the editor, release the callable.
    template <class F,
              std::enable_if_t<std::is_invocable_v<std::decay_t<F> &, editor &, int>, int> = 0>
    result bind(int key, F &&f) noexcept {
        using fn = detail::key_fn<std::decay_t<F>>;
        if (!s_) return no_editor();
        detail::editor_state::binding *slot = find_binding(key);
        if (!slot) slot = find_binding_slot();
        if (!slot) return own_failure(code::no_memory, detail::msg_table);
        fn *h = detail::make_holder<fn>(std::forward<F>(f));
        if (!h) return own_failure(code::no_memory, detail::msg_callable);
        h->owner = s_;
        int rc = kv_bind_key(s_->ed, static_cast<int32_t>(key), &detail::key_trampoline, h);
        if (rc != 0) {
            delete h;
            return bind_failure(rc);
        }
        detail::release(slot->fn);
        *slot = {key, h};
        if (s_->ext.key_bound) s_->ext.key_bound(s_->ext.data, key);
        return {};
    }
    result bind(int key, std::nullptr_t) noexcept { return unbind(key); }
    result unbind(int key) noexcept {
        int rc = kv_bind_key(get(), static_cast<int32_t>(key), nullptr, nullptr);
        if (rc != 0) return bind_failure(rc);
        if (detail::editor_state::binding *slot = find_binding(key)) {
            detail::release(slot->fn);
            *slot = {};
        }
        if (s_ && s_->ext.key_bound) s_->ext.key_bound(s_->ext.data, key);
        return {};
    }

    // Calls f(editor &) about every 0.1 s while the user types nothing.
    template <class F, std::enable_if_t<std::is_invocable_v<std::decay_t<F> &, editor &>, int> = 0>
    result on_idle(F &&f) noexcept {
        using fn = detail::idle_fn<std::decay_t<F>>;
        if (!s_) return no_editor();
        fn *h = detail::make_holder<fn>(std::forward<F>(f));
        if (!h) return own_failure(code::no_memory, detail::msg_callable);
        h->owner = s_;
        if (!s_->ext.idle_routed) kv_set_idle_callback(s_->ed, &detail::idle_trampoline, h);
        detail::release(s_->idle);
        s_->idle = h;
        return {};
    }
    result on_idle(std::nullptr_t) noexcept {
        if (!s_) return no_editor();
        if (!s_->ext.idle_routed) kv_set_idle_callback(s_->ed, nullptr, nullptr);
        detail::release(s_->idle);
        s_->idle = nullptr;
        return {};
    }

    // For the wrappers of a library attached to the editor (the companion's):
    // the handle, the configuration and the extension slot.
    detail::editor_state *state() const noexcept { return s_; }

  private:
    void adopt(kv_editor *ed, const kv_config *cfg) noexcept {
        if (!ed) return;
        s_ = new (std::nothrow) detail::editor_state;
        if (!s_) {
            kv_destroy(ed);
            return;
        }
        s_->ed = ed;
        s_->self = this;
        if (cfg)
            s_->cfg = *cfg;
        else
            kv_config_init(&s_->cfg);
    }
    void reset() noexcept {
        if (!s_) return;
        if (s_->ext.release) s_->ext.release(s_->ext.data);
        kv_destroy(s_->ed);
        for (auto &b : s_->keys)
            delete b.fn;
        delete s_->idle;
        delete s_;
        s_ = nullptr;
    }
    detail::editor_state::binding *find_binding(int key) const noexcept {
        for (auto &b : s_->keys)
            if (b.fn && b.key == key) return &b;
        return nullptr;
    }
    detail::editor_state::binding *find_binding_slot() const noexcept {
        for (auto &b : s_->keys)
            if (!b.fn) return &b;
        return nullptr;
    }
    template <class Fn> result with_text(std::string_view text, Fn fn) noexcept {
        if (!s_) return no_editor();
        detail::c_text t(text);
        if (!t.get())
            return own_failure(t.error() == detail::msg_nul ? code::invalid : code::no_memory,
                               t.error());
        return finish(fn(s_->ed, t.get()));
    }
    // The code with the message the call left.
    result finish(int rc) noexcept {
        if (rc == 0) return {};
        if (!s_) return {static_cast<code>(rc), detail::msg_no_editor};
        s_->own_error = nullptr;
        const char *m = kv_last_error(s_->ed);
        return {static_cast<code>(rc), m ? m : detail::code_text(rc)};
    }
    // A refused key code (0) leaves no message; a full table leaves one.
    result bind_failure(int rc) noexcept {
        if (static_cast<code>(rc) == code::invalid && s_)
            return own_failure(code::invalid, detail::msg_key_zero);
        return finish(rc);
    }
    result request(int rc) noexcept {
        if (rc == 0) return {};
        if (!s_) return no_editor();
        return own_failure(static_cast<code>(rc), detail::msg_not_running);
    }
    result own_failure(code c, const char *message) noexcept {
        if (s_) s_->own_error = message;
        return {c, message};
    }
    result no_editor() const noexcept { return {code::invalid, detail::msg_no_editor}; }
    void fail_readline(const char *message) noexcept {
        if (!s_) return;
        s_->readline_failed = true;
        s_->own_error = message;
    }

    detail::editor_state *s_ = nullptr;
};

namespace detail {

inline int key_trampoline(kv_editor *, int key, void *user, int *act) noexcept {
    auto *h = static_cast<key_holder *>(user);
    h->running = true;
    int rc = h->call(*h->owner->self, key, act);
    h->running = false;
    if (h->doomed) delete h;
    return rc;
}

inline void idle_trampoline(kv_editor *, void *user) noexcept {
    auto *h = static_cast<idle_holder *>(user);
    h->running = true;
    h->call(*h->owner->self);
    h->running = false;
    if (h->doomed) delete h;
}

inline void routed_idle(kv_editor *ed, void *state) noexcept {
    if (idle_holder *h = static_cast<editor_state *>(state)->idle) idle_trampoline(ed, h);
}

} // namespace detail

} // namespace kavrik

#undef KAVRIK_TRY
#undef KAVRIK_CATCH_ALL

#endif // KAVRIK_HPP
