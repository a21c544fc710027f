// Reads a Value Change Dump one token at a time: the header's wires, timescale
// and comments, then each value change with its time. Written for `lptwdmio
// pulses`, which must take any tool's VCD and say clearly what it can't read.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace agent {

struct VcdWire {
    std::string id;     // the file's short code for it
    std::string scope;  // the innermost $scope around it
    std::string name;
    int width = 1;
};

struct VcdChange {
    std::uint64_t time = 0;  // in the file's timescale units
    std::size_t wire = 0;    // index into Wires()
    char value = '0';        // '0', '1', 'x' or 'z' (a vector: its last bit)
};

class VcdReader {
public:
    explicit VcdReader(std::istream& in) : in_(in) {}

    // Reads the header up to $enddefinitions; false with a message when the text
    // is not a VCD.
    bool ReadHeader(std::string& error);

    const std::vector<VcdWire>& Wires() const { return wires_; }
    double SecondsPerTick() const { return secondsPerTick_; }
    const std::string& Timescale() const { return timescale_; }
    const std::string& Comments() const { return comments_; }

    // The next change of a wire; false at the end of the file, or with a message
    // when the text breaks off or goes back in time.
    bool Next(VcdChange& change, std::string& error);
    // The last time stamp read so far.
    std::uint64_t Time() const { return time_; }

private:
    bool Token(std::string& token);
    bool SkipToEnd(std::string* text);
    bool Wire(const std::string& id, std::size_t& index) const;

    std::istream& in_;
    std::vector<VcdWire> wires_;
    std::vector<std::pair<std::string, std::size_t>> byId_;  // sorted by id
    double secondsPerTick_ = 0;
    std::string timescale_, comments_;
    std::uint64_t time_ = 0;
    bool timed_ = false;
};

}  // namespace agent
