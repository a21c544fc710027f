// The command lines of the client verbs (record, pulse, pulses, selftest): the
// verb's word, options that take one value or none, each given at most once and
// never with an empty value, and the verb's own plain arguments.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace agent {

// The command a command line names: its first word that is neither an option nor
// an option's value ("" when there is none), so options may come first.
std::string CommandWord(const std::vector<std::string>& args);

struct VerbSyntax {
    std::string verb;                            // "record"
    std::vector<std::string> valued;             // options with a value: "--out"
    std::vector<std::string> flags = {};         // options without one: "--csv"
    std::vector<std::string> mayOmitValue = {};  // valued options whose value may be left out
    std::size_t plain = 0;                       // plain arguments the verb takes at most
};

struct VerbArgs {
    bool help = false;
    std::map<std::string, std::string> options;  // flags and omitted values map to ""
    std::vector<std::string> plain;
    // The value given, or nullptr when the option is absent.
    const std::string* Value(const std::string& option) const;
};

// The line read by the verb's syntax; nullopt, with the reason in `error`, when
// it doesn't fit.
std::optional<VerbArgs> ReadVerbArgs(const std::vector<std::string>& args, const VerbSyntax& syntax,
                                     std::string& error);

// --port's value: 378, 278 or 3BC, in hex.
std::optional<std::uint16_t> ParsePortBase(const std::string& text, std::string& error);

}  // namespace agent
