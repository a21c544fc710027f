// A simulated port agent of the bench's own, on a socket in a private folder, with
// a register trace; the bench reads the pulses back from that trace.
#pragma once

#include <sys/types.h>

#include <string>

class PrivateAgent {
public:
    // Creates the private folder and points XDG_RUNTIME_DIR at it, so the window's
    // port layer finds this agent and starts none of its own.
    PrivateAgent();
    ~PrivateAgent();
    PrivateAgent(const PrivateAgent&) = delete;
    PrivateAgent& operator=(const PrivateAgent&) = delete;

    // Starts `lptwdmio serve --backend sim --trace ... --detach`; false with a
    // message on stderr when it does not come up.
    bool Start(const std::string& lptwdmio);
    void Stop();

    const std::string& Folder() const { return folder_; }
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
