#include "port/LinuxServiceManager.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "port/AgentClient.h"
#include "port/PortSystem.h"

extern char** environ;

namespace port::linux_services {
namespace {

ScHandle const ManagerHandle = reinterpret_cast<ScHandle>(0x5C1);
ScHandle const ServiceHandle = reinterpret_cast<ScHandle>(0x5E1);
constexpr int StartTimeoutMs = 2000;
constexpr const char* AgentProgram = "lptwdmio";

std::mutex stateLock;
std::string imagePath;

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

ScHandle OpenSCManagerStandIn(const char*, const char*, std::uint32_t) {
    return ManagerHandle;
}

std::int32_t CloseServiceHandleStandIn(ScHandle handle) {
    return handle == ManagerHandle || handle == ServiceHandle ? 1 : 0;
}

ScHandle CreateServiceStandIn(ScHandle manager, const char*, const char*, std::uint32_t,
                              std::uint32_t, std::uint32_t, std::uint32_t, const char* image,
                              const char*, std::uint32_t*, const char*, const char*, const char*) {
    if (manager != ManagerHandle || image == nullptr) {
        return nullptr;
    }
    std::lock_guard lock(stateLock);
    imagePath = image;
    return ServiceHandle;
}

ScHandle OpenServiceStandIn(ScHandle manager, const char*, std::uint32_t) {
    std::lock_guard lock(stateLock);
    return manager == ManagerHandle && !imagePath.empty() ? ServiceHandle : nullptr;
}

std::int32_t StartServiceStandIn(ScHandle service, std::uint32_t, const char**) {
    if (service != ServiceHandle) {
        return 0;
    }
    std::string folder = RegisteredImagePath();
    folder.erase(folder.find_last_of('/') + 1);  // npos + 1 == 0: no folder at all
    return LaunchAgent(folder + AgentProgram, StartTimeoutMs) ? 1 : 0;
}

std::int32_t DeleteServiceStandIn(ScHandle service) {
    return service == ServiceHandle ? 1 : 0;
}

}  // namespace

void* Resolve(const char* name) {
    struct Entry {
        const char* name;
        void* proc;
    };
    static const Entry entries[] = {
        {"OpenSCManagerA", reinterpret_cast<void*>(&OpenSCManagerStandIn)},
        {"CloseServiceHandle", reinterpret_cast<void*>(&CloseServiceHandleStandIn)},
        {"CreateServiceA", reinterpret_cast<void*>(&CreateServiceStandIn)},
        {"StartServiceA", reinterpret_cast<void*>(&StartServiceStandIn)},
        {"OpenServiceA", reinterpret_cast<void*>(&OpenServiceStandIn)},
        {"DeleteService", reinterpret_cast<void*>(&DeleteServiceStandIn)},
    };
    for (const Entry& e : entries) {
        if (name != nullptr && std::strcmp(name, e.name) == 0) {
            return e.proc;
        }
    }
    return nullptr;
}

std::string RegisteredImagePath() {
    std::lock_guard lock(stateLock);
    return imagePath;
}

bool LaunchAgent(const std::string& program, int timeoutMs) {
    const char* argv[] = {program.c_str(),    "serve",    "--backend", "auto",
                          "--exit-when-idle", "--detach", nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
        return false;
    }
    // With --detach the launcher exits 0 once the agent accepts, or with the
    // agent's failure code.
    const long long deadline = NowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (r < 0 && errno != EINTR) {
            break;  // reaped elsewhere (SIGCHLD ignored): watch the socket instead
        }
        if (NowMs() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        ::usleep(2000);
    }
    agent::AgentClient probe;
    while (probe.Open(agent::DefaultSocketPath()) != 0) {
        if (NowMs() >= deadline) {
            return false;
        }
        ::usleep(10000);
    }
    return true;
}

}  // namespace port::linux_services
