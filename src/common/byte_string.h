// The family's one growable byte string: zero-terminated once it holds
// storage, grown by doubling, and every growth reports failure instead of
// throwing.  Header only: each library instantiates it with its own
// allocator, the seam through which its tests make the n-th allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

template <void *(*Realloc)(void *, size_t), void (*Free)(void *)> struct kv_byte_string {
    char *data = nullptr;
    size_t len = 0;
    size_t cap = 0;

    // Room for n bytes and the terminating zero; false (unchanged) when out
    // of memory or when the size cannot be represented.
    [[nodiscard]] bool reserve(size_t n) noexcept {
        if (n < cap) return true;
        if (n == SIZE_MAX) return false;
        size_t want = cap ? cap : first_block;
        while (want <= n) {
            if (want > SIZE_MAX / 2) return false;
            want *= 2;
        }
        auto *p = static_cast<char *>(Realloc(data, want));
        if (!p) return false;
        if (!data) p[0] = '\0';
        data = p;
        cap = want;
        return true;
    }
    // Appends k bytes; false (unchanged) when out of memory.
    [[nodiscard]] bool append(const char *s, size_t k) noexcept {
        if (k > SIZE_MAX - len - 1 || !reserve(len + k)) return false;
        if (k) std::memcpy(data + len, s, k);
        len += k;
        data[len] = '\0';
        return true;
    }
    // Releases the storage; the string is empty again.
    void release() noexcept {
        Free(data);
        data = nullptr;
        len = cap = 0;
    }

    static constexpr size_t first_block = 64;
};
