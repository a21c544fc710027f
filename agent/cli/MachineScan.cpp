#include "agent/cli/MachineScan.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace agent {
namespace {

constexpr unsigned IoResource = 0x100;  // the resource flag of an I/O port range

std::string FirstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

unsigned HexField(const std::string& text) {
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                names.push_back(e->d_name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string LinkTarget(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, std::size_t(n)) : std::string();
}

}  // namespace

std::vector<PciFunction> ReadPciFunctions(const std::string& sysRoot) {
    std::vector<PciFunction> found;
    const std::string root = sysRoot + "/bus/pci/devices/";
    for (const std::string& address : Entries(root)) {
        const std::string dir = root + address + "/";
        PciFunction f;
        f.address = address;
        f.vendor = HexField(FirstLineOf(dir + "vendor"));
        f.device = HexField(FirstLineOf(dir + "device"));
        f.classCode = HexField(FirstLineOf(dir + "class"));
        f.modalias = FirstLineOf(dir + "modalias");
        const std::string driver = LinkTarget(dir + "driver");
        f.driver = driver.substr(driver.find_last_of('/') + 1);
        std::ifstream resources(dir + "resource");
        std::string line;
        for (int bar = 0; bar < 6 && std::getline(resources, line); ++bar) {
            std::istringstream fields(line);
            std::string first, last, flags;
            fields >> first >> last >> flags;
            if ((HexField(flags) & IoResource) != 0 && HexField(first) != 0) {
                f.ioBars.emplace_back(HexField(first), HexField(last));
            }
        }
        found.push_back(std::move(f));
    }
    return found;
}

std::vector<std::string> ModulesFor(const std::string& modalias, const std::string& modulesDir,
                                    bool& readable) {
    std::vector<std::string> modules;
    std::ifstream in(modulesDir + "/modules.alias");
    readable = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string word, pattern, module;
        fields >> word >> pattern >> module;
        if (word == "alias" && pattern.rfind("pci:", 0) == 0 &&
            ::fnmatch(pattern.c_str(), modalias.c_str(), 0) == 0 &&
            std::find(modules.begin(), modules.end(), module) == modules.end()) {
            modules.push_back(module);
        }
    }
    return modules;
}

std::string RunningModulesDir() {
    utsname u{};
    return ::uname(&u) == 0 ? std::string("/lib/modules/") + u.release : "/lib/modules";
}

std::vector<std::string> ProgramsWithOpen(const std::string& procRoot,
                                          const std::vector<std::string>& paths) {
    std::vector<std::string> programs;
    for (const std::string& pid : Entries(procRoot)) {
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string fdDir = procRoot + "/" + pid + "/fd";
        for (const std::string& fd : Entries(fdDir)) {
            const std::string target = LinkTarget(fdDir + "/" + fd);
            if (std::find(paths.begin(), paths.end(), target) != paths.end()) {
                programs.push_back(FirstLineOf(procRoot + "/" + pid + "/comm") + " (pid " + pid +
                                   ")");
                break;
            }
        }
    }
    return programs;
}

std::vector<std::string> DevicesNamed(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& name : Entries(folder)) {
        if (name.rfind(prefix, 0) == 0) {
            found.push_back(folder + "/" + name);
        }
    }
    return found;
}

bool IsX86(const std::string& machine) {
    return machine == "x86_64" || machine == "amd64" ||
           (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86");
}

std::string MachineName() {
    utsname u{};
    return ::uname(&u) == 0 ? u.machine : "";
}

}  // namespace agent
