// Failure injection for the C++ headers, which allocate only with the
// nothrow forms of operator new: a countdown that makes the n-th of them
// return null.
#pragma once

// Makes the n-th nothrow allocation from now fail (n >= 1), and every one
// after it.  Arm it only while one thread runs.
struct NewFailer {
    explicit NewFailer(long n);
    ~NewFailer();
    NewFailer(const NewFailer &) = delete;
    NewFailer &operator=(const NewFailer &) = delete;
    // True when the failure was reached (the countdown ran out).
    static bool fired();
};
