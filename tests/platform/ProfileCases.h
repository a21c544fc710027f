// One table of profile-string cases, run against the pure text rules, against our
// file layer and, in the Windows build, against the system's own functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace profile_cases {

// What a read-back gives when the key is absent.
inline const char* const kAbsent = "<absent>";

struct ReadCase {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file
    const char* section;
    const char* key;
    const char* defaultValue;
    std::uint32_t size;
    std::string expected;      // the call returns its length
    bool windowsOnly = false;  // Wine differs
};

struct WriteCall {
    const char* section;
    const char* key;
    const char* value;
};

struct ReadBack {
    const char* section;
    const char* key;
    std::string expected;  // kAbsent: the default comes back
};

struct WriteCase {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file
    std::vector<WriteCall> calls;
    std::optional<std::string> after;  // nullopt: still no file
    std::vector<ReadBack> checks = {};
    bool fails = false;         // the last call returns false with error 2
    bool wineRewrites = false;  // Wine rewrites the whole file: compare by reading
    bool windowsOnly = false;
    const char* spelledKey = nullptr;  // the one line of this key keeps this spelling
};

const std::vector<ReadCase>& ReadCases();
const std::vector<WriteCase>& WriteCases();

}  // namespace profile_cases
