// Tab completion of the readline interface, served through the companion
// library's completion: the program's rl_attempted_completion_function (or a
// generator) gives the matches for the word before the cursor, and each
// becomes a candidate replacing that word.  The companion inserts the common
// prefix and lists the candidates on a second Tab.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <kavrik_ext.h>

#include "rl.h"

extern "C" {
rl_completion_func_t *rl_attempted_completion_function = nullptr;
rl_compentry_func_t *rl_completion_entry_function = nullptr;
int rl_attempted_completion_over = 0;
int rl_completion_append_character = ' ';
int rl_completion_suppress_append = 0;
const char *rl_basic_word_break_characters = " \t\n\"\\'`@$><=;|&{(";
char *rl_completer_word_break_characters = nullptr;
const char *rl_completer_quote_characters = nullptr;
int rl_completion_query_items = 100;
}

namespace {

kvx_attachment *attachment = nullptr;

// Set by the file name generator when it starts a list: the matches are file
// names, so a directory gets a slash and the listing shows last components.
bool filename_desired = false;

void free_matches(char **matches) noexcept {
    if (!matches) return;
    for (size_t i = 0; matches[i]; ++i)
        std::free(matches[i]);
    std::free(matches);
}

// The word that ends at the cursor, and the quote it stands in.
struct Word {
    size_t start;
    char quote;  // the open quote the cursor stands in, or 0
    bool quoted; // the quote is one of rl_completer_quote_characters
};

// Walks the line up to the cursor keeping track of quotes: a backslash
// outside single quotes escapes the next byte.  Inside a quote of
// rl_completer_quote_characters the word starts after the opening quote;
// otherwise it starts after the last word break character.  Without quote
// characters of the program's, '"' and '\'' are still noticed, so that a file
// name completed right after one of them can close it.
Word find_word(const char *line, size_t cursor) noexcept {
    const char *quotes = rl_completer_quote_characters && *rl_completer_quote_characters
                             ? rl_completer_quote_characters
                             : nullptr;
    const char *noticed = quotes ? quotes : "\"'";
    char open = 0;
    size_t open_at = 0;
    for (size_t i = 0; i < cursor; ++i) {
        char c = line[i];
        if (c == '\\' && open != '\'') {
            ++i;
            continue;
        }
        if (open) {
            if (c == open) open = 0;
        } else if (std::strchr(noticed, c)) {
            open = c;
            open_at = i;
        }
    }
    if (open && quotes) return {open_at + 1, open, true};
    const char *breaks = rl_completer_word_break_characters ? rl_completer_word_break_characters
                                                            : rl_basic_word_break_characters;
    if (!breaks) breaks = "";
    size_t start = cursor;
    while (start > 0 && !std::strchr(breaks, line[start - 1]))
        --start;
    // Only a quote that opens right before the word is closed for it.
    if (open && (start == 0 || start != open_at + 1)) open = 0;
    return {start, open, false};
}

// "~" or "~user" at the start of path replaced by that home directory; a
// copy of path otherwise.  Null when out of memory.
char *expand_tilde(const char *path) noexcept {
    size_t n = std::strlen(path);
    if (path[0] != '~') return kvr_strndup(path, n);
    size_t name_end = 1;
    while (name_end < n && path[name_end] != '/')
        ++name_end;
    const char *home = nullptr;
    if (name_end == 1) {
        home = std::getenv("HOME");
        if (!home || !*home) {
            struct passwd *pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
    } else {
        char *user = kvr_strndup(path + 1, name_end - 1);
        if (!user) return nullptr;
        struct passwd *pw = getpwnam(user);
        std::free(user);
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home) return kvr_strndup(path, n); // an unknown user: as typed
    size_t hlen = std::strlen(home);
    auto *out = static_cast<char *>(kvr_malloc(hlen + (n - name_end) + 1));
    if (!out) return nullptr;
    std::memcpy(out, home, hlen);
    std::memcpy(out + hlen, path + name_end, n - name_end + 1);
    return out;
}

// True for a match of the file name generator that names a directory.
bool is_directory(const char *path) noexcept {
    char *real = expand_tilde(path);
    if (!real) return false;
    struct stat st;
    bool dir = stat(real, &st) == 0 && S_ISDIR(st.st_mode);
    std::free(real);
    return dir;
}

// A copy of match with a slash after a directory name, or null.
char *with_mark(const char *match, bool *directory) noexcept {
    size_t n = std::strlen(match);
    *directory = n > 0 && (match[n - 1] == '/' || is_directory(match));
    bool slash = *directory && match[n - 1] != '/';
    auto *text = static_cast<char *>(kvr_malloc(n + 2));
    if (!text) return nullptr;
    std::memcpy(text, match, n);
    if (slash) text[n++] = '/';
    text[n] = '\0';
    return text;
}

// Turns the matches into candidates for [start, end): a single match gets
// the closing quote or the append character (a directory name a slash);
// several are left for the companion to merge and list.  File names replace
// only their last component, so the listing shows that part alone.
int add_candidates(kvx_completions *out, char **matches, const Word &w, size_t end,
                   const char *line) noexcept {
    size_t start = w.start;
    if (!matches[1]) {
        size_t n = std::strlen(matches[0]);
        char *text = static_cast<char *>(kvr_malloc(n + 3));
        if (!text) return -1;
        std::memcpy(text, matches[0], n);
        size_t len = n;
        bool directory =
            filename_desired && n > 0 && (matches[0][n - 1] == '/' || is_directory(matches[0]));
        if (directory) {
            if (matches[0][n - 1] != '/') text[len++] = '/';
        } else if (w.quote && (w.quoted || filename_desired)) {
            if (line[end] != w.quote) text[len++] = w.quote;
        } else if (!rl_completion_suppress_append && rl_completion_append_character > 0 &&
                   rl_completion_append_character < 256) {
            text[len++] = static_cast<char>(rl_completion_append_character);
        }
        int rc = kvx_add_completion_n(out, text, len, start, end);
        std::free(text);
        return rc;
    }
    size_t dir_len = 0;
    if (filename_desired) {
        const char *slash = nullptr;
        for (size_t i = start; i < end; ++i)
            if (line[i] == '/') slash = line + i;
        dir_len = slash ? static_cast<size_t>(slash - (line + start)) + 1 : 0;
        for (size_t i = 1; matches[i] && dir_len; ++i)
            if (std::strncmp(matches[i], line + start, dir_len) != 0) dir_len = 0;
    }
    for (size_t i = 1; matches[i]; ++i) {
        int rc;
        if (filename_desired) {
            bool directory = false;
            char *text = with_mark(matches[i], &directory);
            if (!text) return -1;
            rc = kvx_add_completion(out, text + dir_len, start + dir_len, end);
            std::free(text);
        } else {
            rc = kvx_add_completion(out, matches[i], start, end);
        }
        if (rc != 0) return rc;
    }
    return 0;
}

int complete(kv_editor *ed, const char *line, size_t cursor, kvx_completions *out, void *) {
    size_t len = std::strlen(line);
    if (cursor > len) cursor = len;
    Word w = find_word(line, cursor);
    char *word = kvr_strndup(line + w.start, cursor - w.start);
    if (!word || !kvr_line_from_editor(ed)) {
        std::free(word);
        return -1;
    }
    bool file_names = false;
    char **matches = kvr_gather_matches(word, w.start, cursor, &file_names);
    std::free(word);
    // A listing these matches may bring asks first past the program's limit.
    if (attachment)
        (void)kvx_set_listing(attachment, rl_completion_query_items,
                              rl_instream ? fileno(rl_instream) : 0);
    int rc = matches && matches[0] ? add_candidates(out, matches, w, cursor, line) : 0;
    free_matches(matches);
    return rc;
}

// The user names that start with prefix, as "~name", one per call.
char *user_name_match(const char *prefix, int state) noexcept {
    if (state == 0) setpwent();
    size_t n = std::strlen(prefix);
    while (struct passwd *pw = getpwent()) {
        if (std::strncmp(pw->pw_name, prefix, n) != 0) continue;
        size_t k = std::strlen(pw->pw_name);
        auto *match = static_cast<char *>(std::malloc(k + 2));
        if (!match) break;
        match[0] = '~';
        std::memcpy(match + 1, pw->pw_name, k + 1);
        return match;
    }
    endpwent();
    return nullptr;
}

} // namespace

size_t kvr_word_start(const char *line, size_t cursor) noexcept {
    return find_word(line, cursor).start;
}

char **kvr_gather_matches(const char *word, size_t start, size_t end, bool *file_names) noexcept {
    rl_attempted_completion_over = 0;
    rl_completion_append_character = ' ';
    rl_completion_suppress_append = 0;
    filename_desired = false;
    char **matches = nullptr;
    if (rl_attempted_completion_function)
        matches =
            rl_attempted_completion_function(word, static_cast<int>(start), static_cast<int>(end));
    if (!matches && !rl_attempted_completion_over) {
        rl_compentry_func_t *generator = rl_completion_entry_function
                                             ? rl_completion_entry_function
                                             : rl_filename_completion_function;
        matches = rl_completion_matches(word, generator);
    }
    *file_names = filename_desired;
    return matches;
}

void kvr_free_matches(char **matches) noexcept { free_matches(matches); }

int kvr_completion_attach(kv_editor *ed, kv_idle_callback idle) noexcept {
    kvx_options options;
    kvx_options_init(&options);
    options.features = KVX_ALL;
    options.idle = idle;
    options.completer = complete;
    options.append_space = 0;          // the append character is added here
    options.max_line_len = 2147483645; // the editor's limit
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
    static bool users = false;         // "~name" without a slash: user names
    if (state == 0) {
        filename_desired = true;
        if (dir) closedir(dir);
        std::free(prefix_dir);
        dir = nullptr;
        prefix_dir = nullptr;
        const char *slash = std::strrchr(text, '/');
        users = text[0] == '~' && !slash;
        if (users) return user_name_match(text + 1, 0);
        size_t dlen = slash ? static_cast<size_t>(slash - text) + 1 : 0;
        prefix_dir = kvr_strndup(text, dlen);
        if (!prefix_dir) return nullptr;
        char *real = expand_tilde(prefix_dir);
        if (!real) return nullptr;
        dir = opendir(dlen ? real : ".");
        std::free(real);
        if (!dir) return nullptr;
    } else if (users) {
        return user_name_match(text + 1, state);
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
