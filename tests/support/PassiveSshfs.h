#pragma once
// An sshfs mount with stock options, talking to a local sftp-server over a pair of pipes
// (sshfs's passive mode): no network and no ssh login. Each name there gets an inode number
// of its own, so a hard link shows as another object.
#include <sys/types.h>

#include <string>

namespace sorvel::test {

/// Whether sshfs and the sftp server are installed.
bool passiveSshfsInstalled();

/// sshfs of the local folder `source` at `point`: its process id once mounted, or -1 when it
/// ended or had not mounted within a minute. Both processes end with the one that started
/// them.
pid_t passiveSshfs(const std::string& source, const std::string& point);

} // namespace sorvel::test
