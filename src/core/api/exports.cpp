// The 24 exported functions.  Each wrapper checks the handle and its slot,
// calls through, and returns; a null handle or an empty slot gets the fixed
// answer of the function.
#include "kavrik.h"

#include "api/editor.h"
#include "base/alloc.h"
#include "base/error.h"

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Calls slot with the handle and args, or returns fallback.
template <typename R, typename Slot, typename... Args>
R kv_call_slot(kv_editor *ed, Slot kv_editor::*slot, R fallback, Args... args) noexcept {
    if (!ed || !(ed->*slot)) return fallback;
    return (ed->*slot)(ed, args...);
}

} // namespace

KV_EXPORT void kv_config_init(kv_config *config) noexcept { kv_config_init_impl(config); }

KV_EXPORT kv_editor *kv_create(void) noexcept {
    kv_config config;
    kv_config_init(&config);
    return kv_create_with_config_impl(&config);
}

KV_EXPORT kv_editor *kv_create_with_config(const kv_config *config) noexcept {
    return kv_create_with_config_impl(config);
}

KV_EXPORT char *kv_readline(kv_editor *ed, const char *prompt) noexcept {
    return kv_call_slot<char *>(ed, &kv_editor::readline, nullptr, prompt);
}

KV_EXPORT void kv_destroy(kv_editor *ed) noexcept {
    if (ed && ed->destroy) ed->destroy(ed);
}

KV_EXPORT void kv_free_string(kv_editor *ed, char *string) noexcept {
    if (ed && ed->free_string)
        ed->free_string(ed, string);
    else
        kv_free(string);
}

KV_EXPORT int kv_history_add(kv_editor *ed, const char *line) noexcept {
    return kv_call_slot(ed, &kv_editor::history_add, kv_rc_invalid, line);
}

KV_EXPORT int kv_history_set_max_len(kv_editor *ed, int32_t max) noexcept {
    return kv_call_slot(ed, &kv_editor::history_set_max_len, kv_rc_invalid, max);
}

KV_EXPORT int kv_history_save(kv_editor *ed, const char *path) noexcept {
    return kv_call_slot(ed, &kv_editor::history_save, kv_rc_invalid, path);
}

KV_EXPORT int kv_history_load(kv_editor *ed, const char *path) noexcept {
    return kv_call_slot(ed, &kv_editor::history_load, kv_rc_invalid, path);
}

KV_EXPORT int kv_set_bounds(kv_editor *ed, int32_t column, int32_t row, int32_t width,
                            int32_t height) noexcept {
    return kv_call_slot(ed, &kv_editor::set_bounds, kv_rc_invalid, column, row, width, height);
}

KV_EXPORT int kv_set_screen_width(kv_editor *ed, int32_t width) noexcept {
    return kv_call_slot(ed, &kv_editor::set_screen_width, kv_rc_invalid, width);
}

KV_EXPORT int kv_set_idle_callback(kv_editor *ed, kv_idle_callback cb, void *user) noexcept {
    return kv_call_slot(ed, &kv_editor::set_idle_callback, kv_rc_invalid, cb, user);
}

KV_EXPORT int kv_bind_key(kv_editor *ed, int32_t key, kv_key_callback cb, void *user) noexcept {
    return kv_call_slot(ed, &kv_editor::bind_key, kv_rc_invalid, key, cb, user);
}

KV_EXPORT int kv_insert(kv_editor *ed, const char *text) noexcept {
    return kv_call_slot(ed, &kv_editor::insert, kv_rc_invalid, text);
}

KV_EXPORT int kv_set_buffer(kv_editor *ed, const char *text) noexcept {
    return kv_call_slot(ed, &kv_editor::set_buffer, kv_rc_invalid, text);
}

KV_EXPORT const char *kv_buffer(kv_editor *ed) noexcept {
    return kv_call_slot<const char *>(ed, &kv_editor::buffer, nullptr);
}

KV_EXPORT size_t kv_cursor(kv_editor *ed) noexcept {
    return kv_call_slot<size_t>(ed, &kv_editor::cursor, 0);
}

KV_EXPORT int kv_set_cursor(kv_editor *ed, size_t position) noexcept {
    return kv_call_slot(ed, &kv_editor::set_cursor, kv_rc_invalid, position);
}

KV_EXPORT int kv_submit(kv_editor *ed) noexcept {
    return kv_call_slot(ed, &kv_editor::submit, kv_rc_invalid);
}

KV_EXPORT int kv_cancel(kv_editor *ed) noexcept {
    return kv_call_slot(ed, &kv_editor::cancel, kv_rc_invalid);
}

KV_EXPORT int kv_print_above(kv_editor *ed, kv_print_callback cb, void *user) noexcept {
    return kv_call_slot(ed, &kv_editor::print_above, kv_rc_invalid, cb, user);
}

KV_EXPORT int kv_last_readline_status(kv_editor *ed) noexcept {
    return kv_call_slot(ed, &kv_editor::last_readline_status, 0);
}

KV_EXPORT const char *kv_last_error(kv_editor *ed) noexcept {
    return kv_call_slot<const char *>(ed, &kv_editor::last_error, nullptr);
}
