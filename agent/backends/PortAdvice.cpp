#include "agent/backends/PortAdvice.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace agent {
namespace {

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the user belongs to the group in the account database but this
// login session does not have it yet.
bool MemberNotYetActive(gid_t gid, const group& g) {
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> mine(n > 0 ? std::size_t(n) : 0);
    if (n > 0 && ::getgroups(n, mine.data()) < 0) {
        return false;
    }
    if (::getegid() == gid || std::find(mine.begin(), mine.end(), gid) != mine.end()) {
        return false;
    }
    const passwd* me = ::getpwuid(::getuid());
    if (me == nullptr) {
        return false;
    }
    if (me->pw_gid == gid) {
        return true;
    }
    for (char** member = g.gr_mem; member != nullptr && *member != nullptr; ++member) {
        if (std::strcmp(*member, me->pw_name) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string OpenAdvice(const std::string& device, int error) {
    if (error == ENOENT || error == ENXIO || error == ENODEV) {
        return "; the ppdev driver gives the port no device: load it (sudo modprobe ppdev)";
    }
    if (error != EACCES && error != EPERM) {
        return {};
    }
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) {
        return {};
    }
    const group* g = ::getgrgid(st.st_gid);
    const std::string name = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
    if (g != nullptr && MemberNotYetActive(st.st_gid, *g)) {
        return "; you are in group " + name +
               " but this login is not yet: log out and in again (or run: newgrp " + name + ")";
    }
    return "; it belongs to group " + name + ": join it (sudo usermod -aG " + name +
           " $USER), then log out and in again";
}

std::string ActiveClaimant(const std::string& procRoot, const std::string& device) {
    std::ifstream in(procRoot + "/sys/dev/parport/" + FileName(device) + "/devices/active");
    std::string line;
    std::getline(in, line);
    return line;
}

std::string HolderAdvice(const std::string& active) {
    if (active.empty() || active == "none") {
        return "another driver or program; unload the lp module (modprobe -r lp) and try again";
    }
    if (active.rfind("lp", 0) == 0) {
        return active + ", the printer driver: unload it (sudo modprobe -r lp) and try again";
    }
    if (active.rfind("ppdev", 0) == 0) {
        return active +
               ", a program that opened the device: a running lptwdmio already serves it to "
               "the program; any other program must end first";
    }
    return active + ", another driver: unload it and try again";
}

}  // namespace agent
