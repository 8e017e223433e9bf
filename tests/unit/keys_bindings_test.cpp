// Key bindings: the 64-entry table behind kv_bind_key, and the protocol of
// offering a key to its callback (actions, requests, failures) in normal
// editing and during a reverse search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/state.h"
#include "keys_call.h"

namespace {

struct Seen {
    std::vector<int> keys;
    int set_action = KV_ACTION_HANDLED;
    int preset = -1;
    int result = 0;
    bool submit = false;
    bool cancel = false;
};

int record(kv_editor *ed, int key, void *user, int *action) {
    auto *s = static_cast<Seen *>(user);
    s->keys.push_back(key);
    s->preset = *action;
    *action = s->set_action;
    if (s->submit) kv_submit(ed);
    if (s->cancel) kv_cancel(ed);
    return s->result;
}

int other(kv_editor *, int, void *, int *) { return 0; }

int in_use(kv_editor *ed) {
    int n = 0;
    for (const kv_key_binding &b : ed->state->keys.slots)
        n += b.callback != nullptr;
    return n;
}

TEST(KeyBind, RejectsANullEditorAndKeyZero) {
    KeysCall k;
    EXPECT_EQ(kv_bind_key(nullptr, 'a', other, nullptr), -2);
    EXPECT_EQ(kv_bind_key(k.ed, 0, other, nullptr), -2);
    EXPECT_EQ(in_use(k.ed), 0);
    EXPECT_EQ(kv_last_error(k.ed), nullptr);
}

TEST(KeyBind, BindingTwiceReplacesAndNullRemoves) {
    KeysCall k;
    Seen a, b;
    EXPECT_EQ(kv_bind_key(k.ed, 'x', record, &a), 0);
    EXPECT_EQ(kv_bind_key(k.ed, 'x', record, &b), 0);
    EXPECT_EQ(in_use(k.ed), 1);
    kv_edit_dispatch(&k.c, 'x');
    EXPECT_TRUE(a.keys.empty());
    EXPECT_EQ(b.keys, std::vector<int>{'x'});
    EXPECT_EQ(kv_bind_key(k.ed, 'x', nullptr, nullptr), 0);
    EXPECT_EQ(in_use(k.ed), 0);
    kv_edit_dispatch(&k.c, 'x');
    EXPECT_EQ(b.keys.size(), 1u);
    EXPECT_EQ(k.line(), "x");                               // the built-in command runs again
    EXPECT_EQ(kv_bind_key(k.ed, 'y', nullptr, nullptr), 0); // nothing to remove
    EXPECT_EQ(in_use(k.ed), 0);
}

TEST(KeyBind, SixtyFourFillTheTableAndAFreedEntryIsReused) {
    KeysCall k;
    for (int key = 1; key <= 64; ++key)
        ASSERT_EQ(kv_bind_key(k.ed, 1000 + key, other, nullptr), 0);
    EXPECT_EQ(kv_bind_key(k.ed, 2000, other, nullptr), -3);
    EXPECT_STREQ(kv_last_error(k.ed), "too many key bindings");
    EXPECT_EQ(in_use(k.ed), 64);
    Seen s;
    EXPECT_EQ(kv_bind_key(k.ed, 1010, record, &s), 0); // replacing still works
    EXPECT_EQ(kv_bind_key(k.ed, 1020, nullptr, nullptr), 0);
    EXPECT_EQ(kv_bind_key(k.ed, 2000, other, nullptr), 0);
    EXPECT_EQ(k.st()->keys.slots[19].key, 2000);
    EXPECT_EQ(in_use(k.ed), 64);
}

TEST(KeyBind, TheCallbackGetsKeyUserDataAndAPresetHandledAction) {
    KeysCall k;
    Seen s;
    kv_bind_key(k.ed, 'q', record, &s);
    kv_edit_dispatch(&k.c, 'q');
    EXPECT_EQ(s.keys, std::vector<int>{'q'});
    EXPECT_EQ(s.preset, KV_ACTION_HANDLED);
    EXPECT_EQ(k.line(), ""); // consumed
    EXPECT_EQ(k.c.end, kv_end::none);
}

TEST(KeyBind, EachActionHasItsEffect) {
    struct Row {
        int action;
        kv_end end;
        std::string line;
    };
    const Row rows[] = {
        {KV_ACTION_DEFAULT, kv_end::none, "abx"},
        {KV_ACTION_HANDLED, kv_end::none, "ab"},
        {KV_ACTION_SUBMIT, kv_end::submit, "ab"},
        {KV_ACTION_CANCEL, kv_end::cancel, "ab"},
        {KV_ACTION_INTERRUPT, kv_end::interrupt, "ab"},
        {7, kv_end::none, "abx"},
        {-1, kv_end::none, "abx"},
    };
    for (const Row &r : rows) {
        KeysCall k;
        k.set_line("ab", 2);
        Seen s;
        s.set_action = r.action;
        kv_bind_key(k.ed, 'x', record, &s);
        kv_edit_dispatch(&k.c, 'x');
        EXPECT_EQ(k.c.end, r.end) << "action " << r.action;
        EXPECT_EQ(k.line(), r.line) << "action " << r.action;
    }
}

TEST(KeyBind, EnterWithADefaultActionSubmitsAndWithHandledIsSwallowed) {
    KeysCall k;
    Seen s;
    s.set_action = KV_ACTION_DEFAULT;
    kv_bind_key(k.ed, 13, record, &s);
    kv_edit_dispatch(&k.c, 13);
    EXPECT_EQ(k.c.end, kv_end::submit);
    KeysCall k2;
    Seen s2;
    kv_bind_key(k2.ed, 13, record, &s2);
    kv_edit_dispatch(&k2.c, 13);
    EXPECT_EQ(k2.c.end, kv_end::none);
}

TEST(KeyBind, AFailingCallbackEndsTheCallAndNothingElseRuns) {
    KeysCall k;
    Seen s;
    s.result = -1;
    s.set_action = KV_ACTION_DEFAULT;
    s.submit = true;
    kv_bind_key(k.ed, 'x', record, &s);
    kv_edit_dispatch(&k.c, 'x');
    EXPECT_EQ(k.c.end, kv_end::error);
    EXPECT_STREQ(kv_last_error(k.ed), "key callback failed");
    EXPECT_EQ(k.line(), "");
}

TEST(KeyBind, RequestsFromTheCallbackWinOverItsAction) {
    struct Row {
        bool submit, cancel;
        int action;
        kv_end end;
    };
    const Row rows[] = {
        {true, false, KV_ACTION_CANCEL, kv_end::submit},
        {true, true, KV_ACTION_DEFAULT, kv_end::submit},
        {false, true, KV_ACTION_SUBMIT, kv_end::cancel},
        {false, true, KV_ACTION_DEFAULT, kv_end::cancel},
    };
    for (const Row &r : rows) {
        KeysCall k;
        k.set_line("ab", 2);
        Seen s;
        s.submit = r.submit;
        s.cancel = r.cancel;
        s.set_action = r.action;
        kv_bind_key(k.ed, 'x', record, &s);
        kv_edit_dispatch(&k.c, 'x');
        EXPECT_EQ(k.c.end, r.end);
        EXPECT_EQ(k.line(), "ab"); // the key's own command did not run
    }
}

TEST(KeyBind, ARequestMadeEarlierIsHonouredAfterAnyKey) {
    KeysCall k;
    k.st()->flags.cancel_requested = 1;
    kv_edit_dispatch(&k.c, 'x');
    EXPECT_EQ(k.c.end, kv_end::cancel);
    EXPECT_EQ(k.line(), "");
}

int rebind(kv_editor *ed, int key, void *, int *) {
    kv_bind_key(ed, key, nullptr, nullptr);
    kv_bind_key(ed, key + 1, other, nullptr);
    return 0;
}

TEST(KeyBind, ACallbackMayChangeTheTable) {
    KeysCall k;
    kv_bind_key(k.ed, 'a', rebind, nullptr);
    kv_edit_dispatch(&k.c, 'a');
    EXPECT_EQ(k.c.end, kv_end::none);
    EXPECT_EQ(k.st()->keys.slots[0].key, 'b'); // the freed entry was reused
    EXPECT_EQ(k.st()->keys.slots[0].callback, other);
    kv_edit_dispatch(&k.c, 'a');
    EXPECT_EQ(k.line(), "a");
}

TEST(KeyBind, AltLettersAndUnknownSequencesReachTheirBindings) {
    KeysCall k;
    Seen s;
    kv_bind_key(k.ed, KV_KEY_ALT + 'x', record, &s);
    kv_bind_key(k.ed, KV_KEY_UNRECOGNISED, record, &s);
    k.feed("x[<0;1;2M[5~");
    k.close_input();
    for (int i = 0; i < 3; ++i)
        kv_edit_dispatch(&k.c, kv_key_decode_escape(&k.c));
    EXPECT_EQ(s.keys,
              (std::vector<int>{KV_KEY_ALT + 'x', KV_KEY_UNRECOGNISED, KV_KEY_UNRECOGNISED}));
    EXPECT_EQ(k.line(), "");
}

TEST(KeyBind, ConsumingPasteStartKeepsPasteModeOff) {
    KeysCall k;
    Seen s;
    kv_bind_key(k.ed, KV_KEY_PASTE_START, record, &s);
    kv_edit_dispatch(&k.c, KV_KEY_PASTE_START);
    EXPECT_EQ(k.st()->flags.paste_active, 0);
}

TEST(KeyBind, BindingsAreOfferedKeysDuringASearch) {
    KeysCall k;
    kv_history_add(k.ed, "first");
    k.set_line("typed", 5);
    k.close_input();
    kv_edit_dispatch(&k.c, 18);
    ASSERT_EQ(k.c.search.active, 1);
    Seen s;
    kv_bind_key(k.ed, 7, record, &s);
    kv_bind_key(k.ed, 27, record, &s);
    kv_edit_dispatch(&k.c, 7);
    kv_edit_dispatch(&k.c, 27);
    EXPECT_EQ(s.keys, (std::vector<int>{7, 27}));
    EXPECT_EQ(k.c.search.active, 1); // consumed: the search goes on
    s.set_action = KV_ACTION_DEFAULT;
    kv_edit_dispatch(&k.c, 7);
    EXPECT_EQ(k.c.search.active, 0);
    EXPECT_EQ(k.line(), "typed");
}

TEST(KeyBind, ConsumingCtrlRKeepsTheSearchFromStarting) {
    KeysCall k;
    Seen s;
    kv_bind_key(k.ed, 18, record, &s);
    kv_edit_dispatch(&k.c, 18);
    EXPECT_EQ(k.c.search.active, 0);
    EXPECT_EQ(s.keys, std::vector<int>{18});
}

} // namespace
