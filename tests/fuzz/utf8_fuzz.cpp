// UTF-8 and grapheme clusters over arbitrary bytes.
//
// Properties: the decoder agrees with the well-formed byte sequences of
// UTF-8 (an independent table here), an invalid byte reading as U+FFFD of
// length 1; the clusters tile the text, each 1 or more bytes wide in memory
// and 0, 1 or 2 columns on the screen, and do not depend on any byte after
// them; stepping back from a cluster's end gives that cluster; kv_set_cursor
// lands on the start of the cluster that holds the position.
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "kavrik.h"
#include "text/text.h"
#include "unicode/unicode.h"

namespace {

struct Ref {
    uint64_t cp;
    size_t len;
};

// The well-formed sequences: the lead byte fixes the length and the range
// of the second byte; every later byte is 80..BF.
Ref ref_decode(const unsigned char *s, size_t len, size_t pos) {
    unsigned char b = s[pos];
    if (b < 0x80) return {b, 1};
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b == 0xE0)
        n = 3, lo = 0xA0;
    else if (b >= 0xE1 && b <= 0xEC)
        n = 3;
    else if (b == 0xED)
        n = 3, hi = 0x9F;
    else if (b >= 0xEE && b <= 0xEF)
        n = 3;
    else if (b == 0xF0)
        n = 4, lo = 0x90;
    else if (b >= 0xF1 && b <= 0xF3)
        n = 4;
    else if (b == 0xF4)
        n = 4, hi = 0x8F;
    if (n == 0 || pos + n > len) return {0xFFFD, 1};
    if (s[pos + 1] < lo || s[pos + 1] > hi) return {0xFFFD, 1};
    for (size_t i = 2; i < n; ++i)
        if (s[pos + i] < 0x80 || s[pos + i] > 0xBF) return {0xFFFD, 1};
    uint64_t cp = b & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
    for (size_t i = 1; i < n; ++i)
        cp = (cp << 6) | (s[pos + i] & 0x3F);
    return {cp, n};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *t = text.data();
    const auto *u = reinterpret_cast<const unsigned char *>(t);
    const std::string shown = fuzz_visible(text);

    for (size_t i = 0; i < size; ++i) {
        kv_decoded d = kv_utf8_decode(t, size, i);
        Ref r = ref_decode(u, size, i);
        FUZZ_CHECK(d.cp == r.cp && d.len == r.len,
                   "at " + std::to_string(i) + " of " + shown + ": got " + std::to_string(d.cp) +
                       "/" + std::to_string(d.len) + ", want " + std::to_string(r.cp) + "/" +
                       std::to_string(r.len));
    }

    std::vector<size_t> starts;
    size_t i = 0;
    while (i < size) {
        int w = -1;
        size_t n = kv_utf8_cluster_len_width(t, size, i, &w);
        const std::string where = "cluster at " + std::to_string(i) + " of " + shown;
        FUZZ_CHECK(n >= 1 && n <= size - i, where + ": length " + std::to_string(n));
        FUZZ_CHECK(w >= 0 && w <= 2, where + ": width " + std::to_string(w));
        FUZZ_CHECK(kv_utf8_cluster_len_width(t, size, i, nullptr) == n, where);
        int cut_w = -1;
        FUZZ_CHECK(kv_utf8_cluster_len_width(t, i + n, i, &cut_w) == n && cut_w == w,
                   where + ": differs when the text ends after it");
        FUZZ_CHECK(kv_utf8_prev_cluster_len(t, i + n) == n,
                   where + ": step back gives " +
                       std::to_string(kv_utf8_prev_cluster_len(t, i + n)));
        if (n == 1 && u[i] >= 0x20 && u[i] < 0x7f) FUZZ_CHECK(w == 1, where);
        starts.push_back(i);
        i += n;
    }
    FUZZ_CHECK(kv_utf8_cluster_len_width(t, size, size, nullptr) == 0, shown);

    kv_editor *ed = kv_create();
    FUZZ_CHECK(ed != nullptr, "editor");
    FUZZ_CHECK(kv_buf_set_bytes(ed, t, size) == 0, "set");
    size_t k = 0; // starts[k] is the last start at or before p
    for (size_t p = 0; p <= size + 1; ++p) {
        while (k + 1 < starts.size() && starts[k + 1] <= p)
            ++k;
        size_t want = p >= size ? size : starts.empty() ? 0 : starts[k];
        FUZZ_CHECK(kv_set_cursor(ed, p) == 0, "set_cursor");
        FUZZ_CHECK(kv_cursor(ed) == want, "set_cursor(" + std::to_string(p) + ") on " + shown +
                                              " gave " + std::to_string(kv_cursor(ed)) + ", want " +
                                              std::to_string(want));
    }
    FUZZ_CHECK(kv_set_cursor(ed, static_cast<size_t>(-1)) == 0 && kv_cursor(ed) == size, shown);
    kv_destroy(ed);
    return 0;
}
