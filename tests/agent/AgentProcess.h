// Runs the real lptwdmio for a test, on a private socket in a fresh temp folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
};

// Runs a program to completion; its exit code, or -1.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);
// Starts a program without waiting for it; WaitProgram gives its exit code, or -1.
pid_t StartProgram(const std::vector<std::string>& argv);
int WaitProgram(pid_t pid);

class AgentProcess {
public:
    AgentProcess() = default;
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // Starts `lptwdmio serve --socket socket extra...` and waits until it accepts.
    bool Start(const std::string& socket, const std::vector<std::string>& extra);
    // SIGTERM, then the exit code.
    int Stop();
    // Waits up to ms for the agent to end by itself; its exit code or -1.
    int WaitExit(int ms);
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// A raw connection to an agent, without AgentClient's checks; replies wait at
// most 2 s. -1 when nobody listens.
int RawConnect(const std::string& path);
bool SendRaw(int fd, const std::vector<std::uint8_t>& bytes);
// A request header: code and pair count.
std::vector<std::uint8_t> Header(std::uint32_t code, std::uint32_t n);
// Everything the agent sends until it closes (or 2 s pass).
std::vector<std::uint8_t> ReadToEnd(int fd);

std::string ReadFile(const std::string& path);
std::vector<std::string> TraceLines(const std::string& path);  // "r 0x378 0x00" form

// Points the default socket rule at a private folder for one test.
class PrivateRuntimeDir {
public:
    PrivateRuntimeDir() {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        ::setenv("XDG_RUNTIME_DIR", dir.path.c_str(), 1);
    }
    ~PrivateRuntimeDir() {
        had_ ? ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
    }
    std::string Socket() const { return dir.path + "/LptAccessAgent"; }
    TempDir dir;

private:
    bool had_;
    std::string old_;
};
