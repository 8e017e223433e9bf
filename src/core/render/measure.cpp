// Measures for the layout: the columns a prompt takes, and the words that
// wrapping keeps whole.
#include <algorithm>
#include <cstdint>

#include "render/internal.h"
#include "text/text.h"

namespace {

constexpr unsigned char kv_esc = 0x1B;

// Length of the escape sequence at p[i] (an ESC): CSI up to its final byte,
// OSC up to BEL or ESC '\', otherwise ESC and one byte.  Unterminated
// sequences run to the end of the prompt.
size_t kv_escape_len(const char *p, size_t len, size_t i) noexcept {
    if (i + 1 >= len) return 1;
    size_t j = i + 2;
    if (p[i + 1] == '[') {
        while (j < len && (p[j] < 0x40 || p[j] > 0x7E))
            ++j;
        return std::min(j + 1, len) - i;
    }
    if (p[i + 1] == ']') {
        for (; j < len; ++j) {
            if (p[j] == '\a') return j + 1 - i;
            if (p[j] == '\x1b' && j + 1 < len && p[j + 1] == '\\') return j + 2 - i;
        }
        return len - i;
    }
    return 2;
}

} // namespace

// Columns the prompt takes.  Escape sequences (colours, titles) take none,
// so a coloured prompt measures as its visible text.
int32_t kv_prompt_width(const char *prompt, size_t len) noexcept {
    int32_t p = 0;
    for (size_t i = 0; i < len;) {
        auto b = static_cast<unsigned char>(prompt[i]);
        if (b == kv_esc) {
            i += kv_escape_len(prompt, len, i);
        } else if (b == '\t') {
            p += kv_tab_stop - p % kv_tab_stop;
            ++i;
        } else {
            int w = 0;
            size_t n = kv_utf8_cluster_len_width(prompt, len, i, &w);
            if (n == 0) break;
            p += w;
            i += n;
        }
    }
    return p;
}

// Words break at whitespace and, for wrapping only, at NUL bytes too.
bool kv_is_separator(unsigned char b) noexcept { return b == 0x00 || kv_is_space(b); }

// A printable ASCII byte that nothing after it can join (the next byte is
// ASCII too): a cluster of one byte and one column, known without decoding.
bool kv_ascii_cluster(const char *text, size_t len, size_t p) noexcept {
    auto b = static_cast<unsigned char>(text[p]);
    return b >= 0x20 && b < 0x7F &&
           (p + 1 >= len || static_cast<unsigned char>(text[p + 1]) < 0x80);
}

namespace {

size_t kv_word_end(const char *text, size_t len, size_t p) noexcept {
    while (p < len && !kv_is_separator(static_cast<unsigned char>(text[p])))
        ++p;
    return p;
}

// Columns of the clusters that start in [p, e), segmented as the walk does.
int64_t kv_measure(const char *text, size_t len, size_t p, size_t e) noexcept {
    int64_t sum = 0;
    while (p < e) {
        if (kv_ascii_cluster(text, len, p)) {
            ++sum;
            ++p;
            continue;
        }
        int w = 0;
        size_t n = kv_utf8_cluster_len_width(text, len, p, &w);
        if (n == 0) break;
        sum += w;
        p += n;
    }
    return sum;
}

} // namespace

// The end of the word at p and its columns, in one pass while the word is
// printable ASCII; *ascii tells whether all of it was.
int64_t kv_scan_word(const char *text, size_t len, size_t p, size_t *end, bool *ascii) noexcept {
    int64_t w = 0;
    size_t q = p;
    *ascii = true;
    while (q < len && !kv_is_separator(static_cast<unsigned char>(text[q]))) {
        if (!kv_ascii_cluster(text, len, q)) {
            *ascii = false;
            const size_t e = kv_word_end(text, len, q);
            w += kv_measure(text, len, q, e);
            q = e;
            break;
        }
        ++w;
        ++q;
    }
    *end = q;
    return w;
}
