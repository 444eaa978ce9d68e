#pragma once
// The path argument of a command, checked before the command reports on it: a report of
// nothing for a path that is not there (or cannot be read) would pass for an empty folder.
#include <cstdint>
#include <string>

namespace sorvel::CommandPath {

/// 0 when `path` (the expanded `argument`) exists and can be opened for reading, or is a
/// socket (there, though nothing can open it).
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

/// 1 after "Cannot read: ARGUMENT (Permission denied)" when `path` is a folder this user
/// may list but not enter (read without execute): every name in it would count nothing.
/// 0 otherwise, whatever else is wrong with the path.
int enterable(const std::string& argument, const std::string& path);

/// For a folder a command reads from (`--backups PATH`): 0 when `path` is a folder this
/// user may read; otherwise 1 after "No such path: ARGUMENT", "Not a folder: ARGUMENT" or
/// "Cannot read: ARGUMENT (reason)" on standard error.
int folder(const std::string& argument, const std::string& path);

/// "N folder(s) not readable by this user", said wherever a total leaves them out; empty
/// for none.
std::string unreadableNote(int64_t folders);

/// "N folders where a file system or a folder is mounted": left out of a walk that stays
/// on its own mount. Empty for none.
std::string mountedNote(int64_t folders);

/// For a folder that was read but nothing below which could be (every folder in it refused
/// this user): "Cannot read anything under ARGUMENT (Permission denied)" on standard error.
/// Returns 1.
int nothingReadUnder(const std::string& argument);

/// For a command whose answer would rest on nothing this user could read: "Cannot read:
/// PATH (Permission denied)" for the nearest folder on the way to `path` that refuses this
/// user, shown from the home folder. Returns 1.
int nothingReadable(const std::string& path);

} // namespace sorvel::CommandPath
