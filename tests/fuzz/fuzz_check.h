// What the fuzz targets share: a check that reports a broken property and
// aborts (so that libFuzzer keeps the input), and a reader that takes the
// fuzz input apart into the values a target needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

[[noreturn]] void fuzz_fail(const char *file, int line, const char *what,
                            const std::string &detail);

// Checks a property; the detail is built only when it fails.
#define FUZZ_CHECK(cond, detail)                                                                   \
    do {                                                                                           \
        if (!(cond)) fuzz_fail(__FILE__, __LINE__, #cond, (detail));                               \
    } while (0)

// A readable form of bytes for failure messages: printable ASCII as it is,
// everything else as \xNN.
std::string fuzz_visible(std::string_view bytes);

// A new private directory for a target's files: in TMPDIR when set, else in
// /dev/shm where it is writable (files in memory, since saves sync), else /tmp.
std::string fuzz_temp_dir();

// Takes values from the front of the input; past its end every value is 0
// and every string empty.
class FuzzInput {
  public:
    FuzzInput(const uint8_t *data, size_t size) : p_(data), left_(size) {}
    uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *p_++;
    }
    // A value in [lo, hi].
    int range(int lo, int hi) { return lo + byte() % (hi - lo + 1); }
    // Up to n bytes.
    std::string_view take(size_t n) {
        if (n > left_) n = left_;
        std::string_view s(reinterpret_cast<const char *>(p_), n);
        p_ += n;
        left_ -= n;
        return s;
    }
    // A piece whose length is given by the next byte (at most max).
    std::string_view piece(size_t max) { return take(byte() % (max + 1)); }
    std::string_view rest() { return take(left_); }
    size_t left() const { return left_; }

  private:
    const uint8_t *p_;
    size_t left_;
};

// Text made of tokens whose widths a terminal (libvterm) and the library
// agree on: letters, spaces, line feeds, tabs, an accented letter, wide CJK
// characters, a letter with a combining mark.  Up to max tokens; without
// line_breaks no line feed or tab.
using FuzzTokens = std::vector<std::string>;
FuzzTokens fuzz_tokens(FuzzInput &in, size_t max, bool line_breaks);
// The first `upto` tokens joined (all by default).
std::string fuzz_joined(const FuzzTokens &t, size_t upto = static_cast<size_t>(-1));
