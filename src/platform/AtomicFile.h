#pragma once
// Replacing a file in one step: a reader sees the old contents or the new, never a part,
// and a crash leaves one of the two on disk.
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace sorvel::AtomicFile {

/// Writes `bytes` to a fresh temporary file beside `path` (created exclusively with `mode`
/// less the umask, no link followed), flushes it to disk, renames it over `path` and
/// flushes the folder. 0 on success, else the errno of the step that failed; the temporary
/// file is removed then.
int write(const std::string& path, std::string_view bytes, mode_t mode = 0666);

/// As `write`, with the contents written by `fill` into the temporary file's descriptor;
/// when it returns an errno instead of 0 the file is left as it was and that is returned.
/// When it throws, the exception goes on to the caller; the file is left as it was and
/// the temporary file removed all the same.
int writeWith(const std::string& path, mode_t mode, const std::function<int(int fd)>& fill);

/// Removes the temporary files `write` makes beside `path` (".NAME.<number>.tmp"), as a
/// writer that crashed leaves them; only safe while no other writer of `path` runs.
/// Returns how many were removed.
int removeStrayTemporaries(const std::string& path);

/// Writes all of `bytes` to the descriptor, resuming after interruptions; 0 or an errno.
int writeAll(int fd, std::string_view bytes);

} // namespace sorvel::AtomicFile
