#pragma once
// Small helpers for the folder insights tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

#include "analysis/FolderInsights.h"
#include "support/TestSupport.h"

namespace sorvel::test {

inline void setModified(const std::string& path, int64_t unixSeconds) {
    timespec times[2] = {{unixSeconds, 0}, {unixSeconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

/// A file of at least 1 MiB whose first bytes are `header`.
inline void writeLargeFile(const std::string& path, const std::string& header, size_t size = 1'100'000) {
    writeFile(path, header + std::string(size, 'x'));
}

inline FolderInsights analyzeFully(const std::string& path) {
    return InsightScanner::analyze(path, [] { return false; });
}

template <typename Key>
const Bucket<Key>* findBucket(const std::vector<Bucket<Key>>& buckets, Key key) {
    auto it = std::find_if(buckets.begin(), buckets.end(), [&](const Bucket<Key>& b) { return b.key == key; });
    return it == buckets.end() ? nullptr : &*it;
}

} // namespace sorvel::test
