// The word rule: a word is a run of bytes that are not whitespace.  Word
// motion, word deletion and word wrapping all find their edges here.
#include "unicode/unicode.h"

size_t kv_word_backward(const char *text, size_t pos) noexcept {
    if (pos <= 1) return 0;
    size_t i = pos - 1;
    while (kv_is_space(static_cast<unsigned char>(text[i]))) {
        if (--i == 0) return 0;
    }
    while (i > 0 && !kv_is_space(static_cast<unsigned char>(text[i - 1])))
        --i;
    return i;
}

size_t kv_word_forward_end(const char *text, size_t len, size_t pos) noexcept {
    auto u = reinterpret_cast<const unsigned char *>(text);
    while (pos < len && kv_is_space(u[pos]))
        ++pos;
    while (pos < len && !kv_is_space(u[pos]))
        ++pos;
    return pos;
}
