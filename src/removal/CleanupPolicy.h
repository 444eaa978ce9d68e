#pragma once
// Which parts of the file system a removal may touch. Built fresh at each use.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvel {

struct CleanupPolicy {
    /// A path may go only when it lies inside one of these, deep enough below it.
    std::vector<std::string> allowedRoots;
    /// Never removed, nor anything that contains them, even inside an allowed root.
    std::vector<std::string> deniedPrefixes;
    /// Allowed roots that may also go themselves, whole: a tool's cache its tool makes again.
    std::vector<std::string> wholeRoots;
    /// Allowed roots a person named (own folders, a searched folder): where their links lead
    /// is the place they meant. The others are the rules' folders, whose links are not followed.
    std::vector<std::string> namedRoots;
    int minimumDepthBelowRoot = 1;
    double sizeDriftTolerance = 0.25;
    bool requiresWritability = true;
    /// Set when the desktop's list of its folders is there but cannot be read, so its
    /// pictures folder is not known: nothing passes then. The file and the system's reason.
    std::optional<std::string> picturesUnknown;
    /// Set when the kernel's list of swap files is there but cannot be read, so any file may
    /// be a swap file in use: nothing passes then. The list and the system's reason.
    std::optional<std::string> swapsUnknown;

    /// The policy for recommendations, the plan, findings, duplicates and restores;
    /// the home folder is read on every call.
    static CleanupPolicy standard();
    /// Standard plus the bundle's folder and seven library folders of the home.
    static CleanupPolicy forUninstalling(const std::string& bundlePath);
    /// A copy with the given roots, standardised, appended to the allowed roots.
    CleanupPolicy allowing(const std::vector<std::string>& roots) const;

    friend bool operator==(const CleanupPolicy&, const CleanupPolicy&) = default;
};

} // namespace sorvel
