#include "AgentProcess.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "port/AgentClient.h"

extern char** environ;

TempDir::TempDir() {
    char pattern[] = "/tmp/lptwdmio-test-XXXXXX";
    path = ::mkdtemp(pattern);
}

TempDir::~TempDir() {
    RunProgram({"/bin/rm", "-rf", path});
}

namespace {

pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace

pid_t StartProgram(const std::vector<std::string>& argv) {
    return Spawn(argv, -1);
}

int WaitProgram(pid_t pid) {
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
    int fds[2] = {-1, -1};
    if (output != nullptr && ::pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = Spawn(argv, fds[1]);
    if (output != nullptr) {
        ::close(fds[1]);
        char buffer[256];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
            output->append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
    }
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

AgentProcess::~AgentProcess() {
    Stop();
}

bool AgentProcess::Start(const std::string& socket, const std::vector<std::string>& extra) {
    std::vector<std::string> argv{LPTWDMIO_PATH, "serve", "--socket", socket};
    argv.insert(argv.end(), extra.begin(), extra.end());
    pid_ = Spawn(argv, -1);
    if (pid_ < 0) {
        return false;
    }
    port::agent::AgentClient probe;
    for (int i = 0; i < 500; ++i) {
        if (probe.Open(socket) == 0) {
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        ::usleep(10000);
    }
    return false;
}

int AgentProcess::WaitExit(int ms) {
    for (int waited = 0; pid_ > 0 && waited <= ms; waited += 5) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ::usleep(5000);
    }
    return -1;
}

int AgentProcess::Stop() {
    if (pid_ <= 0) {
        return -1;
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RawConnect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

bool SendRaw(int fd, const std::vector<std::uint8_t>& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

std::vector<std::uint8_t> Header(std::uint32_t code, std::uint32_t n) {
    std::vector<std::uint8_t> b(8);
    port::agent::StoreU32(b.data(), code);
    port::agent::StoreU32(b.data() + 4, n);
    return b;
}

std::vector<std::uint8_t> ReadToEnd(int fd) {
    std::vector<std::uint8_t> all;
    std::uint8_t b[256];
    ssize_t n;
    while ((n = ::recv(fd, b, sizeof b, 0)) > 0) {
        all.insert(all.end(), b, b + n);
    }
    return all;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> TraceLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    std::string ns, rw, address, value, pid;
    while (in >> ns >> rw >> address >> value >> pid) {
        lines.push_back(rw + " " + address + " " + value);
    }
    return lines;
}
