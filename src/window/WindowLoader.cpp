#include "window/WindowLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace sorvel::WindowLoader {

namespace {

std::string executableFolder() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return ".";
    buffer.resize(size_t(n));
    const auto slash = buffer.rfind('/');
    return slash == std::string::npos ? "." : buffer.substr(0, slash);
}

} // namespace

int run(int argc, char** argv) {
    const std::string path = executableFolder() + "/libsorvel-window.so";
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "sorvel: the window could not be loaded (%s); see sorvel --help for the command-line reports\n",
                     ::dlerror());
        return 2;
    }
    using Entry = int (*)(int, char**);
    auto entry = reinterpret_cast<Entry>(::dlsym(module, "sorvel_window_main"));
    if (!entry) {
        std::fprintf(stderr, "sorvel: %s has no window entry; see sorvel --help for the command-line reports\n", path.c_str());
        return 2;
    }
    // The module stays loaded until the process ends: Qt's globals live in it.
    return entry(argc, argv);
}

} // namespace sorvel::WindowLoader
