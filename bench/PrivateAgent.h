// A simulated port agent of the bench's own, on a socket in a private folder; the
// pulse benches give it a register trace and read the pulses back from it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class PrivateAgent {
public:
    // Creates the private folder NAME-XXXXXX under TMPDIR and points XDG_RUNTIME_DIR
    // at it, so the port layer finds this agent and starts none of its own.
    explicit PrivateAgent(const char* name = "pulse-bench");
    ~PrivateAgent();
    PrivateAgent(const PrivateAgent&) = delete;
    PrivateAgent& operator=(const PrivateAgent&) = delete;

    // Starts `lptwdmio serve --backend sim OPTIONS... --detach`; false with a
    // message on stderr when it does not come up.
    bool Start(const std::string& lptwdmio, const std::vector<std::string>& options);
    // With a register trace in TracePath().
    bool Start(const std::string& lptwdmio) { return Start(lptwdmio, {"--trace", trace_}); }
    void Stop();

    const std::string& Folder() const { return folder_; }
    const std::string& Socket() const { return socket_; }
    const std::string& TracePath() const { return trace_; }
    pid_t Pid() const { return pid_; }
    // CPU time (user + system) the agent has used so far, in seconds.
    double CpuSeconds() const;

private:
    std::string folder_;
    std::string socket_;
    std::string trace_;
    pid_t pid_ = 0;
};

// CPU time (user + system) of this process, all threads, in seconds.
double OwnCpuSeconds();
// The lptwdmio beside this executable, else the one of the build tree.
std::string AgentExecutable(const char* builtPath);
