#include "screen_batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

// Where tools/install-deps.sh installs the xterm.js packages.
fs::path node_modules_dir() {
    if (const char *d = std::getenv("KAVRIK_NODE_DIR"); d && *d) return d;
    if (const char *x = std::getenv("XDG_CACHE_HOME"); x && *x) return fs::path(x) / "kavrik-node";
    const char *home = std::getenv("HOME");
    return fs::path(home ? home : "/nonexistent") / ".cache" / "kavrik-node";
}

std::string xterm_missing() {
    if (std::system("command -v node >/dev/null 2>&1") != 0)
        return "node is not installed (tools/install-deps.sh installs it)";
    const fs::path dir = node_modules_dir() / "node_modules" / "@xterm";
    for (const char *pkg : {"headless", "addon-unicode-graphemes"})
        if (!fs::exists(dir / pkg / "package.json"))
            return "@xterm/" + std::string(pkg) + " is not in " + node_modules_dir().string() +
                   " (tools/install-deps.sh installs it)";
    return "";
}

// A file that is removed with this.
struct TempFile {
    std::string path;
    TempFile() {
        path = (fs::temp_directory_path() / "kavrik-xterm-XXXXXX").string();
        int fd = mkstemp(path.data());
        if (fd >= 0)
            ::close(fd);
        else
            path.clear();
    }
    ~TempFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

// The commands of the node script (tests/support/xterm_screen.mjs).
std::string sized(const char *op, int term, int rows, int cols) {
    return std::string(op) + " " + std::to_string(term) + " " + std::to_string(rows) + " " +
           std::to_string(cols) + "\n";
}
std::string plain(const char *op, int term) {
    return std::string(op) + " " + std::to_string(term) + "\n";
}
std::string feed_command(int term, std::string_view bytes) {
    return "feed " + std::to_string(term) + " " + std::to_string(bytes.size()) + "\n" +
           std::string(bytes) + "\n";
}

// One snapshot as the script prints it: "ROWS CURSOR_ROW CURSOR_COL", then
// that many rows.  False when the text does not hold all of it yet.
bool take_snapshot(std::string &text, Snapshot &s) {
    size_t at = text.find('\n');
    if (at == std::string::npos) return false;
    int rows = -1;
    std::istringstream(text.substr(0, at)) >> rows >> s.cursor_row >> s.cursor_col;
    if (rows < 0) throw std::runtime_error("xterm.js replay printed: " + text);
    s.rows.clear();
    for (++at; rows-- > 0; ++at) {
        const size_t nl = text.find('\n', at);
        if (nl == std::string::npos) return false;
        s.rows.push_back(text.substr(at, nl - at));
        at = nl;
    }
    text.erase(0, at);
    return true;
}

} // namespace

std::string emulator_name(Emulator e) { return e == Emulator::libvterm ? "libvterm" : "xtermjs"; }

std::string emulator_missing(Emulator e) {
    if (e == Emulator::libvterm) return "";
    static const std::string missing = xterm_missing();
    return missing;
}

std::string Snapshot::row(int r) const {
    return r >= 0 && static_cast<size_t>(r) < rows.size() ? rows[static_cast<size_t>(r)] : "";
}

std::string Snapshot::dump() const {
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r)
        out += (r ? "\n" : "") + rows[r];
    return out;
}

Snapshot snapshot_of(const VtScreen &s) {
    Snapshot out;
    for (int r = 0; r < s.rows(); ++r)
        out.rows.push_back(s.row(r));
    out.cursor_row = s.cursor_row();
    out.cursor_col = s.cursor_col();
    return out;
}

int ScreenBatch::open(int rows, int cols) {
    const int id = next_id_++;
    if (emulator_ == Emulator::libvterm)
        screens_[id] = std::make_unique<VtScreen>(rows, cols);
    else
        commands_ += sized("open", id, rows, cols);
    return id;
}

void ScreenBatch::feed(int term, std::string_view bytes) {
    if (bytes.empty()) return;
    if (emulator_ == Emulator::libvterm) {
        screens_.at(term)->feed(bytes);
        return;
    }
    commands_ += feed_command(term, bytes);
}

void ScreenBatch::resize(int term, int rows, int cols) {
    if (emulator_ == Emulator::libvterm)
        screens_.at(term)->resize(rows, cols);
    else
        commands_ += sized("resize", term, rows, cols);
}

size_t ScreenBatch::snap(int term) {
    if (emulator_ == Emulator::libvterm) {
        snaps_.push_back(snapshot_of(*screens_.at(term)));
        return snaps_.size() - 1;
    }
    commands_ += plain("snap", term);
    return snaps_.size() + pending_++;
}

void ScreenBatch::close(int term) {
    if (emulator_ == Emulator::libvterm)
        screens_.erase(term);
    else
        commands_ += plain("close", term);
}

// A node process replaying a batch, reading its commands from one file and
// writing its complaints to another.
struct ScreenBatch::Replay {
    TempFile in, err;
    std::string cmd, error;
    FILE *pipe = nullptr;
    ~Replay() {
        if (pipe) pclose(pipe);
    }
};

ScreenBatch::ScreenBatch(Emulator e) : emulator_(e) {}
ScreenBatch::~ScreenBatch() = default;

void ScreenBatch::start() {
    if (emulator_ == Emulator::libvterm || commands_.empty() || replay_) return;
    replay_ = std::make_unique<Replay>();
    Replay &r = *replay_;
    r.error = emulator_missing(emulator_);
    if (!r.error.empty()) return;
    if (r.in.path.empty() || r.err.path.empty()) {
        r.error = "cannot make a temporary file";
        return;
    }
    std::ofstream f(r.in.path, std::ios::binary);
    f.write(commands_.data(), static_cast<std::streamsize>(commands_.size()));
    f.close();
    if (!f) {
        r.error = "cannot write " + r.in.path;
        return;
    }
    // KAVRIK_XTERM_KEEP=PATH keeps each batch's commands (PATH0, PATH1, ...)
    // for replaying a failure by hand.
    static int kept = 0;
    if (const char *keep = std::getenv("KAVRIK_XTERM_KEEP"))
        fs::copy_file(r.in.path, keep + std::to_string(kept++),
                      fs::copy_options::overwrite_existing);
    r.cmd = "node '" KAVRIK_XTERM_SCRIPT "' '" + node_modules_dir().string() + "' <'" + r.in.path +
            "' 2>'" + r.err.path + "'";
    r.pipe = popen(r.cmd.c_str(), "r");
    if (!r.pipe) r.error = "cannot run node";
}

std::string ScreenBatch::run() {
    start();
    if (!replay_) return "";
    const std::unique_ptr<Replay> r = std::move(replay_);
    if (!r->error.empty()) return r->error;
    std::string out;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, r->pipe)) > 0;)
        out.append(buf, n);
    const int status = pclose(r->pipe);
    r->pipe = nullptr;
    if (status != 0) {
        std::ifstream e(r->err.path);
        std::stringstream why;
        why << e.rdbuf();
        return "xterm.js replay failed (" + r->cmd + "):\n" + why.str();
    }
    for (; pending_ > 0; --pending_) {
        Snapshot snap;
        if (!take_snapshot(out, snap)) return "xterm.js replay printed too little";
        snaps_.push_back(std::move(snap));
    }
    commands_.clear();
    return "";
}

LiveXterm::LiveXterm() {
    error_ = emulator_missing(Emulator::xterm_js);
    if (!error_.empty()) return;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        error_ = "cannot make pipes for node";
        return;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        error_ = "cannot make pipes for node";
        return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    const std::string dir = node_modules_dir().string();
    char *argv[] = {const_cast<char *>("node"), const_cast<char *>(KAVRIK_XTERM_SCRIPT),
                    const_cast<char *>(dir.c_str()), const_cast<char *>("--live"), nullptr};
    if (posix_spawnp(&pid_, "node", &fa, nullptr, argv, environ) != 0) {
        pid_ = -1;
        error_ = "cannot start node";
    }
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
    // A node that died must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
}

LiveXterm::~LiveXterm() {
    if (in_ >= 0) ::close(in_); // end of input: node ends
    if (out_ >= 0) ::close(out_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

void LiveXterm::send(const std::string &command) {
    for (size_t at = 0; error_.empty() && at < command.size();) {
        const ssize_t n = ::write(in_, command.data() + at, command.size() - at);
        if (n > 0)
            at += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            error_ = "node stopped reading";
    }
}

int LiveXterm::open(int rows, int cols) {
    const int id = next_id_++;
    send(sized("open", id, rows, cols));
    return id;
}

void LiveXterm::feed(int term, std::string_view bytes) {
    if (!bytes.empty()) send(feed_command(term, bytes));
}

void LiveXterm::resize(int term, int rows, int cols) { send(sized("resize", term, rows, cols)); }

void LiveXterm::close(int term) { send(plain("close", term)); }

Snapshot LiveXterm::snap(int term) {
    Snapshot s;
    send(plain("snap", term));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (error_.empty() && !take_snapshot(pending_, s)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        char buf[4096];
        ssize_t n = 0;
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
            (n = ::read(out_, buf, sizeof buf)) <= 0) {
            error_ = "node did not answer";
            return Snapshot{};
        }
        pending_.append(buf, static_cast<size_t>(n));
    }
    return s;
}
