// The messages the render room leaves in the last error text.
#pragma once

// Drawing.
constexpr const char *kv_msg_render = "failed to render editor state";
constexpr const char *kv_msg_terminal_write = "failed to write terminal output";
constexpr const char *kv_msg_store = "out of memory while storing terminal render state";

// The geometry setters.
constexpr const char *kv_msg_invalid_bounds = "invalid terminal bounds";
constexpr const char *kv_msg_invalid_width = "invalid screen width";

// Leaving the finished line.
constexpr const char *kv_msg_newline = "failed to write final newline";
constexpr const char *kv_msg_bounded_write = "failed to write bounded terminal output";

// Printing above the editor.
constexpr const char *kv_msg_clear_failed = "failed to clear active prompt before printing";
constexpr const char *kv_msg_no_space = "bounded prompt has no space above it";
constexpr const char *kv_msg_not_full_width =
    "bounded print_above requires full-width terminal bounds";
