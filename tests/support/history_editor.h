// The editor fixture for the history tests, with readers for the list.
#pragma once

#include <string>
#include <vector>

#include "history/history.h"
#include "history/internal.h"
#include "test_editor.h"

struct HistoryEditor : TestEditor {
    explicit HistoryEditor(int history_max_len = 100, size_t max_line_len = 4096)
        : TestEditor(test_config([&](kv_config &c) {
              c.history_max_len = history_max_len;
              c.max_line_len = max_line_len;
          })) {}

    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (int i = 0; i < st()->history.count; ++i)
            out.emplace_back(kv_history_entry(st()->history, i));
        return out;
    }
    void add_all(const std::vector<std::string> &lines) const {
        for (const auto &l : lines)
            kv_history_add(ed, l.c_str());
    }
};

using Lines = std::vector<std::string>;
