// kavrik-repl: a small C++ shell on kavrik.hpp and kavrik_ext.hpp.  Its
// history lives in ~/.kavrik_repl_history, Tab completes its commands, F1
// shows the help above the prompt, and "later TEXT" has the idle callable
// print TEXT above the next prompt about half a second after it appears.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <kavrik.hpp>
#include <kavrik_ext.hpp>

namespace {

const std::vector<std::string> commands{"help", "later", "quit"};
const char *const help = "commands: help, later TEXT, quit (Tab completes, F1 shows this)\n";

// The commands that start with the first word typed so far.
std::vector<std::string> complete(std::string_view line, std::size_t cursor) {
    std::vector<std::string> found;
    std::string_view typed = line.substr(0, cursor);
    if (typed.find(' ') != std::string_view::npos) return found;
    for (const std::string &command : commands)
        if (command.compare(0, typed.size(), typed) == 0) found.push_back(command);
    return found;
}

} // namespace

int main() {
    std::signal(SIGINT, SIG_IGN); // Ctrl-C abandons the line, not the shell
    kavrik::editor ed;
    if (!ed) return 1;
    const char *home = std::getenv("HOME");
    const std::string history = std::string(home ? home : ".") + "/.kavrik_repl_history";
    ed.history_load(history); // fails on the first run: there is no file yet
    if (auto r = kavrik::ext::attach(ed, complete); !r)
        std::cerr << "no completion: " << r.message << std::endl;
    ed.bind(kavrik::key::f1, [](kavrik::editor &e, int) { e.print_above(help); });

    std::vector<std::string> later; // printed by the idle callable
    int ticks = 0;                  // idle ticks of the current prompt
    ed.on_idle([&](kavrik::editor &e) {
        if (later.empty() || ++ticks < 5) return;
        for (const std::string &text : later)
            e.print_above(text + "\n");
        later.clear();
    });

    for (;;) {
        ticks = 0;
        std::optional<std::string> line = ed.readline("repl> ");
        if (!line) {
            if (ed.last_status() == kavrik::status::interrupted) continue;
            break;
        }
        line->erase(line->find_last_not_of(' ') + 1); // Tab leaves a space behind a command
        ed.history_add(*line);
        if (*line == "quit") break;
        if (*line == "help")
            std::cout << help << std::flush;
        else if (line->rfind("later ", 0) == 0)
            later.push_back(line->substr(6));
        else
            std::cout << "echo: " << *line << std::endl;
    }
    int status = 0;
    if (ed.last_status() == kavrik::status::error) {
        std::cerr << "error: " << ed.last_error() << std::endl;
        status = 1;
    }
    if (auto r = ed.history_save(history); !r) {
        std::cerr << "history not saved: " << r.message << std::endl;
        status = 1;
    }
    return status;
}
