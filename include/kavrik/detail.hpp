// kavrik/detail.hpp: what kavrik::editor keeps its callables in, and the
// trampolines that call them.  Part of <kavrik.hpp>, which includes it with
// its exception macros defined; not a header to include alone.
#ifndef KAVRIK_DETAIL_HPP
#define KAVRIK_DETAIL_HPP

#ifndef KAVRIK_TRY
#error "include <kavrik.hpp>, not <kavrik/detail.hpp>"
#endif

#include <kavrik/values.hpp>

#include <cstddef>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace kavrik {

class editor;

namespace detail {

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

} // namespace kavrik

#endif // KAVRIK_DETAIL_HPP
