// The messages the history room leaves in the last error text.
#pragma once

// The list and its navigation.
constexpr const char *kv_msg_too_long = "history entry exceeds configured maximum length";
constexpr const char *kv_msg_oom_alloc = "out of memory while allocating history";
constexpr const char *kv_msg_oom_add = "out of memory while adding history entry";
constexpr const char *kv_msg_bad_len = "invalid history length";
constexpr const char *kv_msg_oom_resize = "out of memory while resizing history";
constexpr const char *kv_msg_oom_walk = "out of memory while saving the typed line";

// The history file.
constexpr const char *kv_msg_open_write = "failed to open history file for writing";
constexpr const char *kv_msg_chmod = "failed to set history file permissions";
constexpr const char *kv_msg_history_write = "failed to write history file";
constexpr const char *kv_msg_close = "failed to close history file";
constexpr const char *kv_msg_open_read = "failed to open history file for reading";
constexpr const char *kv_msg_oom_load = "out of memory while loading history";
constexpr const char *kv_msg_read = "failed to read history file";
