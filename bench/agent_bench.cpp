// ReadRegister through the port agent (a sim agent on a private socket) and
// through an in-process OS layer: calls per second (one register per request),
// nanoseconds per call, median, p99 and max.
//
//   agent_bench [--tsv] [calls]
//
// --tsv prints one tab-separated line per path for scripts:
//   <path> <calls> <calls per s> <median ns> <p99 ns> <max ns>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/PrivateAgent.h"
#include "port/LPTIO.h"

namespace {

// Driver mode without a process boundary: the device request is a function call.
class InProcessPorts final : public port::PortSystem {
public:
    std::uint8_t regs[0x400] = {};
    std::uint32_t QueryPlatformId() override { return 2; }
    void SetLastErrorCode(std::uint32_t c) override { last_ = c; }
    std::uint32_t GetLastErrorCode() override { return last_; }
    port::OsHandle OpenDevice(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                              std::uint32_t) override {
        return 1;
    }
    std::int32_t DeviceControl(port::OsHandle, std::uint32_t code, void* in, std::uint32_t size,
                               void*, std::uint32_t, std::uint32_t* returned) override {
        auto* pairs = static_cast<RegisterPair*>(in);
        for (std::uint32_t i = 0; i < size / 2; ++i) {
            const std::uint16_t a = PortCodeAddress(pairs[i].PortCode);
            if (code == IoctlWritePorts) {
                regs[a] = pairs[i].Value;
            } else {
                pairs[i].Value = regs[a];
            }
        }
        *returned = size;
        return 1;
    }
    std::int32_t CloseDevice(port::OsHandle) override { return 1; }
    port::ModuleHandle LoadModule(const char*) override { return 0; }
    void* ResolveProc(port::ModuleHandle, const char*) override { return nullptr; }
    std::int32_t ReleaseModule(port::ModuleHandle) override { return 1; }
    std::string ExecutableFolder() override { return "./"; }
    void PortOut(std::uint16_t, std::uint8_t) override {}
    std::uint8_t PortIn(std::uint16_t) override { return 0xFF; }

private:
    std::uint32_t last_ = 0;
};

void Measure(const char* name, const char* key, TLptPortConnection& conn, int calls, bool tsv) {
    std::vector<long long> ns;
    ns.reserve(static_cast<std::size_t>(calls));
    volatile std::uint8_t sink = 0;
    for (int i = 0; i < calls / 10; ++i) {
        sink = conn.ReadRegister(PortCode378, RegStatus);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        sink = conn.ReadRegister(PortCode378, RegStatus);
        const auto t1 = std::chrono::steady_clock::now();
        ns.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
    }
    // Back to back, so the rate includes what the loop costs between calls.
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    (void)sink;
    std::sort(ns.begin(), ns.end());
    const double rate = double(calls) / seconds;
    const long long median = ns[ns.size() / 2], p99 = ns[ns.size() * 99 / 100], max = ns.back();
    if (tsv) {
        std::printf("%s\t%d\t%.0f\t%lld\t%lld\t%lld\n", key, calls, rate, median, p99, max);
    } else {
        std::printf("%-28s calls %7d  %9.0f/s  median %8lld ns  p99 %8lld ns  max %9lld ns\n", name,
                    calls, rate, median, p99, max);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool tsv = false;
    int calls = 20000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tsv") == 0) {
            tsv = true;
        } else if (std::atoi(argv[i]) > 0) {
            calls = std::atoi(argv[i]);
        } else {
            std::fprintf(stderr, "usage: agent_bench [--tsv] [calls]\n");
            return 1;
        }
    }
    PrivateAgent agent("agent-bench");
    if (!agent.Start(AgentExecutable(LPTWDMIO_PATH), {})) {
        return 1;
    }
    int result = 0;
    {
        TLptPortConnection viaAgent;
        if (!viaAgent.HasDevice()) {
            std::fprintf(stderr, "the agent did not come up\n");
            result = 1;
        } else {
            Measure("ReadRegister via lptwdmio", "agent", viaAgent, calls, tsv);
        }
    }
    InProcessPorts fake;
    TLptPortConnection inProcess(fake);
    Measure("ReadRegister in-process", "in-process", inProcess, calls, tsv);
    return result;
}
