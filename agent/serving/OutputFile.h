// Files the agent and its clients write for the user (a trace, a recording),
// opened so that a path in a shared folder can't lead them elsewhere.
#pragma once

#include <string>

namespace agent {

struct OutputFile {
    int fd = -1;           // -1 when refused; `error` then says why
    bool created = false;  // the file did not exist before
    std::string error;
};

// Opens `path` for writing, creating it with `mode` (under the umask) when it
// does not exist. Never through a symbolic link, never into an existing file of
// another user or one with other hard links, never waiting for a FIFO's reader.
// The descriptor stays non-blocking when `nonBlocking`, so that a reader that
// stops can't stop the writer. Nothing is truncated here.
OutputFile OpenOutputFile(const std::string& path, bool append, bool nonBlocking, int mode);

}  // namespace agent
