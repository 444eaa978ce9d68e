#pragma once
// A bindfs daemon kept in the foreground of a test's child, so the test can stop it
// (SIGSTOP) and see what a FUSE mount that no longer answers does to a look.
#include <sys/types.h>

#include <string>

namespace sorvel::test {

/// Whether the mount table lists a mount at `point`.
bool mountedAt(const std::string& point);

/// A bindfs of `source` at `point`: its process id once mounted, or -1 when it ended or
/// had not mounted within a minute. It ends with the process that started it.
pid_t foregroundBindfs(const std::string& source, const std::string& point);

} // namespace sorvel::test
