// Completion: the program's linenoise callback offers whole lines; the
// companion's Tab puts in the one candidate, or the longest prefix the
// candidates share, and lists them on a second Tab.
#include <cstdlib>
#include <cstring>

#include <kavrik_ext.h>

#include "ln.h"

namespace {

linenoiseCompletionCallback *callback = nullptr;

void release(linenoiseCompletions &lc) noexcept {
    for (size_t i = 0; i < lc.len; ++i)
        std::free(lc.cvec[i]);
    std::free(lc.cvec);
    lc = linenoiseCompletions{0, nullptr};
}

int complete(kv_editor *, const char *line, size_t, kvx_completions *out, void *) {
    if (!callback) return 0;
    linenoiseCompletions lc{0, nullptr};
    callback(line, &lc);
    const size_t len = std::strlen(line);
    int rc = 0;
    for (size_t i = 0; i < lc.len && rc == 0; ++i)
        rc = kvx_add_completion(out, lc.cvec[i], 0, len);
    release(lc);
    return rc;
}

} // namespace

kvx_attachment *kvl_completion_attach(kv_editor *ed, int out_fd) noexcept {
    kvx_options options;
    kvx_options_init(&options);
    options.completer = complete;
    // A candidate is a whole line: nothing is added after it.
    options.append_space = 0;
    options.out_fd = out_fd;
    kvx_attachment *att = nullptr;
    return kvx_attach(ed, &options, &att) == 0 ? att : nullptr;
}

extern "C" {

void linenoiseSetCompletionCallback(linenoiseCompletionCallback *fn) { callback = fn; }

void linenoiseAddCompletion(linenoiseCompletions *lc, const char *text) {
    if (!lc || !text) return;
    char *copy = kvl_strndup(text, std::strlen(text));
    if (!copy) return;
    auto *grown = static_cast<char **>(kvl_realloc(lc->cvec, sizeof(char *) * (lc->len + 1)));
    if (!grown) {
        std::free(copy);
        return;
    }
    lc->cvec = grown;
    lc->cvec[lc->len++] = copy;
}

} // extern "C"
