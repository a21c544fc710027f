#include "agent/recording/VcdReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace agent {
namespace {

// "1 us", "10ns", "100 ps" as seconds per tick; 0 when it is none of them.
double TimescaleSeconds(const std::string& text) {
    std::string t;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            t += c;
        }
    }
    std::size_t digits = 0;
    while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9') {
        ++digits;
    }
    const std::string number = t.substr(0, digits), unit = t.substr(digits);
    if (number != "1" && number != "10" && number != "100") {
        return 0;
    }
    static const std::pair<const char*, double> units[] = {
        {"s", 1}, {"ms", 1e-3}, {"us", 1e-6}, {"ns", 1e-9}, {"ps", 1e-12}, {"fs", 1e-15}};
    for (const auto& [name, seconds] : units) {
        if (unit == name) {
            return std::stod(number) * seconds;
        }
    }
    return 0;
}

}  // namespace

bool VcdReader::Token(std::string& token) {
    return static_cast<bool>(in_ >> token);
}

// Skips to the $end that closes a section, keeping its words in `text`.
bool VcdReader::SkipToEnd(std::string* text) {
    std::string word;
    while (Token(word)) {
        if (word == "$end") {
            return true;
        }
        if (text != nullptr) {
            *text += (text->empty() || text->back() == '\n' ? "" : " ") + word;
        }
    }
    return false;
}

bool VcdReader::ReadHeader(std::string& error) {
    std::vector<std::string> scopes;
    std::string token;
    bool any = false;
    while (Token(token)) {
        if (token.empty() || token[0] != '$') {
            error = any ? "unexpected text in the header: " + token.substr(0, 40)
                        : "not a Value Change Dump (it does not begin with a $ section)";
            return false;
        }
        any = true;
        if (token == "$enddefinitions") {
            if (!SkipToEnd(nullptr)) {
                break;
            }
            if (wires_.empty()) {
                error = "the file declares no wires";
                return false;
            }
            if (secondsPerTick_ == 0) {
                error = "the file has no $timescale";
                return false;
            }
            std::sort(byId_.begin(), byId_.end());
            return true;
        }
        std::string text;
        if (token == "$scope") {
            if (!SkipToEnd(&text)) {
                break;
            }
            const std::size_t space = text.find(' ');
            scopes.push_back(space == std::string::npos ? text : text.substr(space + 1));
        } else if (token == "$upscope") {
            if (!SkipToEnd(nullptr)) {
                break;
            }
            if (!scopes.empty()) {
                scopes.pop_back();
            }
        } else if (token == "$var") {
            std::string type, size, id, name;
            if (!(in_ >> type >> size >> id >> name)) {
                break;
            }
            VcdWire wire;
            wire.id = id;
            wire.name = name;
            wire.scope = scopes.empty() ? "" : scopes.back();
            wire.width = std::atoi(size.c_str());
            if (wire.width < 1) {
                error = "wire " + name + " has no width";
                return false;
            }
            byId_.emplace_back(id, wires_.size());
            wires_.push_back(wire);
            if (!SkipToEnd(nullptr)) {
                break;
            }
        } else if (token == "$timescale") {
            if (!SkipToEnd(&timescale_)) {
                break;
            }
            secondsPerTick_ = TimescaleSeconds(timescale_);
            if (secondsPerTick_ == 0) {
                error = "unknown timescale: " + timescale_;
                return false;
            }
        } else if (token == "$comment") {
            if (!SkipToEnd(&text)) {
                break;
            }
            comments_ += text + "\n";
        } else if (!SkipToEnd(nullptr)) {
            break;
        }
    }
    if (error.empty()) {
        error = any ? "the header breaks off before $enddefinitions"
                    : "the file is empty or not a Value Change Dump";
    }
    return false;
}

bool VcdReader::Wire(const std::string& id, std::size_t& index) const {
    const auto at =
        std::lower_bound(byId_.begin(), byId_.end(), std::make_pair(id, std::size_t(0)));
    if (at == byId_.end() || at->first != id) {
        return false;
    }
    index = at->second;
    return true;
}

bool VcdReader::Next(VcdChange& change, std::string& error) {
    std::string token;
    while (Token(token)) {
        const char c = token[0];
        if (c == '#') {
            errno = 0;
            char* end = nullptr;
            const unsigned long long t = std::strtoull(token.c_str() + 1, &end, 10);
            if (token.size() < 2 || *end != '\0' || errno != 0 || (timed_ && t < time_)) {
                error = "bad or backward time stamp " + token.substr(0, 40);
                return false;
            }
            time_ = t;
            timed_ = true;
        } else if (c == '$') {
            // $dumpvars, $dumpon ... and their $end: the changes inside count as any.
            if (token == "$comment" && !SkipToEnd(nullptr)) {
                error = "the file breaks off inside a $comment";
                return false;
            }
        } else if (c == 'b' || c == 'B' || c == 'r' || c == 'R') {
            std::string id;
            if (!Token(id)) {
                error = "the file breaks off after " + token.substr(0, 40);
                return false;
            }
            if (!Wire(id, change.wire)) {
                error = "a change of an undeclared wire " + id.substr(0, 40);
                return false;
            }
            change.time = time_;
            const char last = token.back();
            change.value = c == 'r' || c == 'R' ? 'x' : last == '1' ? '1' : last == '0' ? '0' : 'x';
            return true;
        } else if (c == '0' || c == '1' || c == 'x' || c == 'X' || c == 'z' || c == 'Z') {
            if (!Wire(token.substr(1), change.wire)) {
                error = "a change of an undeclared wire " + token.substr(0, 40);
                return false;
            }
            change.time = time_;
            change.value = c == '0' || c == '1' ? c : 'x';
            return true;
        } else {
            error = "unexpected text: " + token.substr(0, 40);
            return false;
        }
    }
    if (in_.bad()) {
        error = "the file could not be read to its end";
        return false;
    }
    return false;
}

}  // namespace agent
