#pragma once
// The benchmark home: a generated ~/Library of about 200,000 files shaped like a real
// one (many small files, a few large; caches, containers, developer data, Mail,
// Messages, logs, a Trash, cloud folders no walk enters, hard links across categories).
// Deterministic; generated once and reused while its marker file is there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace benchhome {

inline std::mt19937_64 rng(20240501);
inline size_t filesMade = 0;
inline std::vector<std::string> linkSources;

inline void makeDirs(const std::string& path) {
    std::string partial;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        partial = path.substr(0, end);
        ::mkdir(partial.c_str(), 0755);
        start = end + 1;
    }
}

// Most files of a library are small; a few are large.
inline size_t sizeOfNext() {
    std::uniform_int_distribution<int> pick(0, 999);
    int p = pick(rng);
    if (p < 700) return std::uniform_int_distribution<size_t>(0, 3000)(rng);
    if (p < 970) return std::uniform_int_distribution<size_t>(3000, 16000)(rng);
    if (p < 999) return std::uniform_int_distribution<size_t>(16000, 100000)(rng);
    return std::uniform_int_distribution<size_t>(1000000, 3000000)(rng);
}

inline void writeFile(const std::string& path, size_t bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    static const std::string block(65536, 'd');
    while (bytes > 0) {
        size_t n = std::min(bytes, block.size());
        if (::write(fd, block.data(), n) < 0) break;
        bytes -= n;
    }
    ::close(fd);
    ++filesMade;
}

// A tree of `files` files spread over folders `depth` levels deep, `fanout` wide.
inline void tree(const std::string& root, size_t files, int depth, int fanout, const char* stem) {
    makeDirs(root);
    if (depth == 0 || files < 20) {
        for (size_t i = 0; i < files; ++i) writeFile(root + "/" + stem + std::to_string(i), sizeOfNext());
        return;
    }
    size_t here = files / 10;
    for (size_t i = 0; i < here; ++i) writeFile(root + "/" + stem + std::to_string(i), sizeOfNext());
    size_t rest = files - here;
    for (int f = 0; f < fanout; ++f) {
        size_t share = rest / fanout + (static_cast<size_t>(f) < rest % fanout ? 1 : 0);
        char name[16];
        std::snprintf(name, sizeof name, "%02x", f * 7 + depth);
        tree(root + "/" + name, share, depth - 1, fanout, stem);
    }
}

inline void generate(const std::string& home) {
    const std::string lib = home + "/Library";
    // Caches: many apps, each with a hashed cache store.
    for (int a = 0; a < 40; ++a) tree(lib + "/Caches/com.vendor.app" + std::to_string(a), 1400, 2, 6, "c");
    // Application Support: per-app state, a few deep ones.
    for (int a = 0; a < 30; ++a) tree(lib + "/Application Support/App " + std::to_string(a), 1000, 3, 4, "s");
    // Containers: sandboxed apps, each Data/Library/... shaped.
    for (int a = 0; a < 50; ++a)
        tree(lib + "/Containers/com.vendor.sandboxed" + std::to_string(a) + "/Data/Library", 800, 3, 3, "k");
    for (int a = 0; a < 5; ++a) tree(lib + "/Group Containers/group.vendor." + std::to_string(a), 1000, 2, 5, "g");
    // Developer: derived data with deep build products, and simulators.
    for (int p = 0; p < 8; ++p)
        tree(lib + "/Developer/Xcode/DerivedData/Project" + std::to_string(p) + "-abcdef/Build", 4000, 5, 3, "o");
    tree(lib + "/Developer/CoreSimulator/Devices", 8000, 4, 4, "sim");
    // Mail and Messages.
    tree(lib + "/Mail/V10", 15000, 3, 5, "m");
    tree(lib + "/Messages/Attachments", 5000, 2, 16, "att");
    tree(lib + "/Logs", 2000, 2, 4, "log");
    // The rest of the library.
    tree(lib + "/Preferences", 1500, 0, 0, "p");
    tree(lib + "/Safari", 500, 1, 3, "w");
    tree(lib + "/Photos/Libraries", 2000, 3, 3, "ph");
    tree(home + "/.local/share/Trash/files", 2000, 2, 4, "t");
    // Cloud trees no walk enters.
    tree(lib + "/Mobile Documents/com~apple~CloudDocs", 3000, 2, 4, "d");
    tree(lib + "/Application Support/CloudDocs/session", 1000, 1, 4, "cd");

    // Hard links across categories: caches shared with containers and developer data.
    std::uniform_int_distribution<int> pickApp(0, 39);
    makeDirs(lib + "/Containers/com.vendor.sandboxed0/Data/Shared");
    makeDirs(lib + "/Developer/Shared");
    for (int i = 0; i < 600; ++i) {
        const std::string src = lib + "/Caches/com.vendor.app" + std::to_string(pickApp(rng)) + "/c" +
                                std::to_string(i % 140);
        struct stat st {};
        if (::stat(src.c_str(), &st) != 0) continue;
        ::link(src.c_str(), (lib + "/Containers/com.vendor.sandboxed0/Data/Shared/l" + std::to_string(i)).c_str());
        if (i % 2 == 0) ::link(src.c_str(), (lib + "/Developer/Shared/l" + std::to_string(i)).c_str());
    }
}

/// The default place: $TMPDIR (or /tmp) + "/sorvel-bench-home".
inline std::string defaultPath() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/sorvel-bench-home";
}

/// Generates the home unless its marker is there; true when it was generated now.
inline bool ensure(const std::string& home) {
    const std::string marker = home + "/.generated";
    struct stat st {};
    if (::stat(marker.c_str(), &st) == 0) return false;
    generate(home);
    writeFile(marker, 0);
    return true;
}

} // namespace benchhome
