// The register trace: one line per access, "<monotonic ns> <r|w> 0x<address>
// 0x<value> <client pid>", written out once per batch so a reader can follow it.
// No destination may stop the ports: lines the trace can't take at once (a
// reader that stopped, a full disk) are dropped and counted, and once it takes
// lines again a line "<monotonic ns> dropped <count>" says how many went missing.
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

    // Appends; false with a message for the user when the path is refused.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }
    void Add(bool write, std::uint16_t address, std::uint8_t value, int pid);
    void Flush();
    // Lines dropped since the trace was opened.
    std::uint64_t Dropped() const { return droppedTotal_; }

private:
    // Writes what the destination takes without waiting; the bytes taken.
    std::size_t WriteSome(const std::string& text);
    // After `done` bytes of `lines` went out: the rest of a line begun is kept
    // for the next flush, the lines not begun are dropped and counted.
    void KeepLineRest(const std::string& lines, std::size_t done);

    int fd_ = -1;
    std::string pending_;
    // The rest of a line the destination took only in part: it goes out before
    // anything else, so no reader ever sees half a line followed by another.
    std::string partial_;
    std::uint64_t droppedSinceMark_ = 0;
    std::uint64_t droppedTotal_ = 0;
};

}  // namespace agent
