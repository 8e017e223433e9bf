#include "fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

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

namespace {
const char *const kTokens[] = {"a",
                               "b",
                               "c",
                               "d",
                               "e",
                               "f",
                               " ",
                               " ",
                               " ",
                               "\n",
                               "\t",
                               "\xc3\xa9",
                               "\xe6\xbc\xa2",
                               "\xe3\x81\x82",
                               "-",
                               "xyz",
                               "e\xcc\x81"};
constexpr size_t kTokenCount = sizeof kTokens / sizeof kTokens[0];
} // namespace

FuzzTokens fuzz_tokens(FuzzInput &in, size_t max, bool line_breaks) {
    FuzzTokens out;
    size_t n = in.byte() % (max + 1);
    for (size_t k = 0; k < n; ++k) {
        const char *t = kTokens[in.byte() % kTokenCount];
        if (!line_breaks && (t[0] == '\n' || t[0] == '\t')) t = "p";
        out.emplace_back(t);
    }
    return out;
}

std::string fuzz_joined(const FuzzTokens &t, size_t upto) {
    std::string out;
    for (size_t k = 0; k < t.size() && k < upto; ++k)
        out += t[k];
    return out;
}

std::string fuzz_temp_dir() {
    const char *tmp = getenv("TMPDIR");
    const char *base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string templ = std::string(base) + "/kavrik-fuzz-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    FUZZ_CHECK(mkdtemp(buf.data()) != nullptr, templ);
    return buf.data();
}
