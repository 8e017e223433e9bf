// Memory for the whole library comes from the system allocator through these
// wrappers.  They add one seam: tests can make the n-th allocation fail, so
// every out-of-memory path is exercised for real.
#pragma once

#include <cstddef>

void *kv_malloc(size_t n) noexcept;
void *kv_calloc(size_t count, size_t size) noexcept;
void *kv_realloc(void *p, size_t n) noexcept;
void kv_free(void *p) noexcept;

// A zero-terminated copy of bytes[0..len), or null when out of memory.
char *kv_strndup(const char *bytes, size_t len) noexcept;

// Fault injection: when the countdown is positive it is decreased on every
// allocation and the allocation that brings it to 0 fails (as do all later
// ones while it stays 0).  Negative (the default) disables it.
extern long kv_alloc_countdown;
