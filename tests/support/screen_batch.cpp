#include "screen_batch.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

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

Snapshot snapshot_of(const VtScreen &s) {
    Snapshot out;
    for (int r = 0; r < s.rows(); ++r) out.rows.push_back(s.row(r));
    out.cursor_row = s.cursor_row();
    out.cursor_col = s.cursor_col();
    return out;
}

// A file that is removed with this.
struct TempFile {
    std::string path;
    TempFile() {
        path = (fs::temp_directory_path() / "kavrik-xterm-XXXXXX").string();
        int fd = mkstemp(path.data());
        if (fd >= 0) ::close(fd);
        else path.clear();
    }
    ~TempFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

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
    for (size_t r = 0; r < rows.size(); ++r) out += (r ? "\n" : "") + rows[r];
    return out;
}

int ScreenBatch::open(int rows, int cols) {
    const int id = next_id_++;
    if (emulator_ == Emulator::libvterm)
        screens_[id] = std::make_unique<VtScreen>(rows, cols);
    else
        commands_ += "open " + std::to_string(id) + " " + std::to_string(rows) + " " +
                     std::to_string(cols) + "\n";
    return id;
}

void ScreenBatch::feed(int term, std::string_view bytes) {
    if (bytes.empty()) return;
    if (emulator_ == Emulator::libvterm) {
        screens_.at(term)->feed(bytes);
        return;
    }
    commands_ += "feed " + std::to_string(term) + " " + std::to_string(bytes.size()) + "\n";
    commands_.append(bytes);
    commands_ += '\n';
}

void ScreenBatch::resize(int term, int rows, int cols) {
    if (emulator_ == Emulator::libvterm)
        screens_.at(term)->resize(rows, cols);
    else
        commands_ += "resize " + std::to_string(term) + " " + std::to_string(rows) + " " +
                     std::to_string(cols) + "\n";
}

size_t ScreenBatch::snap(int term) {
    if (emulator_ == Emulator::libvterm) {
        snaps_.push_back(snapshot_of(*screens_.at(term)));
        return snaps_.size() - 1;
    }
    commands_ += "snap " + std::to_string(term) + "\n";
    return snaps_.size() + pending_++;
}

void ScreenBatch::close(int term) {
    if (emulator_ == Emulator::libvterm)
        screens_.erase(term);
    else
        commands_ += "close " + std::to_string(term) + "\n";
}

std::string ScreenBatch::run() {
    if (emulator_ == Emulator::libvterm || commands_.empty()) return "";
    if (std::string missing = emulator_missing(emulator_); !missing.empty()) return missing;
    TempFile in, err;
    if (in.path.empty() || err.path.empty()) return "cannot make a temporary file";
    {
        std::ofstream f(in.path, std::ios::binary);
        f.write(commands_.data(), static_cast<std::streamsize>(commands_.size()));
        if (!f) return "cannot write " + in.path;
    }
    // KAVRIK_XTERM_KEEP=PATH keeps each batch's commands (PATH0, PATH1, ...)
    // for replaying a failure by hand.
    static int kept = 0;
    if (const char *keep = std::getenv("KAVRIK_XTERM_KEEP"))
        fs::copy_file(in.path, keep + std::to_string(kept++), fs::copy_options::overwrite_existing);
    const std::string cmd = "node '" KAVRIK_XTERM_SCRIPT "' '" + node_modules_dir().string() +
                            "' <'" + in.path + "' 2>'" + err.path + "'";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return "cannot run node";
    std::string out;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = pclose(p);
    if (status != 0) {
        std::ifstream e(err.path);
        std::stringstream why;
        why << e.rdbuf();
        return "xterm.js replay failed (" + cmd + "):\n" + why.str();
    }
    // Each snapshot: "ROWS CURSOR_ROW CURSOR_COL", then that many rows.
    std::istringstream lines(out);
    for (; pending_ > 0; --pending_) {
        Snapshot s;
        int rows = -1;
        std::string head;
        std::getline(lines, head);
        std::istringstream(head) >> rows >> s.cursor_row >> s.cursor_col;
        for (std::string r; rows-- > 0 && std::getline(lines, r);) s.rows.push_back(r);
        if (rows != -1 || !lines) return "xterm.js replay printed too little:\n" + out;
        snaps_.push_back(std::move(s));
    }
    commands_.clear();
    return "";
}
