// Replays fuzz corpora without libFuzzer: every file named on the command
// line, or every file in a directory named there, goes through the target
// once. This is how the regular test suite (any compiler, any sanitizer,
// qemu-arm) keeps each corpus and every past crash passing.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replayFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int replay(const std::string& path, int& count) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "cannot stat %s\n", path.c_str());
        return 1;
    }
    if (!S_ISDIR(st.st_mode)) {
        ++count;
        return replayFile(path);
    }
    DIR* dir = opendir(path.c_str());
    if (!dir) return 1;
    int rc = 0;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        rc |= replay(path + "/" + name, count);
    }
    closedir(dir);
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    int rc = 0, count = 0;
    for (int i = 1; i < argc; ++i) rc |= replay(argv[i], count);
    std::printf("replayed %d inputs\n", count);
    return rc;
}
