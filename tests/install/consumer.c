#include <kavrik.h>
#include <string.h>

int main(void) {
    kv_editor *ed = kv_create();
    int ok = ed && kv_insert(ed, "installed") == 0 && strcmp(kv_buffer(ed), "installed") == 0;
    kv_destroy(ed);
    return ok ? 0 : 1;
}
