// The edit room's records in the editor state: the terminal mode, the key
// bindings with the idle callback, and the flags of the call.
#pragma once

#include <termios.h>

#include "kavrik.h"

struct kv_terminal {
    int raw_active;
    struct termios saved_termios;
};

struct kv_key_binding {
    int key;                  // key code; never 0 in an entry in use
    kv_key_callback callback; // null marks a free entry
    void *user_data;
};

inline constexpr int kv_binding_slots = 64;

struct kv_bindings {
    kv_key_binding slots[kv_binding_slots];
    kv_idle_callback idle_callback;
    void *idle_user_data;
};

// What a call keeps between its parts, and what it leaves for the next one.
struct kv_call_flags {
    int active;
    int submit_requested;
    int cancel_requested;
    int paste_active;
    const char *prompt; // prompt of the running call, or null
    int pending_byte_set;
    unsigned char pending_byte;
    int plain_last_cr; // the last plain-path line ended with a CR
    int last_status;
};
