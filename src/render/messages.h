// The messages the render room leaves in the last error text.
#pragma once

// Printing above the editor.
constexpr const char *kv_msg_clear_failed = "failed to clear active prompt before printing";
constexpr const char *kv_msg_no_space = "bounded prompt has no space above it";
constexpr const char *kv_msg_not_full_width =
    "bounded print_above requires full-width terminal bounds";
