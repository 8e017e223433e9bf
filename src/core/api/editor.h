// The handle's own operations (the slots this room fills) and the creation
// routines behind the exported functions.
#pragma once

#include "base/state.h"
#include "kavrik.h"

extern "C" {
void kv_config_init_impl(kv_config *config) noexcept;
kv_editor *kv_create_with_config_impl(const kv_config *config) noexcept;
void kv_destroy_method(kv_editor *ed) noexcept;
void kv_free_string_method(kv_editor *ed, char *string) noexcept;
const char *kv_buffer_method(kv_editor *ed) noexcept;
size_t kv_cursor_method(kv_editor *ed) noexcept;
int kv_submit_method(kv_editor *ed) noexcept;
int kv_cancel_method(kv_editor *ed) noexcept;
int kv_set_idle_callback_method(kv_editor *ed, kv_idle_callback cb, void *user) noexcept;
int kv_last_readline_status_method(kv_editor *ed) noexcept;
const char *kv_last_error_method(kv_editor *ed) noexcept;
}
