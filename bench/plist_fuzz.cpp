// Fuzzes the property list reader: every input goes through PropertyList::parse in this
// process, so an abort, a crash or a hang inside the library stops the run and leaves
// the input behind.
//
//   plist_fuzz SECONDS [RANDOM_SEED] [CORPUS_DIR]
//
// Without libFuzzer this is a mutation loop of its own: binary lists built at random
// (every object type, odd sizes, shared and dangling references, NUL characters in
// strings), a few XML lists and the files of CORPUS_DIR, mutated a few bytes at a time.
// Built by bench/plist-fuzz with clang and -DSORVEL_LIBFUZZER, the same entry point
// runs under libFuzzer instead, seeded with the same generated lists.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/PropertyList.h"

namespace {

// The input being parsed, for the signal handler to save.
const char* gInput = nullptr;
size_t gInputSize = 0;
int gRead = 0;
bool gLastRead = false;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gInput = reinterpret_cast<const char*>(data);
    gInputSize = size;
    gLastRead = sorvel::PropertyList::parse(std::string(reinterpret_cast<const char*>(data), size)).has_value();
    if (gLastRead) ++gRead;
    return 0;
}

namespace {

#ifndef SORVEL_LIBFUZZER
constexpr unsigned kSecondsPerInput = 10;

void writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}

// Async-signal-safe: saves the input, says why, and ends the process.
void onFatalSignal(int sig) {
    const char* file = sig == SIGALRM ? "plist-fuzz-timeout" : "plist-fuzz-crash";
    const int fd = ::open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeAll(fd, gInput, gInputSize);
        ::close(fd);
    }
    const char* what = sig == SIGALRM ? "plist_fuzz: an input took too long; saved as " : "plist_fuzz: an input crashed the reader; saved as ";
    writeAll(2, what, std::strlen(what));
    writeAll(2, file, std::strlen(file));
    writeAll(2, "\n", 1);
    _exit(sig == SIGALRM ? 3 : 2);
}

void installHandlers() {
    static char altStack[1 << 16];
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa{};
    sa.sa_handler = onFatalSignal;
    sa.sa_flags = SA_ONSTACK;
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGALRM}) sigaction(sig, &sa, nullptr);
}
#endif

class Generator {
public:
    explicit Generator(uint64_t seed) : rng_(seed) {}

    size_t below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }

    // A binary list of random objects, mostly well formed.
    std::string binaryList() {
        const size_t count = 1 + below(chance(10) ? 300 : 12);
        const int refSize = chance(80) ? 1 : static_cast<int>(1 + below(4));
        const int offsetSize = chance(70) ? 2 : static_cast<int>(1 + below(8));
        std::string out = "bplist00";
        std::vector<uint64_t> offsets;
        for (size_t i = 0; i < count; ++i) {
            offsets.push_back(out.size());
            out += object(count, refSize, i);
        }
        const uint64_t table = out.size();
        for (uint64_t o : offsets) out += bigEndian(chance(2) ? below(table + 8) : o, offsetSize);
        out += std::string(6, '\0');
        out += static_cast<char>(offsetSize);
        out += static_cast<char>(refSize);
        out += bigEndian(chance(3) ? count + below(3) : count, 8);
        out += bigEndian(chance(3) ? below(count + 2) : 0, 8);
        out += bigEndian(chance(3) ? below(out.size()) : table, 8);
        return out;
    }

    std::string xmlList() {
        static const char* const parts[] = {
            "<dict><key>k</key><string>v</string></dict>", "<array><true/><false/></array>",
            "<integer>-12</integer>", "<real>1.5e300</real>", "<date>2026-12-07T10:00:00Z</date>",
            "<data>AAECAwQ=</data>", "<string>a&#233;&lt;b</string>", "<string><![CDATA[x]]></string>",
            "<key>lonely</key>", "<dict><key>a</key></dict>", "<string>a&#0;b</string>", "<uid>3</uid>"};
        std::string body;
        const size_t n = 1 + below(6);
        for (size_t i = 0; i < n; ++i) body += parts[below(std::size(parts))];
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>" + body +
               "</array></plist>";
    }

    void mutate(std::string& s, const std::vector<std::string>& pool) {
        const size_t steps = 1 + below(4);
        for (size_t step = 0; step < steps; ++step) {
            if (s.empty()) s.push_back(static_cast<char>(below(256)));
            const size_t at = below(s.size());
            switch (below(9)) {
            case 0: s[at] = static_cast<char>(s[at] ^ (1 << below(8))); break;
            case 1: s[at] = static_cast<char>(below(256)); break;
            case 2: {
                static const unsigned char interesting[] = {0x00, 0x01, 0x0F, 0x10, 0x13, 0x14, 0x33, 0x4F,
                                                            0x5F, 0x6F, 0x7F, 0x80, 0x8F, 0xAF, 0xD1, 0xFF};
                s[at] = static_cast<char>(interesting[below(sizeof interesting)]);
                break;
            }
            case 3: s.insert(at, std::string(1 + below(8), static_cast<char>(below(256)))); break;
            case 4: s.erase(at, 1 + below(8)); break;
            case 5: s.insert(at, s.substr(below(s.size()), 1 + below(16))); break;
            case 6: // a field of the trailer
                if (s.size() >= 32) s[s.size() - 32 + 6 + below(26)] = static_cast<char>(below(256));
                break;
            case 7: // a marker's type nibble
                s[at] = static_cast<char>((below(16) << 4) | (s[at] & 0x0F));
                break;
            default: {
                const std::string& other = pool[below(pool.size())];
                if (!other.empty()) s.replace(at, below(16), other.substr(below(other.size()), 1 + below(32)));
            }
            }
        }
        if (s.size() > (1u << 20)) s.resize(1u << 20);
    }

private:
    static std::string bigEndian(uint64_t value, int width) {
        std::string out;
        for (int i = width - 1; i >= 0; --i) out += static_cast<char>(i >= 8 ? 0 : (value >> (8 * i)) & 0xFF);
        return out;
    }

    std::string counted(unsigned type, size_t n) {
        if (n < 15 && chance(90)) return std::string(1, static_cast<char>(type | n));
        const int width = 1 << below(4);
        return std::string(1, static_cast<char>(type | 0x0F)) + static_cast<char>(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)) +
               bigEndian(n, width);
    }

    std::string refs(size_t n, size_t count, int refSize, size_t self) {
        std::string out;
        for (size_t i = 0; i < n; ++i) {
            size_t r = self + 1 + below(count);
            if (r >= count || chance(5)) r = below(count + (chance(2) ? 3 : 0));
            out += bigEndian(r, refSize);
        }
        return out;
    }

    std::string object(size_t count, int refSize, size_t self) {
        switch (below(14)) {
        case 0: return std::string(1, static_cast<char>(below(16)));      // null, bool, fill, junk
        case 1: {                                                          // integers of any width
            const int power = static_cast<int>(below(6));
            std::string out(1, static_cast<char>(0x10 | power));
            for (int i = 0; i < (1 << power); ++i) out += static_cast<char>(below(256));
            return out;
        }
        case 2: return std::string(1, static_cast<char>(0x20 | below(5))) + std::string(16, static_cast<char>(below(256)));
        case 3: return std::string(1, static_cast<char>(0x30 | below(5))) + std::string(16, static_cast<char>(below(256)));
        case 4: {
            const size_t n = below(40);
            std::string out = counted(0x40, n);
            for (size_t i = 0; i < n; ++i) out += static_cast<char>(below(256));
            return out;
        }
        case 5:
        case 6: {
            const size_t n = below(20);
            std::string out = counted(0x50, n);
            for (size_t i = 0; i < n; ++i) out += static_cast<char>(chance(5) ? 0 : 'a' + below(26));
            return out;
        }
        case 7:
        case 8: {
            const size_t n = below(20);
            std::string out = counted(0x60, n);
            for (size_t i = 0; i < n; ++i) {
                static const uint16_t units[] = {0x0000, 0x0041, 0x00E9, 0x0100, 0x20AC, 0xD800, 0xDC00, 0xFFFF};
                const uint16_t u = chance(70) ? static_cast<uint16_t>('a' + below(26)) : units[below(std::size(units))];
                out += static_cast<char>(u >> 8);
                out += static_cast<char>(u & 0xFF);
            }
            return out;
        }
        case 9: { // uid of any width
            const size_t n = below(16);
            return std::string(1, static_cast<char>(0x80 | n)) + std::string(n + 1, static_cast<char>(below(3)));
        }
        case 10:
        case 11: {
            const size_t n = below(8);
            return counted(chance(20) ? 0xC0 : 0xA0, n) + refs(n, count, refSize, self);
        }
        default: {
            const size_t n = below(6);
            return counted(0xD0, n) + refs(2 * n, count, refSize, self);
        }
        }
    }

    std::mt19937_64 rng_;
};

} // namespace

// Under libFuzzer: when SORVEL_FUZZ_SEEDS names a folder, fill it with generated lists
// first, so the fuzzer starts from well-formed input rather than from nothing.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* folder = std::getenv("SORVEL_FUZZ_SEEDS");
    if (!folder) return 0;
    Generator gen(1);
    for (int i = 0; i < 512; ++i) {
        std::ofstream out(std::string(folder) + "/seed-" + std::to_string(i), std::ios::binary);
        out << (i % 8 == 0 ? gen.xmlList() : gen.binaryList());
    }
    return 0;
}

#ifndef SORVEL_LIBFUZZER
int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: plist_fuzz SECONDS [RANDOM_SEED] [CORPUS_DIR]\n");
        return 64;
    }
    const double seconds = std::atof(argv[1]);
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}();
    Generator gen(seed);

    std::vector<std::string> pool;
    if (argc > 3) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[3])) {
            std::ifstream in(entry.path(), std::ios::binary);
            pool.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    for (int i = 0; i < 64; ++i) pool.push_back(i % 8 == 0 ? gen.xmlList() : gen.binaryList());

    installHandlers();
    std::printf("plist_fuzz: seed %llu, %zu seeds, %.0f s\n", static_cast<unsigned long long>(seed), pool.size(),
                seconds);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::duration<double>(seconds);
    uint64_t inputs = 0;
    std::string input;
    while (std::chrono::steady_clock::now() < deadline) {
        for (int batch = 0; batch < 256; ++batch, ++inputs) {
            const size_t kind = gen.below(10);
            if (kind == 0) input = gen.binaryList();
            else if (kind == 1) input = gen.xmlList();
            else input = pool[gen.below(pool.size())];
            if (kind != 0 || gen.chance(50)) gen.mutate(input, pool);
            alarm(kSecondsPerInput);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
            alarm(0);
            // Inputs that still read keep feeding the pool, so mutations build on them.
            if (gLastRead && gen.chance(10)) pool[gen.below(pool.size())] = input;
        }
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("plist_fuzz: %llu inputs in %.1f s (%.0f a second), %d read, none crashed or hung\n",
                static_cast<unsigned long long>(inputs), elapsed, inputs / elapsed, gRead);
    return 0;
}
#endif
