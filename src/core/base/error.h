// Errors: the result codes with their names, and the one routine through
// which every room leaves its message in the editor's last error text.
#pragma once

#include "base/state.h"

// What an operation reports.  Inside the library the codes go by these
// names; the slot functions and the internal helpers hand them on as the int
// that the public header documents (kv_code, kv_rc_*), 0 for success.
enum class kv_result : int {
    ok = 0,
    failed = -1,        // failed while working (message set)
    invalid = -2,       // invalid argument or wrong state
    out_of_memory = -3, // memory ran out or a fixed table is full (message set)
    io_error = -4,      // input/output failure: a file or the terminal (message set)
};

// The int form of a result.
constexpr int kv_code(kv_result r) noexcept { return static_cast<int>(r); }

// The int forms by name, as the helpers and the slot functions return them.
inline constexpr int kv_rc_failed = kv_code(kv_result::failed);
inline constexpr int kv_rc_invalid = kv_code(kv_result::invalid);
inline constexpr int kv_rc_no_memory = kv_code(kv_result::out_of_memory);
inline constexpr int kv_rc_io_error = kv_code(kv_result::io_error);

// Copies msg into the last error text (cut at 159 bytes, zero-filled).
void kv_set_error(kv_state *st, const char *msg) noexcept;

// Sets the message and gives the code: the common ending of a failure.
inline int kv_fail_with(kv_state *st, kv_result r, const char *msg) noexcept {
    kv_set_error(st, msg);
    return kv_code(r);
}
