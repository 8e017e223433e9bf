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

#include <kavrik/values.hpp>

// The macros come before the callables' holders, which use them.
#include <kavrik/try.hpp>

#include <kavrik/detail.hpp>

namespace kavrik {

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
