// kavrik_ext.hpp: the editing companion (libkavrik-ext) for a kavrik::editor.
//
// Header-only C++17 over the kvx_ functions of kavrik_ext.h.  The editor
// owns the attachment and the completer: destroying the editor detaches the
// companion first, and binding one of the companion's keys with
// editor::bind hands that key to the application.  Nothing here throws.
#ifndef KAVRIK_EXT_HPP
#define KAVRIK_EXT_HPP

#include <kavrik.hpp>
#include <kavrik_ext.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include <kavrik/try.hpp>

namespace kavrik::ext {

// The features to attach, or-ed together.
enum class feature : unsigned {
    completion = KVX_COMPLETION, // Tab
    kill_ring = KVX_KILL_RING,   // Ctrl-K, Ctrl-U, Ctrl-W, Alt-D record; Ctrl-Y, Alt-Y yank
    keys = KVX_KEYS,             // Ctrl-L, Ctrl-T, Alt-U, Alt-L, Alt-C, Ctrl-Z
    undo = KVX_UNDO,             // Ctrl-_ undo, Ctrl-^ redo
    all = KVX_ALL,
};
constexpr feature operator|(feature a, feature b) noexcept {
    return static_cast<feature>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

struct options {
    // Unset: every feature there is a callable for (completion only with a
    // completer).
    std::optional<feature> features;
    bool append_space = true; // a single candidate is followed by a space
    int kill_ring_size = 16;  // 1 .. 1024
};

// The candidates a completer adds, each replacing bytes [start, end) of the
// line (start <= end <= the line's length).
class completions {
  public:
    explicit completions(kvx_completions *out) noexcept : out_(out) {}
    result add(std::string_view text, std::size_t start, std::size_t end) noexcept {
        int rc =
            kvx_add_completion_n(out_, text.data() ? text.data() : "", text.size(), start, end);
        if (rc == 0) return {};
        return {static_cast<code>(rc), kvx_error_message(rc)};
    }

  private:
    kvx_completions *out_;
};

namespace detail {

inline constexpr const char *msg_attach_memory = "out of memory while attaching the companion";

struct completer_holder : kavrik::detail::holder {
    virtual int call(std::string_view line, std::size_t cursor, completions &out) noexcept = 0;
};

// The start of the word that ends at the cursor (bytes other than space and tab).
constexpr std::size_t word_start(std::string_view line, std::size_t cursor) noexcept {
    std::size_t start = cursor < line.size() ? cursor : line.size();
    while (start > 0 && line[start - 1] != ' ' && line[start - 1] != '\t')
        --start;
    return start;
}

template <class F> struct completer_fn final : completer_holder {
    F f;
    template <class G> explicit completer_fn(G &&g) : f(std::forward<G>(g)) {}
    int call(std::string_view line, std::size_t cursor, completions &out) noexcept override {
        KAVRIK_TRY {
            if constexpr (std::is_invocable_v<F &, std::string_view, std::size_t, completions &>) {
                f(line, cursor, out);
            } else {
                // A list of words: each replaces the word before the cursor.
                std::size_t start = word_start(line, cursor);
                for (const auto &word : f(line, cursor))
                    out.add(word, start, cursor);
            }
            return 0;
        }
        KAVRIK_CATCH_ALL { return static_cast<int>(code::failed); }
    }
};

inline int complete_trampoline(kv_editor *, const char *line, std::size_t cursor,
                               kvx_completions *out, void *user) noexcept {
    auto *h = static_cast<completer_holder *>(user);
    completions c(out);
    return h->call(line ? std::string_view(line) : std::string_view(), cursor, c);
}

// What the editor holds for its companion.
struct attachment {
    kvx_attachment *att = nullptr;
    completer_holder *completer = nullptr;

    static void release(void *p) noexcept {
        auto *a = static_cast<attachment *>(p);
        kvx_detach(a->att);
        delete a->completer;
        delete a;
    }
    static void key_bound(void *p, int key) noexcept {
        kvx_release_key(static_cast<attachment *>(p)->att, static_cast<int32_t>(key));
    }
};

inline attachment *attached(const editor &ed) noexcept {
    kavrik::detail::editor_state *s = ed.state();
    return s && s->ext.release == &attachment::release ? static_cast<attachment *>(s->ext.data)
                                                       : nullptr;
}

inline void detach(kavrik::detail::editor_state *s) noexcept {
    if (!s || !s->ext.release) return;
    // The companion hands the idle slot back to routed_idle; from now on
    // editor::on_idle sets the slot itself again.
    s->ext.release(s->ext.data);
    s->ext = {};
}

// Attaches with the editor's own line limit, output and mode; the completer
// (or null) becomes the attachment's.
inline result attach(editor &ed, unsigned features, const options &opts,
                     completer_holder *completer) noexcept {
    kavrik::detail::editor_state *s = ed.state();
    if (!s) {
        delete completer;
        return {code::invalid, kavrik::detail::msg_no_editor};
    }
    detach(s);
    auto *a = new (std::nothrow) attachment;
    if (!a) {
        delete completer;
        return {code::no_memory, msg_attach_memory};
    }
    kvx_options o;
    kvx_options_init(&o);
    o.features = features;
    if (completer) {
        o.completer = &complete_trampoline;
        o.completer_data = completer;
    }
    o.append_space = opts.append_space ? 1 : 0;
    o.kill_ring_size = static_cast<int32_t>(opts.kill_ring_size);
    o.max_line_len =
        s->cfg.max_line_len > 2147483647u ? 2147483647 : static_cast<int32_t>(s->cfg.max_line_len);
    o.out_fd = s->cfg.out_fd < 0 ? 1 : s->cfg.out_fd;
    o.bounded = s->cfg.bounded != 0 || s->cfg.height != 0;
    // The editor's idle callable keeps running on every tick, through the
    // companion, and editor::on_idle changes it without taking the slot back.
    o.idle = &kavrik::detail::routed_idle;
    o.idle_data = s;
    int rc = kvx_attach(s->ed, &o, &a->att);
    if (rc != 0) {
        delete a;
        delete completer;
        return {static_cast<code>(rc), kvx_error_message(rc)};
    }
    a->completer = completer;
    s->ext = {a, &attachment::release, &attachment::key_bound, true};
    return {};
}

} // namespace detail

// Attaches the companion without completion (kill ring, keys and undo
// unless opts.features says otherwise).  Attaching again replaces the
// attachment.  Call it between readline calls, after set_bounds if the
// editor is bounded, and before binding keys of your own: the companion takes
// over its keys.  The companion takes the editor's idle slot too; the
// callable given to editor::on_idle, before or after attaching, still runs on
// every tick.
inline result attach(editor &ed, const options &opts = {}) noexcept {
    unsigned f =
        opts.features ? static_cast<unsigned>(*opts.features) : (KVX_ALL & ~KVX_COMPLETION);
    return detail::attach(ed, f, opts, nullptr);
}

// Attaches the companion with Tab completion by completer, either
// completer(std::string_view line, std::size_t cursor, completions &out), or
// completer(line, cursor) returning a list of strings, each of which replaces
// the word before the cursor.  A completer that throws fails the completion
// and the line stays as it was.
template <
    class F,
    std::enable_if_t<
        std::is_invocable_v<std::decay_t<F> &, std::string_view, std::size_t, completions &> ||
            std::is_invocable_v<std::decay_t<F> &, std::string_view, std::size_t>,
        int> = 0>
result attach(editor &ed, F &&completer, const options &opts = {}) noexcept {
    using fn = detail::completer_fn<std::decay_t<F>>;
    fn *h = kavrik::detail::make_holder<fn>(std::forward<F>(completer));
    if (!h) return {code::no_memory, kavrik::detail::msg_callable};
    unsigned f = opts.features ? static_cast<unsigned>(*opts.features) : KVX_ALL;
    return detail::attach(ed, f, opts, h);
}

// Removes the companion's bindings and releases it (between readline calls).
inline void detach(editor &ed) noexcept { detail::detach(ed.state()); }

inline bool attached(const editor &ed) noexcept { return detail::attached(ed) != nullptr; }

// The kill ring: entry 0 is the newest.  An editor without the companion has
// an empty ring.
inline std::size_t kill_ring_count(const editor &ed) noexcept {
    detail::attachment *a = detail::attached(ed);
    return a ? kvx_kill_ring_count(a->att) : 0;
}
inline std::string_view kill_ring_entry(const editor &ed, std::size_t i) noexcept {
    detail::attachment *a = detail::attached(ed);
    const char *e = a ? kvx_kill_ring_entry(a->att, i) : nullptr;
    return e ? std::string_view(e) : std::string_view();
}

// The most recent key action of the companion that failed (ok before any).
inline result last_result(const editor &ed) noexcept {
    detail::attachment *a = detail::attached(ed);
    int rc = a ? kvx_last_result(a->att) : 0;
    if (rc == 0) return {};
    const char *m = kvx_last_error(a->att);
    return {static_cast<code>(rc), m ? m : kvx_error_message(rc)};
}

} // namespace kavrik::ext

#undef KAVRIK_TRY
#undef KAVRIK_CATCH_ALL

#endif // KAVRIK_EXT_HPP
