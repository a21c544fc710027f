// The agent's OS layers faked for tests: a private /proc tree, port
// instructions on a register map, ppdev on per-device latches.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "AgentProcess.h"
#include "agent/backends/BackendSelect.h"

class ProcTree : public ::testing::Test {
protected:
    // A /proc/sys/dev/parport/<name> with the files given (base-addr when not empty).
    void Port(const std::string& name, const std::string& baseAddr, const std::string& modes = "",
              const std::string& active = "") {
        const std::string dir = tmp.path + "/sys/dev/parport/" + name;
        RunProgram({"/bin/mkdir", "-p", dir + "/devices"});
        if (!baseAddr.empty()) {
            std::ofstream(dir + "/base-addr") << baseAddr;
        }
        if (!modes.empty()) {
            std::ofstream(dir + "/modes") << modes << "\n";
        }
        if (!active.empty()) {
            std::ofstream(dir + "/devices/active") << active << "\n";
        }
    }
    TempDir tmp;
};

// Ports behind the instructions: a base in `present` keeps what is written to
// its eight addresses; anything else reads 0xFF.
class FakeIo : public agent::PortIo {
public:
    int permitError = 0;
    std::vector<std::uint16_t> present;
    std::map<std::uint16_t, std::uint8_t> regs;
    std::vector<std::string> log;
    int Permit(std::uint16_t from, unsigned count) override {
        log.push_back("permit " + std::to_string(from) + " " + std::to_string(count));
        return permitError;
    }
    std::uint8_t In(std::uint16_t a) override {
        log.push_back("in " + std::to_string(a));
        return IsPresent(a) ? regs[a] : 0xFF;
    }
    void Out(std::uint16_t a, std::uint8_t v) override {
        log.push_back("out " + std::to_string(a));
        regs[a] = v;
    }
    bool IsPresent(std::uint16_t a) const {
        return std::any_of(present.begin(), present.end(),
                           [a](std::uint16_t b) { return a >= b && a < b + 8; });
    }
    bool Touched(std::uint16_t base) const {
        for (const auto& l : log) {
            for (int off = 0; off < 8; ++off) {
                if (l == "in " + std::to_string(base + off) ||
                    l == "out " + std::to_string(base + off)) {
                    return true;
                }
            }
        }
        return false;
    }
};

// One data latch per device path; open errors per path or for all.
class FakePpdev : public agent::PpdevOps {
public:
    int openError = 0;
    std::map<std::string, int> openErrors;
    int claimError = 0;
    int released = 0;
    std::map<int, std::string> paths;
    std::map<std::string, std::uint8_t> latch;
    int Open(const std::string& path, int& fd) override {
        fd = 40 + static_cast<int>(paths.size());
        paths[fd] = path;
        return openErrors.count(path) ? openErrors[path] : openError;
    }
    int Claim(int, int) override { return claimError; }
    void ReleaseAndClose(int) override { ++released; }
    int Transfer(int fd, agent::PpRegister reg, bool write, std::uint8_t& v) override {
        if (reg == agent::PpRegister::Data) {
            write ? void(latch[paths[fd]] = v) : void(v = latch[paths[fd]]);
        }
        return 0;
    }
};

class AutoChoice : public ProcTree {
protected:
    agent::BackendEnv Env() {
        agent::BackendEnv env;
        env.ppdev = &ppdev;
        env.io = &io;
        env.procRoot = tmp.path;
        env.devRoot = "/dev";
        env.root = false;
        return env;
    }
    agent::OpenedBackend Open(agent::BackendKind kind, std::vector<std::uint16_t> ports = {},
                              std::vector<agent::MapRequest> maps = {}) {
        return agent::OpenBackend(agent::BackendConfig{kind, ports, false, maps}, Env());
    }
    FakeIo io;
    FakePpdev ppdev;
};
