#include "bench/PulseTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

PulseTrace::PulseTrace(std::string path, pid_t writer, std::uint16_t dataAddress)
    : path_(std::move(path)), writer_(writer), address_(dataAddress) {}

std::array<std::vector<double>, 8> PulseTrace::ReadNewPulses() {
    std::array<std::vector<double>, 8> widths;
    for (const TracedPulse& p : ReadNewEdges()) {
        widths[p.bit].push_back(p.WidthMs());
    }
    return widths;
}

std::vector<TracedPulse> PulseTrace::ReadNewEdges() {
    std::vector<TracedPulse> pulses;
    std::ifstream in(path_, std::ios::binary);
    in.seekg(offset_);
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    offset_ += static_cast<long long>(chunk.size());
    std::string text = partial_ + chunk;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
        Line(text.substr(begin, end - begin).c_str(), pulses);
    }
    partial_ = text.substr(begin);
    return pulses;
}

void PulseTrace::Line(const char* text, std::vector<TracedPulse>& pulses) {
    // <monotonic ns> <r|w> 0x<address> 0x<value> <client pid>
    long long ns = 0;
    char kind = 0;
    unsigned address = 0, value = 0;
    int pid = 0;
    if (std::sscanf(text, "%lld %c 0x%x 0x%x %d", &ns, &kind, &address, &value, &pid) != 5 ||
        address != address_) {
        return;
    }
    const int before = value_;
    value_ = static_cast<int>(value);
    if (kind != 'w' || pid != writer_ || before < 0) {
        return;
    }
    for (int bit = 0; bit < 8; ++bit) {
        const bool was = (before >> bit) & 1, is = (value >> bit) & 1;
        if (!was && is) {
            risen_[bit] = ns;
        } else if (was && !is && risen_[bit] != 0) {
            pulses.push_back({bit, risen_[bit], ns});
            risen_[bit] = 0;
        }
    }
}

Summary Summarise(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) {
        const auto rank = static_cast<std::size_t>(std::ceil(q * double(values.size())));
        return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
    };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.max = values.back();
    s.min = values.front();
    return s;
}
