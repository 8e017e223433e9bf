// Completion as a command a program binds (rl_complete, "tab: complete"),
// and Meta keys bound in readline's meta key map.  rl_complete works on
// rl_line_buffer like any bound command: the word before rl_point is
// replaced by its only match, or by the matches' longer common prefix; a
// second call in a row that changes nothing lists the matches, through
// rl_completion_display_matches_hook when the program set one.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "edit/step.h"
#include "rl.h"

extern "C" {
int rl_completion_type = 0;
rl_compdisp_func_t *rl_completion_display_matches_hook = nullptr;
}

namespace {

constexpr int kListWidth = 80; // columns of the listing without a hook

rl_command_func_t *meta_commands[128];

// The line and point that the last rl_complete left: a call that finds
// them unchanged is the second in a row.
kvr_bytes last_line;
int last_point = -1;

bool unchanged_since_last() noexcept {
    return last_point == rl_point && last_line.len == static_cast<size_t>(rl_end) &&
           (rl_end == 0 || std::memcmp(last_line.data, rl_line_buffer, last_line.len) == 0);
}

void remember_line() noexcept {
    last_line.len = 0;
    last_point = last_line.append(rl_line_buffer, static_cast<size_t>(rl_end)) ? rl_point : -1;
}

// Replaces [start, rl_point) of rl_line_buffer with text.
void replace_word(size_t start, const char *text, size_t n) noexcept {
    char *word = kvr_strndup(text, n);
    if (!word) return;
    size_t point = static_cast<size_t>(rl_point);
    std::memmove(rl_line_buffer + start, rl_line_buffer + point,
                 static_cast<size_t>(rl_end) - point + 1);
    rl_end -= static_cast<int>(point - start);
    rl_point = static_cast<int>(start);
    rl_insert_text(word);
    std::free(word);
}

struct Listing {
    char **matches;
    int count;
    int longest;
};

// The matches in columns, one row per line.
void write_listing(void *user) {
    const Listing &l = *static_cast<const Listing *>(user);
    FILE *out = rl_outstream ? rl_outstream : stdout;
    int width = l.longest + 2;
    int per_row = width < kListWidth ? kListWidth / width : 1;
    std::fputs("\n", out);
    for (int i = 0; i < l.count; ++i) {
        std::fprintf(out, "%-*s", i % per_row == per_row - 1 ? 0 : width, l.matches[i + 1]);
        if (i % per_row == per_row - 1 || i == l.count - 1) std::fputs("\n", out);
    }
    std::fflush(out);
}

void write_with_hook(void *user) {
    const Listing &l = *static_cast<const Listing *>(user);
    std::fflush(stdout);
    rl_completion_display_matches_hook(l.matches, l.count, l.longest);
    std::fflush(stdout);
    if (rl_outstream) std::fflush(rl_outstream);
}

void list_matches(char **matches) noexcept {
    Listing l{matches, 0, 0};
    for (int i = 1; matches[i]; ++i) {
        int n = static_cast<int>(std::strlen(matches[i]));
        if (n > l.longest) l.longest = n;
        ++l.count;
    }
    kv_editor *ed = kvr_editor();
    if (!ed) return;
    // What the program changed so far is drawn around the listing.
    kvr_line_to_editor(ed);
    kv_step_write_around(ed, rl_completion_display_matches_hook ? write_with_hook : write_listing,
                         &l);
}

bool is_directory(const char *path) noexcept {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int run_meta(kv_editor *ed, int key, void *, int *action) {
    *action = KV_ACTION_HANDLED;
    int letter = key - KV_KEY_ALT;
    kvr_run_bound(ed, letter >= 0 && letter < 128 ? meta_commands[letter] : nullptr, 27);
    return 0;
}

} // namespace

extern "C" {

int rl_complete(int, int) {
    if (!rl_line_buffer) return 0;
    size_t point = static_cast<size_t>(rl_point < 0 ? 0 : rl_point);
    if (point > static_cast<size_t>(rl_end)) point = static_cast<size_t>(rl_end);
    size_t start = kvr_word_start(rl_line_buffer, point);
    char *word = kvr_strndup(rl_line_buffer + start, point - start);
    if (!word) return 1;
    bool second = unchanged_since_last();
    rl_completion_type = second ? '?' : '\t';
    bool file_names = false;
    char **matches = kvr_gather_matches(word, start, point, &file_names);
    if (matches && matches[0]) {
        size_t n = std::strlen(matches[0]);
        if (!matches[1]) {
            char *text = static_cast<char *>(kvr_malloc(n + 2));
            if (text) {
                std::memcpy(text, matches[0], n);
                if (file_names && n > 0 && text[n - 1] != '/' && is_directory(matches[0]))
                    text[n++] = '/';
                else if (!rl_completion_suppress_append && rl_completion_append_character > 0 &&
                         rl_completion_append_character < 256)
                    text[n++] = static_cast<char>(rl_completion_append_character);
                replace_word(start, text, n);
                std::free(text);
            }
        } else if (n > point - start) {
            replace_word(start, matches[0], n);
        } else if (second) {
            list_matches(matches);
        }
    }
    std::free(word);
    kvr_free_matches(matches);
    remember_line();
    return 0;
}

int rl_bind_key_in_map(int key, rl_command_func_t *function, Keymap map) {
    if (map == emacs_standard_keymap) return rl_bind_key(key, function);
    // Meta with a letter is a key the editor tells apart (ESC, then the
    // letter); other Meta keys are not.
    if (map != emacs_meta_keymap || key < 0 || key >= 128 || !std::isalpha(key)) return 1;
    kv_editor *ed = kvr_editor();
    if (!ed || kv_bind_key(ed, KV_KEY_ALT + key, function ? run_meta : nullptr, nullptr) != 0)
        return 1;
    meta_commands[key] = function;
    kvr_meta_map_set(key, function);
    kvr_completion_release_key(KV_KEY_ALT + key);
    return 0;
}

} // extern "C"
