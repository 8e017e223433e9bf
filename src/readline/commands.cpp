// The commands an init file or rl_parse_and_bind can bind by name: motion and
// deletion over rl_line_buffer by UTF-8 character, completion, insertion.
#include <cstring>

#include <strings.h>

#include "rl.h"

namespace {

// One byte back or forward over a UTF-8 character in rl_line_buffer.
int char_back(int p) noexcept {
    if (p <= 0) return 0;
    do
        --p;
    while (p > 0 && (static_cast<unsigned char>(rl_line_buffer[p]) & 0xC0) == 0x80);
    return p;
}
int char_forward(int p) noexcept {
    if (p >= rl_end) return rl_end;
    do
        ++p;
    while (p < rl_end && (static_cast<unsigned char>(rl_line_buffer[p]) & 0xC0) == 0x80);
    return p;
}

int cmd_backward_char(int count, int) {
    for (int i = 0; i < (count > 0 ? count : 1); ++i)
        rl_point = char_back(rl_point);
    return 0;
}
int cmd_forward_char(int count, int) {
    for (int i = 0; i < (count > 0 ? count : 1); ++i)
        rl_point = char_forward(rl_point);
    return 0;
}
int cmd_beginning_of_line(int, int) {
    rl_point = 0;
    return 0;
}
int cmd_end_of_line(int, int) {
    rl_point = rl_end;
    return 0;
}
int cmd_delete_char(int, int) {
    if (rl_point >= rl_end) return 0;
    int next = char_forward(rl_point);
    std::memmove(rl_line_buffer + rl_point, rl_line_buffer + next,
                 static_cast<size_t>(rl_end - next) + 1);
    rl_end -= next - rl_point;
    return 0;
}
int cmd_backward_delete_char(int, int) {
    if (rl_point <= 0) return 0;
    rl_point = char_back(rl_point);
    return cmd_delete_char(1, 0);
}
int cmd_kill_line(int, int) {
    rl_end = rl_point;
    rl_line_buffer[rl_end] = '\0';
    return 0;
}
int cmd_unix_line_discard(int, int) {
    std::memmove(rl_line_buffer, rl_line_buffer + rl_point,
                 static_cast<size_t>(rl_end - rl_point) + 1);
    rl_end -= rl_point;
    rl_point = 0;
    return 0;
}
int cmd_tab_insert(int count, int) { return rl_insert(count, '\t'); }

struct NamedCommand {
    const char *name;
    rl_command_func_t *function;
};
const NamedCommand kCommands[] = {
    {"backward-char", cmd_backward_char},
    {"forward-char", cmd_forward_char},
    {"beginning-of-line", cmd_beginning_of_line},
    {"end-of-line", cmd_end_of_line},
    {"delete-char", cmd_delete_char},
    {"backward-delete-char", cmd_backward_delete_char},
    {"kill-line", cmd_kill_line},
    {"unix-line-discard", cmd_unix_line_discard},
    {"complete", rl_complete},
    {"self-insert", rl_insert},
    {"tab-insert", cmd_tab_insert},
};

} // namespace

rl_command_func_t *kvr_command_named(const char *name) noexcept {
    for (const NamedCommand &c : kCommands)
        if (!strcasecmp(name, c.name)) return c.function;
    return nullptr;
}
