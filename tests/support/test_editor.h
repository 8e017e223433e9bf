// The one editor fixture of the tests: an editor made from a configuration
// (the defaults unless a test changes them), destroyed with the fixture, with
// readers for the line, the cursor and the last error.
#pragma once

#include <string>
#include <string_view>

#include "base/state.h"
#include "kavrik.h"

// The default configuration, changed by f (a callable taking kv_config &).
template <typename F> kv_config test_config(F f) {
    kv_config c;
    kv_config_init(&c);
    f(c);
    return c;
}
inline kv_config test_config() {
    return test_config([](kv_config &) {});
}

struct TestEditor {
    kv_editor *ed;
    // Throws when the editor cannot be made: every test needs one.
    explicit TestEditor(const kv_config &config = test_config());
    ~TestEditor();
    TestEditor(const TestEditor &) = delete;
    TestEditor &operator=(const TestEditor &) = delete;

    kv_state *st() const { return ed->state; }
    std::string line() const;
    std::string error() const;
    // Replaces the line (bytes taken as they are) and puts the cursor at
    // `cursor` (npos: the end).
    void set(std::string_view text, size_t cursor = std::string_view::npos) const;
};

// The defaults with another line limit.
inline kv_config line_limit(size_t max_line_len) {
    return test_config([&](kv_config &c) { c.max_line_len = max_line_len; });
}

// An editor with a fixed layout width (0: automatic) and a roomy line limit,
// for the rendering tests.
struct RenderEditor : TestEditor {
    explicit RenderEditor(int width = 80, size_t max_line_len = 1 << 20)
        : TestEditor(test_config([&](kv_config &c) {
              c.width = width;
              c.max_line_len = max_line_len;
          })) {}
};

// A new editor made from config, which the caller destroys; throws when it
// cannot be made.
kv_editor *new_test_editor(const kv_config &config);
