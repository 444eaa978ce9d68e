// Times FileWalker::walk or FileWalker::walkParallel on one path.
//
// Usage: walk_bench [--parallel] [--runs N] PATH
// Each run walks with a fresh ScanControl and the standard options. Prints one line per
// run, then "median <seconds> s  <bytes> bytes  <files> files  <dirs> dirs".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/FileWalker.h"

using namespace sorvel;

int main(int argc, char** argv) {
    bool parallel = false;
    int runs = 1;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--parallel") parallel = true;
        else if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else path = a;
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: walk_bench [--parallel] [--runs N] PATH\n");
        return 2;
    }
    std::vector<double> seconds;
    ScanNodePtr last;
    for (int r = 0; r < runs; ++r) {
        ScanControl control;
        auto start = std::chrono::steady_clock::now();
        last = parallel ? FileWalker::walkParallel(path, control) : FileWalker::walk(path, control);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!last) {
            std::fprintf(stderr, "walk_bench: cannot examine %s\n", path.c_str());
            return 1;
        }
        seconds.push_back(s);
        std::printf("run %d: %.4f s\n", r + 1, s);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("median %.4f s  %lld bytes  %lld files  %lld dirs\n", seconds[seconds.size() / 2],
                static_cast<long long>(last->size), static_cast<long long>(last->fileCount),
                static_cast<long long>(last->dirCount));
    return 0;
}
