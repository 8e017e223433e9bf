// Key bindings: the 64-entry table of callbacks, and the dispatch of each key
// through its binding, the submit and cancel requests and the reported action
// to the built-in command.
#include "base/error.h"
#include "edit/internal.h"
#include "edit/messages.h"

namespace {

bool kv_in_use(const kv_key_binding &b) { return b.callback != nullptr; }

// The entry in use that holds key, or null.
kv_key_binding *kv_find_binding(kv_state *st, int key) {
    for (kv_key_binding &b : st->keys.slots)
        if (kv_in_use(b) && b.key == key) return &b;
    return nullptr;
}

kv_key_binding *kv_free_binding(kv_state *st) {
    for (kv_key_binding &b : st->keys.slots)
        if (!kv_in_use(b)) return &b;
    return nullptr;
}

// Offers the key to its binding.  The action stays at KV_ACTION_DEFAULT when
// there is none; false when the callback failed.
bool kv_offer_key(kv_call *c, int key, int *action) {
    *action = KV_ACTION_DEFAULT;
    kv_key_binding *b = kv_find_binding(c->st, key);
    if (!b) return true;
    // Copied first: the callback may change the table.
    kv_key_callback cb = b->callback;
    void *user = b->user_data;
    *action = KV_ACTION_HANDLED;
    return cb(c->ed, key, user, action) == 0;
}

// A submit or cancel request made from a callback wins over its action.
bool kv_honour_requests(kv_call *c) {
    if (c->st->flags.submit_requested) {
        c->end = kv_end::submit;
        return true;
    }
    if (c->st->flags.cancel_requested) {
        c->end = kv_end::cancel;
        return true;
    }
    return false;
}

} // namespace

extern "C" int kv_bind_key_method(kv_editor *ed, int32_t key, kv_key_callback cb,
                                  void *user) noexcept {
    kv_state *st = kv_state_of(ed);
    if (!st || key == 0) return kv_rc_invalid;
    if (kv_key_binding *b = kv_find_binding(st, key)) {
        b->callback = cb;
        b->user_data = cb ? user : nullptr;
        return 0;
    }
    if (!cb) return 0;
    kv_key_binding *slot = kv_free_binding(st);
    if (!slot) return kv_fail_with(st, kv_result::out_of_memory, kv_msg_too_many);
    *slot = kv_key_binding{key, cb, user};
    return 0;
}

void kv_edit_dispatch_key(kv_call *c, int key) noexcept {
    int action = KV_ACTION_DEFAULT;
    if (!kv_offer_key(c, key, &action)) {
        kv_call_fail(c, kv_msg_callback_failed);
        return;
    }
    if (kv_honour_requests(c)) return;
    switch (action) {
    case KV_ACTION_HANDLED:
        return;
    case KV_ACTION_SUBMIT:
        c->end = kv_end::submit;
        return;
    case KV_ACTION_CANCEL:
        c->end = kv_end::cancel;
        return;
    case KV_ACTION_INTERRUPT:
        c->end = kv_end::interrupt;
        return;
    default:
        kv_edit_command(c, key);
        return;
    }
}

void kv_edit_dispatch(kv_call *c, int key) noexcept {
    kv_edit_dispatch_key(c, key);
    kv_key_complete(c);
}
