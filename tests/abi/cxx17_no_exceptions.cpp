// kavrik.hpp compiled as C++17 without exceptions: the header must build and
// its results must still carry codes and messages.
#include <kavrik.hpp>

#include <cstdio>
#include <string_view>

namespace {

int failures = 0;

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

} // namespace

int main() {
    kavrik::editor ed(kavrik::config().max_line_len(8));
    check(static_cast<bool>(ed), "an editor is created");
    check(static_cast<bool>(ed.insert("abc")), "insert succeeds");
    kavrik::result r = ed.insert("123456");
    check(r.value == kavrik::code::failed, "an over-long insert fails");
    check(r.message == "line exceeds configured maximum length", "with the editor's message");
    check(ed.buffer() == "abc", "and leaves the line as it was");
    int calls = 0;
    check(static_cast<bool>(ed.bind(kavrik::key::tab,
                                    [&](kavrik::editor &, int) {
                                        ++calls;
                                        return kavrik::action::handled;
                                    })),
          "a callable is bound");
    check(static_cast<bool>(ed.on_idle([&](kavrik::editor &) { ++calls; })),
          "an idle callable is set");
    check(ed.submit().message == "no readline call is running", "submit outside a call is refused");
    check(calls == 0, "no callable ran outside a call");
    return failures == 0 ? 0 : 1;
}
