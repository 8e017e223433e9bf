// The readline call of the compatibility layer: one kavrik editor behind the
// readline interface, its history kept in step with the layer's own list,
// keys bound to readline commands and the event hook run from the idle tick.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rl.h"

extern "C" {
const char *rl_readline_name = "other";
char *rl_line_buffer = nullptr;
int rl_point = 0;
int rl_end = 0;
const char *rl_library_version = "8.0";
int rl_readline_version = RL_READLINE_VERSION;
rl_hook_func_t *rl_event_hook = nullptr;
FILE *rl_instream = nullptr;
FILE *rl_outstream = nullptr;
}

namespace {

// Readline has no line limit; the core needs one, and the longest it accepts
// is taken.  Its buffer grows only as the line does.
constexpr size_t kLineLimit = 2147483645;

kv_editor *editor = nullptr;
bool editor_failed = false;
size_t line_cap = 0; // bytes allocated for rl_line_buffer

// The commands bound with rl_bind_key, by key byte.
rl_command_func_t *commands[256];

// What of the layer's list the core's list already holds: the count of
// rewrites seen and the number (history_base-relative) of the next entry to
// hand over.
struct CoreHistory {
    unsigned long rewrites = 0;
    long next = 0; // absolute entry number: history_base + index
    int limit = 0;
    bool valid = false;
} core;

bool line_reserve(size_t n) noexcept {
    if (n + 1 <= line_cap && rl_line_buffer) return true;
    size_t want = line_cap ? line_cap : 256;
    while (want < n + 1)
        want *= 2;
    auto *grown = static_cast<char *>(kvr_realloc(rl_line_buffer, want));
    if (!grown) return false;
    rl_line_buffer = grown;
    line_cap = want;
    return true;
}

// The core's history limit for the layer's list: the stifle limit, or room
// for every entry and some growth.
int core_limit_for(int length) noexcept {
    if (history_is_stifled()) return history_max_entries;
    int limit = core.limit > 100 ? core.limit : 100;
    while (limit < length && limit < (1 << 29))
        limit *= 2;
    return limit;
}

} // namespace

// Brings the core's list (which Up and Down walk) in line with the layer's.
// Entries the core refuses (too long) are simply not reachable by Up.
void kvr_sync_history(kv_editor *ed) noexcept {
    HIST_ENTRY *const *list = kvr_history_entries();
    int limit = core_limit_for(history_length);
    long first = history_base;
    if (!core.valid || core.rewrites != kvr_history_rewrites() || limit < core.limit) {
        kv_history_set_max_len(ed, 0); // empties the core's list
        core.next = first;
        core.limit = 0;
    }
    if (limit != core.limit && kv_history_set_max_len(ed, limit) == 0) core.limit = limit;
    core.valid = true;
    core.rewrites = kvr_history_rewrites();
    if (core.next < first) core.next = first;
    for (long i = core.next - first; i < history_length; ++i)
        (void)kv_history_add(ed, list[i]->line);
    core.next = first + history_length;
}

namespace {

int run_command(kv_editor *ed, int key, void *, int *action) {
    *action = KV_ACTION_HANDLED;
    kvr_run_bound(ed, key >= 0 && key < 256 ? commands[key] : nullptr, key);
    return 0;
}

void run_event_hook(kv_editor *ed, void *) {
    if (!rl_event_hook || !kvr_line_from_editor(ed)) return;
    rl_event_hook();
    kvr_line_to_editor(ed);
}

} // namespace

// The prompt without readline's markers around invisible text (\001 and
// \002): the editor measures escape sequences itself.
char *kvr_visible_prompt(const char *prompt) noexcept {
    size_t n = std::strlen(prompt);
    char *copy = kvr_strndup(prompt, n);
    if (!copy) return nullptr;
    size_t k = 0;
    for (size_t i = 0; i < n; ++i)
        if (prompt[i] != RL_PROMPT_START_IGNORE && prompt[i] != RL_PROMPT_END_IGNORE)
            copy[k++] = prompt[i];
    copy[k] = '\0';
    return copy;
}

// Keeps rl_line_buffer, rl_point and rl_end as the line the call returned.
void kvr_line_from_text(const char *text) noexcept {
    size_t n = std::strlen(text);
    if (!line_reserve(n)) return;
    std::memcpy(rl_line_buffer, text, n + 1);
    rl_point = rl_end = static_cast<int>(n);
}

void kvr_run_bound(kv_editor *ed, rl_command_func_t *command, int key) noexcept {
    if (!command || !kvr_line_from_editor(ed)) return;
    command(1, key);
    kvr_line_to_editor(ed);
}

kv_editor *kvr_editor() noexcept {
    if (editor || editor_failed) return editor;
    kv_config config;
    kv_config_init(&config);
    config.max_line_len = kLineLimit;
    // Streams the program chose before the first call are used.
    if (rl_instream) config.in_fd = fileno(rl_instream);
    if (rl_outstream) config.out_fd = fileno(rl_outstream);
    kv_editor *ed = kv_create_with_config(&config);
    if (!ed || kvr_completion_attach(ed, run_event_hook) != 0) {
        kv_destroy(ed);
        editor_failed = true; // tried once; readline then returns null
        return nullptr;
    }
    editor = ed;
    // rl_line_buffer is a string from the start, as programs expect.
    if (line_reserve(0)) rl_line_buffer[0] = '\0';
    return editor;
}

bool kvr_line_from_editor(kv_editor *ed) noexcept {
    const char *text = kv_buffer(ed);
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (!line_reserve(n)) return false;
    std::memcpy(rl_line_buffer, text, n + 1);
    rl_end = static_cast<int>(n);
    size_t cursor = kv_cursor(ed);
    rl_point = static_cast<int>(cursor > n ? n : cursor);
    return true;
}

void kvr_line_to_editor(kv_editor *ed) noexcept {
    if (rl_end < 0) rl_end = 0;
    if (static_cast<size_t>(rl_end) >= line_cap)
        rl_end = line_cap ? static_cast<int>(line_cap - 1) : 0;
    if (!rl_line_buffer) return;
    // A hook may have written into rl_line_buffer and moved rl_end without
    // ending the text; rl_end says where it ends.
    rl_line_buffer[rl_end] = '\0';
    size_t n = std::strlen(rl_line_buffer);
    const char *now = kv_buffer(ed);
    if (!now || std::strlen(now) != n || std::memcmp(now, rl_line_buffer, n) != 0)
        (void)kv_set_buffer(ed, rl_line_buffer);
    if (rl_point < 0) rl_point = 0;
    (void)kv_set_cursor(ed, static_cast<size_t>(rl_point));
}

extern "C" {

char *readline(const char *prompt) {
    kv_editor *ed = kvr_editor();
    if (!ed) return nullptr;
    // A copy a program's SIGINT handler left behind by jumping out of the
    // last call (psql does) is released here.
    static char *shown = nullptr;
    std::free(shown);
    shown = kvr_visible_prompt(prompt ? prompt : "");
    if (!shown) return nullptr;
    if (kvr_plain_terminal()) {
        using_history();
        std::fflush(stdout);
        if (rl_outstream) std::fflush(rl_outstream);
        char *line = kvr_read_plain_line(shown, rl_instream ? fileno(rl_instream) : 0,
                                         rl_outstream ? fileno(rl_outstream) : 1);
        std::free(shown);
        shown = nullptr;
        if (line) kvr_line_from_text(line);
        return line;
    }
    kvr_sync_history(ed);
    using_history();
    char *copy = nullptr;
    for (;;) {
        // Text the program printed before asking must be out before the
        // prompt is drawn.
        std::fflush(stdout);
        if (rl_outstream) std::fflush(rl_outstream);
        char *line = kv_readline(ed, shown);
        if (line) {
            size_t n = std::strlen(line);
            copy = static_cast<char *>(std::malloc(n + 1));
            if (copy) std::memcpy(copy, line, n + 1);
            kv_free_string(ed, line);
            if (copy) kvr_line_from_text(copy);
            break;
        }
        // Ctrl-C has raised SIGINT already; a program that lives on (its
        // handler returned) gets a fresh line, as it does from readline.
        if (kv_last_readline_status(ed) != KV_STATUS_INTERRUPTED) break;
    }
    std::free(shown);
    shown = nullptr;
    return copy;
}

int rl_initialize(void) {
    kv_editor *ed = kvr_editor();
    if (!ed || !line_reserve(0)) return 1;
    rl_line_buffer[0] = '\0';
    rl_point = rl_end = 0;
    using_history();
    kvr_read_init_once();
    return 0;
}

int rl_bind_key(int key, rl_command_func_t *function) {
    if (key <= 0 || key > 255) return 1;
    kv_editor *ed = kvr_editor();
    if (!ed) return 1;
    if (kv_bind_key(ed, key, function ? run_command : nullptr, nullptr) != 0) return 1;
    commands[key] = function;
    kvr_standard_map_set(key, function);
    kvr_completion_release_key(key); // the key is the program's now
    return 0;
}

int rl_insert(int count, int key) {
    if (count <= 0 || key <= 0 || key > 255) return 0;
    char text[2] = {static_cast<char>(key), '\0'};
    for (int i = 0; i < count; ++i)
        if (rl_insert_text(text) == 0) return 1;
    return 0;
}

int rl_insert_text(const char *text) {
    if (!text || !*text) return 0;
    size_t add = std::strlen(text);
    if (rl_end < 0) rl_end = 0;
    size_t end = static_cast<size_t>(rl_end);
    if (!line_reserve(end + add)) return 0;
    if (!rl_end) rl_line_buffer[0] = '\0';
    size_t point = rl_point < 0 ? 0 : static_cast<size_t>(rl_point);
    if (point > end) point = end;
    std::memmove(rl_line_buffer + point + add, rl_line_buffer + point, end - point);
    std::memcpy(rl_line_buffer + point, text, add);
    rl_end = static_cast<int>(end + add);
    rl_line_buffer[rl_end] = '\0';
    rl_point = static_cast<int>(point + add);
    return static_cast<int>(add);
}

} // extern "C"
