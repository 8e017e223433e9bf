#include "fuzz_check.h"

#include <cstdio>
#include <cstdlib>

void fuzz_fail(const char *file, int line, const char *what, const std::string &detail) {
    std::fprintf(stderr, "\n%s:%d: property broken: %s\n  %s\n", file, line, what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string fuzz_visible(std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7f && b != '\\') {
            out += ch;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}
