// The register trace: one line per access, "<monotonic ns> <r|w> 0x<address>
// 0x<value> <client pid>", written out once per batch so a reader can follow it.
#pragma once

#include <cstdint>
#include <string>

namespace agent {

class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    int Open(const std::string& path);  // appends; 0 or errno
    bool IsOpen() const { return fd_ >= 0; }
    void Add(bool write, std::uint16_t address, std::uint8_t value, int pid);
    void Flush();

private:
    int fd_ = -1;
    std::string pending_;
};

}  // namespace agent
