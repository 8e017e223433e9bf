#include <kavrik.h>
#include <kavrik_ext.h>

static int complete(kv_editor *ed, const char *line, size_t cursor, kvx_completions *out,
                    void *user) {
    (void)ed;
    (void)line;
    (void)user;
    return kvx_add_completion(out, "installed", 0, cursor);
}

int main(void) {
    kvx_options o;
    kvx_attachment *ext = 0;
    kv_editor *ed = kv_create();
    int ok;
    kvx_options_init(&o);
    o.completer = complete;
    ok = ed && kvx_attach(ed, &o, &ext) == 0 && kvx_kill_ring_count(ext) == 0;
    kvx_detach(ext);
    kv_destroy(ed);
    return ok ? 0 : 1;
}
