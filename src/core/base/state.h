// The private editor state: one zero-filled record per editor, owned by the
// handle from creation to kv_destroy.  It is a record of records, each
// declared by the room that owns it (<room>/record.h, plain data that
// includes no room); the record stays plain data so that calloc can create
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "edit/record.h"
#include "history/record.h"
#include "kavrik.h"
#include "render/record.h"
#include "text/record.h"

// The record of a terminal call (the edit room's), allocated with the editor.
struct kv_call;

// The descriptors the editor reads keys from and writes to.
struct kv_io {
    int in_fd;
    int out_fd;
};

inline constexpr size_t kv_error_size = 160;

// The last error text.
struct kv_error_text {
    char text[kv_error_size];
};

struct kv_state {
    kv_io io;                // base
    kv_line line;            // text
    kv_history_list history; // history
    kv_screen screen;        // render
    kv_terminal term;        // edit: the terminal mode
    kv_bindings keys;        // edit: key bindings and the idle callback
    kv_call_flags flags;     // edit: the call's flags
    kv_call *call;           // edit: the record of a terminal call, kept from one step to the next
    kv_error_text error;     // base
};

static_assert(std::is_trivially_copyable_v<kv_state>, "kv_state must stay a plain record");

// The state behind a handle, or null for a null handle or a missing state.
inline kv_state *kv_state_of(kv_editor *ed) { return ed ? ed->state : nullptr; }
