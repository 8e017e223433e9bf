// Runs a fuzz target once over each input file named on the command line
// (a directory stands for every file in it), without libFuzzer: the
// checked-in corpus as an ordinary test.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

namespace {

bool read_file(const std::string &path, std::vector<uint8_t> *out) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void collect(const std::string &path, std::vector<std::string> *files) {
    struct stat sb;
    if (stat(path.c_str(), &sb) != 0) return;
    if (!S_ISDIR(sb.st_mode)) {
        files->push_back(path);
        return;
    }
    DIR *d = opendir(path.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(path + "/" + e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto &n : names)
        collect(n, files);
}

} // namespace

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
        collect(argv[i], &files);
    if (files.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::vector<uint8_t> data;
    for (const auto &f : files) {
        if (!read_file(f, &data)) {
            std::fprintf(stderr, "cannot read %s\n", f.c_str());
            return 1;
        }
        std::fprintf(stderr, "replay %s (%zu bytes)\n", f.c_str(), data.size());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::fprintf(stderr, "%zu inputs passed\n", files.size());
    return 0;
}
