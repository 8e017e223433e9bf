// The nothrow forms of operator new, replaced for the whole test program so
// that NewFailer can make them fail.  They allocate through the ordinary
// operator new, so every delete still matches its allocation.
#include "new_fault.h"

#include <atomic>
#include <new>

namespace {

std::atomic<long> new_countdown{-1}; // -1: off; 0: failing

bool take_failure() {
    long n = new_countdown.load();
    if (n < 0) return false;
    if (n > 0) new_countdown = --n;
    return n == 0;
}

} // namespace

NewFailer::NewFailer(long n) { new_countdown = n; }
NewFailer::~NewFailer() { new_countdown = -1; }
bool NewFailer::fired() { return new_countdown.load() == 0; }

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (take_failure()) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    if (take_failure()) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
