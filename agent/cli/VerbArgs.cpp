#include "agent/cli/VerbArgs.h"

#include <algorithm>

#include "agent/cli/Options.h"

namespace agent {
namespace {

bool Contains(const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

}  // namespace

std::string CommandWord(const std::vector<std::string>& args) {
    // Every option of every verb that takes a value, so that none is taken for the verb.
    static const std::vector<std::string> valued{
        "--socket",  "--port",  "--rate",  "--seconds", "--out",      "--value",
        "--mask",    "--width", "--count", "--period",  "--pins",     "--plug",
        "--backend", "--ports", "--trace", "--map",     "--sim-fault"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (Contains(valued, args[i])) {
            ++i;
        } else if (args[i].empty() || args[i][0] != '-') {
            return args[i];
        }
    }
    return "";
}

const std::string* VerbArgs::Value(const std::string& option) const {
    const auto found = options.find(option);
    return found == options.end() ? nullptr : &found->second;
}

std::optional<VerbArgs> ReadVerbArgs(const std::vector<std::string>& args, const VerbSyntax& syntax,
                                     std::string& error) {
    VerbArgs read;
    bool named = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            read.help = true;
            return read;
        }
        if (a == syntax.verb && !named) {
            named = true;
            continue;
        }
        const bool flag = Contains(syntax.flags, a);
        if (!flag && !Contains(syntax.valued, a)) {
            if (!a.empty() && a[0] != '-' && read.plain.size() < syntax.plain) {
                read.plain.push_back(a);
                continue;
            }
            error = !a.empty() && a[0] == '-' ? "unknown option for " + syntax.verb + ": " + a
                                              : "unexpected argument: " + a;
            return std::nullopt;
        }
        if (read.options.count(a) != 0) {
            error = a + " is given twice";
            return std::nullopt;
        }
        std::string value;
        if (!flag) {
            const bool omitted = i + 1 >= args.size() || args[i + 1].empty() ||
                                 (args[i + 1][0] == '-' && Contains(syntax.mayOmitValue, a));
            if (omitted && !Contains(syntax.mayOmitValue, a)) {
                error = a + " needs a value";
                return std::nullopt;
            }
            if (!omitted) {
                value = args[++i];
            } else if (i + 1 < args.size() && args[i + 1].empty()) {
                ++i;
            }
        }
        read.options[a] = value;
    }
    return read;
}

std::optional<std::uint16_t> ParsePortBase(const std::string& text, std::string& error) {
    const auto base = ParseHex(text, 0xFFFF);
    if (!base || (*base != 0x378 && *base != 0x278 && *base != 0x3BC)) {
        error = "unknown port: " + text + " (the ports are 378, 278 and 3BC)";
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*base);
}

}  // namespace agent
