// Interactive editing: the readline call (terminal modes, main loop, endings),
// key decoding with the editing commands, and key bindings with callbacks.
// This is what the other rooms use; the rest lives in edit/internal.h.
#pragma once

#include <cstdint>

#include "base/state.h"
#include "kavrik.h"

extern "C" {
char *kv_readline_method(kv_editor *ed, const char *prompt) noexcept; // slot readline
int kv_bind_key_method(kv_editor *ed, int32_t key, kv_key_callback cb,
                       void *user) noexcept; // slot bind_key
}

// Puts the saved attributes back when raw mode is on (result ignored).
void kv_terminal_restore(kv_state *st) noexcept;

// The call record of a new editor; 0, or -1 when memory ran out.
int kv_edit_create(kv_state *st) noexcept;
// Releases it (editor destruction).
void kv_edit_release(kv_state *st) noexcept;
