#include "bench/PrivateAgent.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

extern char** environ;

namespace {

double Seconds(clockid_t clock) {
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) {
        return 0;
    }
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The detached agent is no child of ours; the socket's peer credentials name it.
pid_t PeerPid(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    pid_t pid = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        ucred cred{};
        socklen_t size = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0) {
            pid = cred.pid;
        }
    }
    ::close(fd);
    return pid;
}

}  // namespace

PrivateAgent::PrivateAgent(const char* name) {
    // Under TMPDIR when set, so a script can find (and end) an agent left behind.
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {  // 0700
        folder_ = pattern;
    }
    socket_ = folder_ + "/LptAccessAgent";
    trace_ = folder_ + "/registers.trace";
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
}

PrivateAgent::~PrivateAgent() {
    Stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

bool PrivateAgent::Start(const std::string& lptwdmio, const std::vector<std::string>& options) {
    if (folder_.empty()) {
        std::fprintf(stderr, "bench: no private folder\n");
        return false;
    }
    std::vector<std::string> words = {lptwdmio, "serve", "--backend", "sim"};
    words.insert(words.end(), options.begin(), options.end());
    words.insert(words.end(), {"--socket", socket_, "--detach"});
    std::vector<char*> args;
    for (auto& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    pid_t launcher = 0;
    if (::posix_spawn(&launcher, lptwdmio.c_str(), nullptr, nullptr, args.data(), environ) != 0) {
        std::fprintf(stderr, "bench: cannot start %s\n", lptwdmio.c_str());
        return false;
    }
    int status = 0;
    ::waitpid(launcher, &status, 0);  // --detach returns once the socket accepts
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench: the agent did not come up\n");
        return false;
    }
    pid_ = PeerPid(socket_);
    return pid_ > 0;
}

void PrivateAgent::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && ::kill(pid_, 0) == 0; ++i) {
        ::usleep(10000);
    }
    pid_ = 0;
}

double PrivateAgent::CpuSeconds() const {
    clockid_t clock{};
    if (pid_ <= 0 || clock_getcpuclockid(pid_, &clock) != 0) {
        return 0;
    }
    return Seconds(clock);
}

double OwnCpuSeconds() {
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
}

std::string AgentExecutable(const char* builtPath) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = self.parent_path() / "lptwdmio";
        if (std::filesystem::exists(beside, error)) {
            return beside.string();
        }
    }
    return builtPath;
}
