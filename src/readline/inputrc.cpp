// The user's configuration: init files ($INPUTRC, else ~/.inputrc) and
// single lines from the program, in readline's syntax.  "set VARIABLE
// VALUE" for the variables the layer has, "KEY: COMMAND-NAME" for the
// commands it has, "KEY: \"TEXT\"" for a macro that inserts TEXT, and the
// conditionals $if/$else/$endif with $include.  Anything else is ignored
// without a message, as readline does with what it does not know.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <strings.h>
#include <unistd.h>

#include "rl.h"

extern "C" {
KEYMAP_ENTRY_ARRAY emacs_standard_keymap;
KEYMAP_ENTRY_ARRAY emacs_meta_keymap;
}

namespace {

constexpr int kMaxIncludeDepth = 8;

// Text inserted by macro keys, by key byte.
char *macros[256];
bool initialized = false;
char *last_init_file = nullptr;

int run_macro(int count, int key) {
    if (key < 0 || key > 255 || !macros[key]) return 0;
    for (int i = 0; i < (count > 0 ? count : 1); ++i)
        rl_insert_text(macros[key]);
    return 0;
}

// ---- variables ----------------------------------------------------------------

// Variables the layer takes but whose effect the editor always has or never
// has (bracketed paste is always on; completion is always enabled).
constexpr const char *kAccepted[] = {
    "enable-bracketed-paste",
    "enable-meta-key",
    "disable-completion",
    "show-all-if-ambiguous",
    "show-all-if-unmodified",
    "bell-style",
    "meta-flag",
    "input-meta",
    "output-meta",
    "convert-meta",
    "completion-ignore-case",
    "mark-directories",
};

// ---- key names -------------------------------------------------------------------

struct NamedKey {
    const char *name;
    int key;
};
constexpr NamedKey kKeyNames[] = {
    {"DEL", 127},   {"ESC", 27},     {"ESCAPE", 27}, {"LFD", 10}, {"NEWLINE", 10}, {"RET", 13},
    {"RETURN", 13}, {"RUBOUT", 127}, {"SPACE", 32},  {"SPC", 32}, {"TAB", 9},
};

// A key in readline's words: Control-a, C-a, Meta-x, M-x, TAB, a letter.
// The code (a byte, or KV_KEY_ALT plus a letter for Meta), or -1.
int key_from_name(const char *name) noexcept {
    bool meta = false, control = false;
    for (;;) {
        if (!strncasecmp(name, "Control-", 8)) {
            control = true;
            name += 8;
        } else if (!strncasecmp(name, "C-", 2)) {
            control = true;
            name += 2;
        } else if (!strncasecmp(name, "Meta-", 5)) {
            meta = true;
            name += 5;
        } else if (!strncasecmp(name, "M-", 2)) {
            meta = true;
            name += 2;
        } else
            break;
    }
    int key = -1;
    for (const NamedKey &k : kKeyNames)
        if (!strcasecmp(name, k.name)) key = k.key;
    if (key < 0 && name[0] && !name[1]) key = static_cast<unsigned char>(name[0]);
    if (key < 0) return -1;
    if (control) key = std::tolower(key) & 0x1F;
    if (meta) return std::isalpha(key) ? KV_KEY_ALT + key : -1;
    return key;
}

// A quoted key sequence: "\C-a", "\t", "\e" plus a letter, one character.
int key_from_sequence(const char *seq, size_t n) noexcept {
    unsigned char bytes[4];
    size_t count = 0;
    for (size_t i = 0; i < n && count < sizeof bytes; ++i) {
        unsigned char c = static_cast<unsigned char>(seq[i]);
        if (c == '\\' && i + 1 < n) {
            char e = seq[++i];
            if ((e == 'C' || e == 'M') && i + 2 < n && seq[i + 1] == '-') {
                unsigned char target = static_cast<unsigned char>(seq[i + 2]);
                i += 2;
                if (e == 'C') {
                    bytes[count++] = target == '?'
                                         ? 127
                                         : static_cast<unsigned char>(std::tolower(target) & 0x1F);
                } else if (count + 2 <= sizeof bytes) {
                    bytes[count++] = 27;
                    bytes[count++] = target;
                }
                continue;
            }
            switch (e) {
            case 'e':
                c = 27;
                break;
            case 't':
                c = 9;
                break;
            case 'n':
                c = 10;
                break;
            case 'r':
                c = 13;
                break;
            case 'a':
                c = 7;
                break;
            case 'd':
                c = 127;
                break;
            default:
                c = static_cast<unsigned char>(e);
                break;
            }
        }
        bytes[count++] = c;
    }
    if (count == 1) return bytes[0];
    if (count == 2 && bytes[0] == 27 && std::isalpha(bytes[1])) return KV_KEY_ALT + bytes[1];
    return -1;
}

// Binds a key code to a function (Meta keys in the meta map).
void bind_code(int key, rl_command_func_t *function) noexcept {
    if (key >= KV_KEY_ALT)
        (void)rl_bind_key_in_map(key - KV_KEY_ALT, function, emacs_meta_keymap);
    else
        (void)rl_bind_key(key, function);
}

// ---- lines ---------------------------------------------------------------------

char *skip_space(char *p) noexcept {
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// The end of a quoted string starting after its opening quote.
char *quoted_end(char *p) noexcept {
    while (*p && *p != '"')
        p += (*p == '\\' && p[1]) ? 2 : 1;
    return p;
}

// Unescapes a macro's text in place (the escapes of key sequences).
void unescape(char *text) noexcept {
    char *out = text;
    for (char *p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            *out++ = *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'n':
            *out++ = '\n';
            break;
        case 't':
            *out++ = '\t';
            break;
        case 'r':
            *out++ = '\r';
            break;
        case 'e':
            *out++ = 27;
            break;
        default:
            *out++ = *p;
            break;
        }
    }
    *out = '\0';
}

void bind_line(char *line) noexcept {
    int key = -1;
    char *rest = nullptr;
    if (*line == '"') {
        char *end = quoted_end(line + 1);
        if (*end != '"') return;
        key = key_from_sequence(line + 1, static_cast<size_t>(end - line - 1));
        rest = skip_space(end + 1);
        if (*rest != ':') return;
    } else {
        rest = std::strchr(line, ':');
        if (!rest) return;
        char *name_end = rest;
        while (name_end > line && (name_end[-1] == ' ' || name_end[-1] == '\t'))
            --name_end;
        *name_end = '\0';
        key = key_from_name(line);
    }
    if (key <= 0) return;
    rest = skip_space(rest + 1);
    if (*rest == '"' || *rest == '\'') {
        char quote = *rest;
        char *end = quote == '"' ? quoted_end(rest + 1) : std::strchr(rest + 1, quote);
        if (!end || *end != quote || key >= 256) return;
        *end = '\0';
        unescape(rest + 1);
        char *copy = kvr_strndup(rest + 1, std::strlen(rest + 1));
        if (!copy) return;
        std::free(macros[key]);
        macros[key] = copy;
        bind_code(key, run_macro);
        return;
    }
    char *end = rest;
    while (*end && !std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    *end = '\0';
    if (rl_command_func_t *function = kvr_command_named(rest)) bind_code(key, function);
}

struct Conditions {
    int depth = 0;    // $if nesting
    int skipping = 0; // depth at which a false branch began (0: none)
};

bool condition_holds(const char *test) noexcept {
    if (!strncasecmp(test, "mode=", 5)) return !strcasecmp(test + 5, "emacs");
    if (!strncasecmp(test, "term=", 5)) {
        const char *term = std::getenv("TERM");
        if (!term) return false;
        size_t n = std::strcspn(term, "-");
        return !std::strcmp(test + 5, term) ||
               (std::strlen(test + 5) == n && !std::strncmp(test + 5, term, n));
    }
    return rl_readline_name && !strcasecmp(test, rl_readline_name);
}

int read_file(const char *path, int depth) noexcept;

void parse_line(char *line, Conditions &cond, int depth) noexcept {
    line = skip_space(line);
    size_t n = std::strlen(line);
    while (n > 0 && std::isspace(static_cast<unsigned char>(line[n - 1])))
        line[--n] = '\0';
    if (!*line || *line == '#') return;
    if (*line == '$') {
        char *word = line + 1;
        char *arg = word;
        while (*arg && !std::isspace(static_cast<unsigned char>(*arg)))
            ++arg;
        if (*arg) *arg++ = '\0';
        arg = skip_space(arg);
        if (!strcasecmp(word, "if")) {
            ++cond.depth;
            if (!cond.skipping && !condition_holds(arg)) cond.skipping = cond.depth;
        } else if (!strcasecmp(word, "else")) {
            if (cond.skipping == cond.depth)
                cond.skipping = 0;
            else if (!cond.skipping && cond.depth > 0)
                cond.skipping = cond.depth;
        } else if (!strcasecmp(word, "endif")) {
            if (cond.skipping == cond.depth) cond.skipping = 0;
            if (cond.depth > 0) --cond.depth;
        } else if (!strcasecmp(word, "include") && !cond.skipping && depth < kMaxIncludeDepth) {
            (void)read_file(arg, depth + 1);
        }
        return;
    }
    if (cond.skipping) return;
    if (!strncasecmp(line, "set", 3) && std::isspace(static_cast<unsigned char>(line[3]))) {
        char *name = skip_space(line + 3);
        char *value = name;
        while (*value && !std::isspace(static_cast<unsigned char>(*value)))
            ++value;
        if (*value) *value++ = '\0';
        (void)rl_variable_bind(name, skip_space(value));
        return;
    }
    bind_line(line);
}

void parse_text(char *text, int depth) noexcept {
    Conditions cond;
    for (char *line = text; line && *line;) {
        char *next = std::strchr(line, '\n');
        if (next) *next++ = '\0';
        parse_line(line, cond, depth);
        line = next;
    }
}

int read_file(const char *path, int depth) noexcept {
    kvr_bytes data;
    int err = kvr_read_file(path, data);
    if (err != 0) return err;
    if (!data.append("", 1)) {
        data.release();
        return ENOMEM;
    }
    parse_text(data.data, depth);
    data.release();
    return 0;
}

// $INPUTRC, else ~/.inputrc, else /etc/inputrc.
char *default_init_file() noexcept {
    const char *env = std::getenv("INPUTRC");
    if (env && *env) return kvr_strndup(env, std::strlen(env));
    const char *home = std::getenv("HOME");
    if (home && *home) {
        size_t n = std::strlen(home);
        char *path = static_cast<char *>(kvr_malloc(n + sizeof "/.inputrc"));
        if (!path) return nullptr;
        std::memcpy(path, home, n);
        std::memcpy(path + n, "/.inputrc", sizeof "/.inputrc");
        if (access(path, R_OK) == 0) return path;
        std::free(path);
    }
    return kvr_strndup("/etc/inputrc", std::strlen("/etc/inputrc"));
}

} // namespace

void kvr_meta_map_set(int key, rl_command_func_t *function) noexcept {
    if (key >= 0 && key < KEYMAP_SIZE) {
        emacs_meta_keymap[key].type = ISFUNC;
        emacs_meta_keymap[key].function = function;
    }
}

void kvr_standard_map_set(int key, rl_command_func_t *function) noexcept {
    if (key >= 0 && key < KEYMAP_SIZE) {
        emacs_standard_keymap[key].type = ISFUNC;
        emacs_standard_keymap[key].function = function;
    }
}

void kvr_read_init_once() noexcept {
    if (initialized) return;
    initialized = true;
    (void)rl_read_init_file(nullptr);
}

extern "C" {

int rl_variable_bind(const char *name, const char *value) {
    if (!name) return -1;
    if (!strcasecmp(name, "history-size")) {
        int n = value && *value ? std::atoi(value) : 0;
        if (n < 0)
            (void)unstifle_history();
        else
            stifle_history(n);
        return 0;
    }
    if (!strcasecmp(name, "editing-mode")) return value && !strcasecmp(value, "emacs") ? 0 : -1;
    if (!strcasecmp(name, "completion-query-items")) return 0;
    for (const char *accepted : kAccepted)
        if (!strcasecmp(name, accepted)) return 0;
    return -1;
}

int rl_parse_and_bind(char *line) {
    if (!line) return 0;
    Conditions cond;
    parse_line(line, cond, 0);
    return 0;
}

int rl_read_init_file(const char *filename) {
    char *path = nullptr;
    if (filename && *filename)
        path = kvr_strndup(filename, std::strlen(filename));
    else if (last_init_file)
        path = kvr_strndup(last_init_file, std::strlen(last_init_file));
    else
        path = default_init_file();
    if (!path) return ENOMEM;
    int err = read_file(path, 0);
    std::free(last_init_file);
    last_init_file = path;
    return err;
}

} // extern "C"
