#include "test_editor.h"

#include <stdexcept>

#include "text/text.h"

kv_editor *new_test_editor(const kv_config &config) {
    kv_editor *ed = kv_create_with_config(&config);
    if (!ed) throw std::runtime_error("kv_create_with_config failed");
    return ed;
}

TestEditor::TestEditor(const kv_config &config) : ed(new_test_editor(config)) {}

TestEditor::~TestEditor() { kv_destroy(ed); }

std::string TestEditor::line() const {
    return st()->line.text ? std::string(st()->line.text, st()->line.len) : std::string();
}

std::string TestEditor::error() const {
    const char *e = kv_last_error(ed);
    return e ? e : "";
}

void TestEditor::set(std::string_view text, size_t cursor) const {
    if (kv_buf_set_bytes(ed, text.data(), text.size()) != 0)
        throw std::runtime_error("kv_buf_set_bytes failed");
    st()->line.cursor = cursor == std::string_view::npos ? text.size() : cursor;
}
