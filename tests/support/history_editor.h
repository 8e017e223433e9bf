// A small owner of an editor for the history tests, with readers for the
// list and the line.
#pragma once

#include <string>
#include <vector>

#include "base/state.h"
#include "history/history.h"
#include "kavrik.h"

struct HistoryEditor {
    kv_editor *ed;
    explicit HistoryEditor(int history_max_len = 100, size_t max_line_len = 4096) {
        kv_config c;
        kv_config_init(&c);
        c.history_max_len = history_max_len;
        c.max_line_len = max_line_len;
        ed = kv_create_with_config(&c);
    }
    ~HistoryEditor() { kv_destroy(ed); }
    HistoryEditor(const HistoryEditor &) = delete;
    HistoryEditor &operator=(const HistoryEditor &) = delete;

    kv_state *st() const { return ed->state; }
    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (int i = 0; i < st()->history_count; ++i) out.emplace_back(kv_history_entry(st(), i));
        return out;
    }
    std::string line() const { return std::string(st()->line, st()->line_len); }
    std::string error() const {
        const char *e = kv_last_error(ed);
        return e ? e : "";
    }
    void add_all(const std::vector<std::string> &lines) const {
        for (const auto &l : lines) kv_history_add(ed, l.c_str());
    }
};

using Lines = std::vector<std::string>;
