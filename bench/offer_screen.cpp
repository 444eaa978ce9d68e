// Screening offers through the guard's place checks: the ground (protected places, what
// every mount shows) is built once a screen, so each target costs only its own checks.
// Target: 2,000 cache folders screened in well under a second.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "BenchHome.h"
#include "cleanup/CleanupRules.h"
#include "removal/OfferScreen.h"

using namespace sorvel;

namespace {

std::string benchHome() {
    char pattern[] = "/tmp/sorvel-offers-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? made : "/tmp";
}

void BM_ScreenCacheFolders(benchmark::State& state) {
    static const std::string home = benchHome();
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CACHE_HOME");
    const auto count = static_cast<int>(state.range(0));
    CleanupItem item;
    item.id = "user-caches";
    for (int i = 0; i < count; ++i) {
        const std::string path = home + "/.cache/app" + std::to_string(i);
        benchhome::makeDirs(path);
        item.targets.push_back(CleanupRules::makeTarget("app", path, 6'000'000, std::nullopt));
    }
    for (auto _ : state) {
        std::vector<CleanupItem> items{item};
        OfferScreen::apply(items, CleanupPolicy::standard());
        benchmark::DoNotOptimize(items);
    }
    state.SetItemsProcessed(state.iterations() * count);
}

} // namespace

BENCHMARK(BM_ScreenCacheFolders)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
