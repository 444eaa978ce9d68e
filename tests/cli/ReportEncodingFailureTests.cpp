// When a report cannot be built (memory running out on a huge tree), the reason travels
// with the failure to the alert and the diagnostic instead of being dropped.
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

struct RefuseLargeAllocations {
    RefuseLargeAllocations() { refuseFrom = 1 << 20; }
    ~RefuseLargeAllocations() { refuseFrom = 0; }
};

// Two roots (both reports list them) whose paths alone are past the refused size.
ScanResult hugeResult() {
    ScanResult result;
    CategoryResult c;
    c.category.id = "caches";
    c.category.title = "Caches";
    for (char letter : {'a', 'b'}) {
        auto root = ScanNode::make("Caches", "/r/" + std::string(2 << 20, letter));
        root->size = 10;
        c.roots.push_back(root);
    }
    result.categories = {c};
    return result;
}

} // namespace

// Every unaligned form, so each allocation and its release meet in malloc and free.
void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
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
    struct Case {
        const char* what;
        std::function<std::optional<std::string>(std::string*)> encode;
    } cases[] = {
        {"exported report", [&](std::string* error) { return ReportExporter::encode(result, error); }},
        {"headless report", [&](std::string* error) { return HeadlessReport::scanReportJSON(result, error); }},
    };
    for (const auto& c : cases) {
        std::string error;
        std::optional<std::string> text;
        {
            RefuseLargeAllocations refuse;
            text = c.encode(&error);
        }
        EXPECT_FALSE(text.has_value()) << c.what;
        EXPECT_EQ(error, "out of memory") << c.what;
        EXPECT_TRUE(c.encode(nullptr).has_value()) << c.what << ": builds once memory is there";
    }
}

TEST(ReportEncodingFailure, TheAlertSaysWhyAndTheFileThereStays) {
    test::TempDir dir;
    const std::string path = dir / "sorvel-scan.json";
    test::writeFile(path, "earlier report");
    const ScanResult result = hugeResult();
    std::optional<ReportExporter::WriteFailure> failure;
    {
        RefuseLargeAllocations refuse;
        failure = ReportExporter::write(result, path);
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->message, "Could not write the report");
    EXPECT_EQ(failure->detail, "The report could not be encoded: out of memory.");
    EXPECT_EQ(test::readFile(path), "earlier report");
}
