// The messages the text room leaves in the last error text.
#pragma once

constexpr const char *kv_msg_line_too_long = "line exceeds configured maximum length";
constexpr const char *kv_msg_oom_line = "out of memory while growing line buffer";
constexpr const char *kv_msg_line_too_large = "line buffer is too large";
