// Tab completion of the readline interface, served through the companion
// library's completion: the program's rl_attempted_completion_function (or a
// generator) gives the matches for the word before the cursor, and each
// becomes a candidate replacing that word.  The companion inserts the common
// prefix and lists the candidates on a second Tab.
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

#include <kavrik_ext.h>

#include "rl.h"

extern "C" {
rl_completion_func_t *rl_attempted_completion_function = nullptr;
rl_compentry_func_t *rl_completion_entry_function = nullptr;
int rl_attempted_completion_over = 0;
int rl_completion_append_character = ' ';
const char *rl_basic_word_break_characters = " \t\n\"\\'`@$><=;|&{(";
char *rl_completer_word_break_characters = nullptr;
}

namespace {

kvx_attachment *attachment = nullptr;

void free_matches(char **matches) noexcept {
    if (!matches) return;
    for (size_t i = 0; matches[i]; ++i)
        std::free(matches[i]);
    std::free(matches);
}

// The start of the word that ends at cursor.
size_t word_start(const char *line, size_t cursor) noexcept {
    const char *breaks = rl_completer_word_break_characters ? rl_completer_word_break_characters
                                                            : rl_basic_word_break_characters;
    if (!breaks) breaks = "";
    size_t start = cursor;
    while (start > 0 && !std::strchr(breaks, line[start - 1]))
        --start;
    return start;
}

// True for a match of the file name generator that names a directory.
bool is_directory(const char *path) noexcept {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Turns the matches into candidates for [start, end): a single match gets
// the append character (a directory name a slash), several are left for the
// companion to merge.
int add_candidates(kvx_completions *out, char **matches, size_t start, size_t end,
                   bool file_names) noexcept {
    if (!matches[1]) {
        size_t n = std::strlen(matches[0]);
        char *text = static_cast<char *>(kvr_malloc(n + 2));
        if (!text) return -1;
        std::memcpy(text, matches[0], n);
        size_t len = n;
        if (file_names && n > 0 && matches[0][n - 1] != '/' && is_directory(matches[0]))
            text[len++] = '/';
        else if (rl_completion_append_character > 0 && rl_completion_append_character < 256)
            text[len++] = static_cast<char>(rl_completion_append_character);
        int rc = kvx_add_completion_n(out, text, len, start, end);
        std::free(text);
        return rc;
    }
    for (size_t i = 1; matches[i]; ++i)
        if (int rc = kvx_add_completion(out, matches[i], start, end); rc != 0) return rc;
    return 0;
}

int complete(kv_editor *ed, const char *line, size_t cursor, kvx_completions *out, void *) {
    size_t len = std::strlen(line);
    if (cursor > len) cursor = len;
    size_t start = word_start(line, cursor);
    char *word = kvr_strndup(line + start, cursor - start);
    if (!word || !kvr_line_from_editor(ed)) {
        std::free(word);
        return -1;
    }
    rl_attempted_completion_over = 0;
    rl_completion_append_character = ' ';
    char **matches = nullptr;
    bool file_names = false;
    if (rl_attempted_completion_function)
        matches = rl_attempted_completion_function(word, static_cast<int>(start),
                                                   static_cast<int>(cursor));
    if (!matches && !rl_attempted_completion_over) {
        rl_compentry_func_t *generator = rl_completion_entry_function
                                             ? rl_completion_entry_function
                                             : rl_filename_completion_function;
        file_names = generator == rl_filename_completion_function;
        matches = rl_completion_matches(word, generator);
    }
    std::free(word);
    int rc = matches && matches[0] ? add_candidates(out, matches, start, cursor, file_names) : 0;
    free_matches(matches);
    return rc;
}

} // namespace

int kvr_completion_attach(kv_editor *ed, kv_idle_callback idle) noexcept {
    kvx_options options;
    kvx_options_init(&options);
    options.features = KVX_ALL;
    options.idle = idle;
    options.completer = complete;
    options.append_space = 0; // the append character is added here
    options.max_line_len = 1 << 20;
    return kvx_attach(ed, &options, &attachment);
}

void kvr_completion_release_key(int key) noexcept {
    if (attachment) (void)kvx_release_key(attachment, key); // -2: not one of its keys
}

extern "C" {

char **rl_completion_matches(const char *text, rl_compentry_func_t *generator) {
    if (!text || !generator) return nullptr;
    size_t count = 0, cap = 8;
    auto **matches = static_cast<char **>(kvr_malloc(sizeof(char *) * cap));
    if (!matches) return nullptr;
    matches[0] = nullptr;
    for (int state = 0;; ++state) {
        char *match = generator(text, state);
        if (!match) break;
        if (count + 3 > cap) {
            auto **grown = static_cast<char **>(kvr_realloc(matches, sizeof(char *) * cap * 2));
            if (!grown) {
                // The generator keeps its own state: let it run to its end.
                std::free(match);
                while ((match = generator(text, ++state)) != nullptr)
                    std::free(match);
                break;
            }
            matches = grown;
            cap *= 2;
        }
        matches[++count] = match;
        matches[count + 1] = nullptr;
    }
    if (count == 0) {
        std::free(matches);
        return nullptr;
    }
    if (count == 1) {
        matches[0] = matches[1];
        matches[1] = nullptr;
        return matches;
    }
    // Element 0: the longest prefix that every match shares.
    size_t common = std::strlen(matches[1]);
    for (size_t i = 2; i <= count; ++i) {
        size_t k = 0;
        while (k < common && matches[i][k] == matches[1][k])
            ++k;
        common = k;
    }
    matches[0] = kvr_strndup(matches[1], common);
    if (!matches[0]) {
        for (size_t i = 1; i <= count; ++i)
            std::free(matches[i]);
        std::free(matches);
        return nullptr;
    }
    return matches;
}

char *rl_filename_completion_function(const char *text, int state) {
    static DIR *dir = nullptr;
    static char *prefix_dir = nullptr; // the directory part of text, as typed
    if (state == 0) {
        if (dir) closedir(dir);
        std::free(prefix_dir);
        dir = nullptr;
        const char *slash = std::strrchr(text, '/');
        size_t dlen = slash ? static_cast<size_t>(slash - text) + 1 : 0;
        prefix_dir = kvr_strndup(text, dlen);
        if (!prefix_dir) return nullptr;
        dir = opendir(dlen ? prefix_dir : ".");
        if (!dir) return nullptr;
    }
    if (!dir) return nullptr;
    const char *name = text + std::strlen(prefix_dir); // the part after the directory
    size_t nlen = std::strlen(name);
    while (struct dirent *d = readdir(dir)) {
        if (std::strncmp(d->d_name, name, nlen) != 0) continue;
        if (nlen == 0 && (!std::strcmp(d->d_name, ".") || !std::strcmp(d->d_name, ".."))) continue;
        size_t dlen = std::strlen(prefix_dir), flen = std::strlen(d->d_name);
        char *match = static_cast<char *>(std::malloc(dlen + flen + 1));
        if (!match) break;
        std::memcpy(match, prefix_dir, dlen);
        std::memcpy(match + dlen, d->d_name, flen + 1);
        return match;
    }
    closedir(dir);
    dir = nullptr;
    return nullptr;
}

} // extern "C"
