// Failure injection for the tests: an allocation countdown and overrides of
// the library's system-call table, both undone when the guard goes away.
#pragma once

#include "base/alloc.h"
#include "base/sys.h"

// Makes the n-th allocation from now fail (n >= 1), and every one after it.
struct AllocFailer {
    explicit AllocFailer(long n) { kv_alloc_countdown = n; }
    ~AllocFailer() { kv_alloc_countdown = -1; }
    AllocFailer(const AllocFailer &) = delete;
    AllocFailer &operator=(const AllocFailer &) = delete;
    // True when the failure was reached (the countdown ran out).
    static bool fired() { return kv_alloc_countdown == 0; }
};

// Restores the real system calls when it goes out of scope.
struct SysGuard {
    SysGuard() = default;
    ~SysGuard() { kv_sys_reset(); }
    SysGuard(const SysGuard &) = delete;
    SysGuard &operator=(const SysGuard &) = delete;
};

// Runs op with the n-th allocation failing for n = 1, 2, ... until op runs
// through without reaching the failure; check(n, result) is called for each
// failing run.  Returns the number of allocations op made.  Failer is the
// countdown to use (the library's allocations by default).
template <typename Failer = AllocFailer, typename Op, typename Check>
long for_each_alloc_failure(Op op, Check check, long limit = 10000) {
    for (long n = 1; n < limit; ++n) {
        long result;
        bool fired;
        {
            Failer f(n);
            result = static_cast<long>(op());
            fired = Failer::fired();
        }
        if (!fired) return n - 1;
        check(n, result);
    }
    return -1;
}
