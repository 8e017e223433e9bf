// The family's allocation seam: the system allocator behind a countdown
// through which each library's tests make the n-th allocation fail, so that
// every out-of-memory path is exercised for real.  Header only: each library
// instantiates it with its own countdown.
//
// When the countdown is positive it is decreased on every allocation, and the
// allocation that brings it to 0 fails (as do all later ones while it stays
// 0).  Negative (the default) disables it.  A size of 0 asks for one byte, so
// that a null result always means that memory ran out.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

template <long &Countdown> struct kv_alloc_seam {
    static bool fails() noexcept {
        if (Countdown < 0) return false;
        if (Countdown > 0) --Countdown;
        return Countdown == 0;
    }
    static void *malloc(size_t n) noexcept { return fails() ? nullptr : std::malloc(n ? n : 1); }
    static void *calloc(size_t count, size_t size) noexcept {
        return fails() ? nullptr : std::calloc(count ? count : 1, size ? size : 1);
    }
    static void *realloc(void *p, size_t n) noexcept {
        return fails() ? nullptr : std::realloc(p, n ? n : 1);
    }
    // A zero-terminated copy of bytes[0..len), or null when out of memory.
    static char *strndup(const char *bytes, size_t len) noexcept {
        auto *copy = static_cast<char *>(malloc(len + 1));
        if (!copy) return nullptr;
        if (len) std::memcpy(copy, bytes, len);
        copy[len] = '\0';
        return copy;
    }
};
