#pragma once
// Who moves a run: a lock on a file of the run's own in Sorvel's settings folder, held by
// the process that moves it from before its first write to after its last. The kernel lets
// go of it when that process ends, however it ends, so a run another process is still
// moving is told from one whose mover is gone. The file is opened without following a link
// and only as a plain file; a file system that keeps no locks keeps no such file, and its
// runs read as having no mover.
#include <string>

#include "platform/FileDescriptor.h"

namespace sorvel::RunLock {

/// The folder the lock files live in: the standard settings file's.
std::string folderPath();

/// Held for its life by the one that moves the run `name` (a run id).
class Held {
public:
    explicit Held(const std::string& name);
    ~Held();
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    bool held() const { return fd_.valid(); }
    /// Why it could not be taken; 0 when held.
    int error() const { return error_; }

private:
    FileDescriptor folder_;
    FileDescriptor fd_;
    std::string file_;
    int error_ = 0;
};

enum class State {
    free,    // no process holds it: the mover, if there was one, is gone
    held,    // a process (this one included) holds it
    unknown, // something is there that cannot be opened or locked as a lock file
};
/// Whether a mover holds the lock of run `name`. Never waits.
State state(const std::string& name);

/// Removes the lock files no process holds (those of movers that were killed). Returns
/// how many went.
int removeStale();

} // namespace sorvel::RunLock
