// The kill ring: a fixed number of slots holding the newest kills.  Changes
// are prepared first (every allocation happens there) and committed without
// allocating, so a failure leaves the ring as it was.
#include <cstring>

#include "ext.h"

bool kvx_ring_init(kvx_ring &r, size_t size) noexcept {
    r = kvx_ring{};
    if (size == 0 || size > SIZE_MAX / sizeof(kvx_bytes)) return false;
    r.entries = static_cast<kvx_bytes *>(kvx_malloc(size * sizeof(kvx_bytes)));
    if (!r.entries) return false;
    for (size_t i = 0; i < size; ++i)
        r.entries[i] = kvx_bytes{};
    r.size = size;
    return true;
}

void kvx_ring_free(kvx_ring &r) noexcept {
    for (size_t i = 0; i < r.size; ++i)
        kvx_release(r.entries[i]);
    kvx_free(r.entries);
    r = kvx_ring{};
}

const kvx_bytes *kvx_ring_entry(const kvx_ring &r, size_t i) noexcept {
    if (i >= r.count) return nullptr;
    return &r.entries[(r.newest + r.size - i) % r.size];
}

bool kvx_ring_prepare(const kvx_ring &r, const char *text, size_t len, bool join, bool forward,
                      size_t max_len, kvx_ring_change &out) noexcept {
    out = kvx_ring_change{};
    const kvx_bytes *old = join ? kvx_ring_entry(r, 0) : nullptr;
    if (old && (len > max_len || old->len > max_len - len))
        old = nullptr; // too long together: a new entry
    size_t total = len + (old ? old->len : 0);
    auto *p = static_cast<char *>(kvx_malloc(total + 1));
    if (!p) return false;
    if (old && !forward) {
        std::memcpy(p, text, len);
        std::memcpy(p + len, old->data, old->len);
    } else if (old) {
        std::memcpy(p, old->data, old->len);
        std::memcpy(p + old->len, text, len);
    } else if (len) {
        std::memcpy(p, text, len);
    }
    p[total] = '\0';
    out.text = p;
    out.len = total;
    out.join = old != nullptr;
    return true;
}

void kvx_ring_commit(kvx_ring &r, kvx_ring_change &c) noexcept {
    if (!c.text || r.size == 0) return kvx_ring_discard(c);
    if (!c.join) {
        r.newest = r.count ? (r.newest + 1) % r.size : 0;
        if (r.count < r.size) ++r.count;
    }
    kvx_bytes &slot = r.entries[r.newest];
    kvx_release(slot);
    slot.data = c.text;
    slot.len = c.len;
    slot.cap = c.len + 1;
    c = kvx_ring_change{};
}

void kvx_ring_discard(kvx_ring_change &c) noexcept {
    kvx_free(c.text);
    c = kvx_ring_change{};
}
