#pragma once
// The path argument of a command, checked before the command reports on it: a report of
// nothing for a path that is not there (or cannot be read) would pass for an empty folder.
#include <string>

namespace sorvel::CommandPath {

/// 0 when `path` (the expanded `argument`) exists and can be opened for reading.
/// Otherwise prints "No such path: ARGUMENT" when nothing is there, or "Cannot read:
/// ARGUMENT (reason)" (a path too long for one system call is not a missing one) on
/// standard error and returns 1.
int check(const std::string& argument, const std::string& path);

/// For a start path the walk could not examine (`--size`, `--watch`): "No such path:
/// ARGUMENT", however it could not be examined, except for a path that is there but too
/// long for one system call, which is "Cannot read: ARGUMENT (File name too long)". Returns 1.
int missing(const std::string& argument, const std::string& path);

/// Prints "Cannot read: ARGUMENT (reason)" for the errno on standard error; returns 1.
int cannotRead(const std::string& argument, int error);

} // namespace sorvel::CommandPath
