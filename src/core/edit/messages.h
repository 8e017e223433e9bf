// The messages the edit room leaves in the last error text.
#pragma once

// The readline call.
constexpr const char *kv_msg_active = "readline call already active";
constexpr const char *kv_msg_paste = "failed to enable bracketed paste";
constexpr const char *kv_msg_copy = "out of memory while returning line";
constexpr const char *kv_msg_read_tty = "failed to read terminal input";
constexpr const char *kv_msg_read_plain = "failed to read input";

// Terminal modes.
constexpr const char *kv_msg_not_tty = "input file descriptor is not a terminal";
constexpr const char *kv_msg_getattr = "failed to read terminal attributes";
constexpr const char *kv_msg_raw = "failed to enable terminal raw mode";

// The reverse search, started and run from the keys.
constexpr const char *kv_msg_search_start = "failed to start reverse history search";
constexpr const char *kv_msg_search_update = "failed to update reverse history search";
constexpr const char *kv_msg_search_cancel = "failed to cancel reverse history search";

// Key bindings.
constexpr const char *kv_msg_too_many = "too many key bindings";
constexpr const char *kv_msg_callback_failed = "key callback failed";
