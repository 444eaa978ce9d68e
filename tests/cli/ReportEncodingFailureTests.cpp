// When a report cannot be built (memory running out on a huge tree), the reason travels
// with the failure to the alert and the diagnostic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "cli/ReportExporter.h"
#include "cli/ScanReport.h"

using namespace sorvel;

namespace {
thread_local bool refuseLarge = false; // allocations of a megabyte or more fail on this thread

void* allocate(size_t size) {
    if (refuseLarge && size >= (1 << 20)) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

// Every unaligned form, so each allocation and its release meet in malloc and free.
void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t n, const std::nothrow_t&) noexcept try { return allocate(n); } catch (...) { return nullptr; }
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST(ReportEncodingFailure, BothEncodersGiveTheReason) {
    ScanResult result; // two roots (both reports list them) whose paths alone are past the refused size
    auto& c = result.categories.emplace_back();
    c.category.id = "caches";
    for (char letter : {'a', 'b'}) c.roots.push_back(ScanNode::make("Caches", "/r/" + std::string(2 << 20, letter)));
    using Encode = std::function<std::optional<std::string>(std::string*)>;
    const std::pair<const char*, Encode> encoders[] = {
        {"exported", [&](std::string* e) { return ReportExporter::encode(result, e); }},
        {"headless", [&](std::string* e) { return HeadlessReport::scanReportJSON(result, e); }}};
    for (const auto& [what, encode] : encoders) {
        std::string error;
        refuseLarge = true;
        const bool built = encode(&error).has_value();
        refuseLarge = false;
        EXPECT_FALSE(built) << what;
        EXPECT_EQ(error, "out of memory") << what;
        EXPECT_TRUE(encode(nullptr)) << what << ": builds once memory is there";
    }
}
