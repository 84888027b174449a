// Replays a fuzz target over the files of its corpus, once each, without
// libFuzzer: what CI runs with the ordinary compiler. Arguments are files or
// folders (every regular file in them, sorted). Exit status 1 when a path
// cannot be read or holds no file at all.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> archivos;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            for (const auto& e : fs::directory_iterator(p, ec))
                if (e.is_regular_file())
                    archivos.push_back(e.path());
        } else if (fs::is_regular_file(p, ec)) {
            archivos.push_back(p);
        } else {
            std::fprintf(stderr, "replay: %s: not a file or folder\n", argv[i]);
            return 1;
        }
    }
    if (archivos.empty()) {
        std::fprintf(stderr, "replay: no input files\n");
        return 1;
    }
    std::sort(archivos.begin(), archivos.end());
    for (const auto& a : archivos) {
        std::ifstream f(a, std::ios::binary);
        if (!f) {
            std::fprintf(stderr, "replay: cannot read %s\n", a.c_str());
            return 1;
        }
        const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        // A copy of exactly the input's size, as libFuzzer hands it over.
        std::vector<uint8_t> copia(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(copia.data(), copia.size());
    }
    std::printf("replay: %zu inputs, no failure\n", archivos.size());
    return 0;
}
