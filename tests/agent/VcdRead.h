// A reader of Value Change Dumps written apart from the recorder's writer, so
// that the tests check the file itself rather than the writer's idea of it.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct VcdFile {
    bool ok = false;
    std::string error;
    std::string comments;  // the text of every $comment in the header
    std::string timescale;
    // name -> (time, level) of every change, the initial level first; x and z are -1.
    std::map<std::string, std::vector<std::pair<std::uint64_t, int>>> signals;
    std::uint64_t endTime = 0;  // the last time stamp
};

inline VcdFile ReadVcd(const std::string& text) {
    VcdFile f;
    std::istringstream in(text);
    std::map<std::string, std::string> names;  // id -> name
    std::string t;
    auto until = [&](std::string* into) {
        std::string w;
        while (in >> w && w != "$end") {
            if (into != nullptr) {
                *into += (into->empty() ? "" : " ") + w;
            }
        }
    };
    while (in >> t && t != "$enddefinitions") {
        if (t == "$var") {
            std::string type, size, id, name;
            in >> type >> size >> id >> name;
            if (size != "1") {
                f.error = "not a 1-bit wire: " + name;
                return f;
            }
            names[id] = name;
            f.signals[name];
            until(nullptr);
        } else if (t == "$comment") {
            std::string c;
            until(&c);
            f.comments += c + "\n";
        } else if (t == "$timescale") {
            until(&f.timescale);
        } else if (!t.empty() && t[0] == '$') {
            until(nullptr);
        }
    }
    until(nullptr);
    if (!in) {
        f.error = "no $enddefinitions";
        return f;
    }
    bool timed = false;
    while (in >> t) {
        if (t[0] == '#') {
            const std::uint64_t now = std::stoull(t.substr(1));
            if (timed && now < f.endTime) {
                f.error = "time goes back at " + t;
                return f;
            }
            f.endTime = now;
            timed = true;
        } else if (t[0] == '$') {
            continue;  // $dumpvars ... $end around the initial values
        } else {
            const auto name = names.find(t.substr(1));
            if (!timed || name == names.end() || t.size() < 2) {
                f.error = "stray value change " + t;
                return f;
            }
            const int level = t[0] == '1' ? 1 : t[0] == '0' ? 0 : -1;
            auto& changes = f.signals[name->second];
            if (changes.empty() || changes.back().second != level) {
                changes.emplace_back(f.endTime, level);
            }
        }
    }
    f.ok = true;
    return f;
}
