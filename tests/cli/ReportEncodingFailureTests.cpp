// When a report cannot be built (memory running out on a huge tree), the reason travels
// with the failure to the alert and the diagnostic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "cli/ReportExporter.h"
#include "cli/ScanReport.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// Allocations of at least this many bytes fail on this thread while it is above 0.
thread_local size_t refuseFrom = 0;

void* allocate(size_t size) {
    if (refuseFrom > 0 && size >= refuseFrom) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// `f()` with allocations of a megabyte or more refused.
template <class F> auto refusingLargeAllocations(F f) {
    struct Refuse {
        Refuse() { refuseFrom = 1 << 20; }
        ~Refuse() { refuseFrom = 0; }
    } refuse;
    return f();
}

// Two roots (both reports list them) whose paths alone are past the refused size.
ScanResult hugeResult() {
    ScanResult result;
    auto& c = result.categories.emplace_back();
    c.category.id = "caches";
    for (char letter : {'a', 'b'}) c.roots.push_back(ScanNode::make("Caches", "/r/" + std::string(2 << 20, letter)));
    return result;
}

} // namespace

// Every unaligned form, so each allocation and its release meet in malloc and free.
void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return refuseFrom > 0 && size >= refuseFrom ? nullptr : std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST(ReportEncodingFailure, BothEncodersGiveTheReason) {
    const ScanResult result = hugeResult();
    using Encode = std::function<std::optional<std::string>(std::string*)>;
    const std::pair<const char*, Encode> encoders[] = {
        {"exported", [&](std::string* e) { return ReportExporter::encode(result, e); }},
        {"headless", [&](std::string* e) { return HeadlessReport::scanReportJSON(result, e); }}};
    for (const auto& [what, encode] : encoders) {
        std::string error;
        EXPECT_FALSE(refusingLargeAllocations([&] { return encode(&error); })) << what;
        EXPECT_EQ(error, "out of memory") << what;
        EXPECT_TRUE(encode(nullptr)) << what << ": builds once memory is there";
    }
}

