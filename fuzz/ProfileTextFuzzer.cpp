// Random INI text and random names through the profile-string rules: nothing may
// read or write out of bounds, lookups must fit their buffers, and what a write
// produces must be what the next lookup finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ProfileText.h"

namespace pt = platform::profile_text;

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Cuts the next NUL-terminated piece off the input (the rest when there is no NUL).
std::string_view Next(std::string_view& rest) {
    const std::size_t cut = rest.find('\0');
    std::string_view piece = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    return piece;
}

// A name the file format can hold as it is: no line break, no '=' or ']', no blank
// or marker at its ends, so a written key must be found again under that name.
std::string CleanName(std::string_view raw) {
    std::string name;
    for (char c : raw) {
        if (c != '\r' && c != '\n' && c != '=' && c != ']' && c != '\t' && c != '\0') {
            name.push_back(c);
        }
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == ';' || name.front() == '[')) {
        name.erase(0, 1);
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return name;
}

std::string CleanValue(std::string_view raw) {
    std::string value;
    for (char c : raw) {
        if (c != '\r' && c != '\n' && c != '\0') {
            value.push_back(c);
        }
    }
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.erase(0, 1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.pop_back();
    }
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        value.insert(0, "x");  // an outer pair of quotes would be taken off
    }
    return value;
}

// Get into a buffer of exactly `size` bytes, so a byte too far is caught.
void CheckGet(std::optional<std::string_view> text, const char* section, const char* key,
              const char* fallback, std::uint32_t size) {
    auto buffer = std::make_unique<char[]>(size == 0 ? 1 : size);
    const std::uint32_t n = pt::Get(text, section, key, fallback, buffer.get(), size);
    if (size == 0) {
        Require(n == 0);
        return;
    }
    Require(n < size);
    Require(buffer[n] == '\0');
    if (key != nullptr && section != nullptr) {
        Require(std::strlen(buffer.get()) <= n);  // a NUL inside the file's value may cut it
    } else if (n == 0) {
        Require(size < 2 || buffer[1] == '\0');  // the empty list: two NULs
    } else {
        // Each name ends in NUL and one more ends the list; a cut list ends in two.
        Require(buffer[n - 1] == '\0' || (n + 1 < size && buffer[n + 1] == '\0'));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::uint32_t bufferSize = data[1];
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string section(Next(rest));
    const std::string key(Next(rest));
    const std::string value(Next(rest));
    const std::string_view text = rest;

    // Lookups with every argument as it came and with the null forms.
    const std::optional<std::string_view> file =
        (flags & 1) ? std::nullopt : std::optional<std::string_view>(text);
    CheckGet(file, section.c_str(), key.c_str(), value.c_str(), bufferSize);
    CheckGet(file, section.c_str(), nullptr, nullptr, bufferSize);
    CheckGet(file, nullptr, nullptr, nullptr, bufferSize);
    (void)pt::FindValue(text, section, key);

    // Writes with raw arguments must not crash; their results are checked only for
    // the forms the format can hold.
    (void)pt::Apply(text, section, key.c_str(), value.c_str());
    (void)pt::Apply(text, section, key.c_str(), nullptr);

    const std::string s = CleanName(section);
    const std::string k = CleanName(key);
    const std::string v = CleanValue(value);
    const std::string written = pt::Apply(text, s, k.c_str(), v.c_str());
    const std::optional<std::string> found = pt::FindValue(written, s, k);
    Require(found.has_value() && *found == v);
    Require(pt::Apply(written, s, k.c_str(), v.c_str()) == written);  // nothing left to change

    // A deleted section is gone, whichever key is asked for.
    const std::string removed = pt::Apply(written, s, nullptr, nullptr);
    Require(!pt::FindValue(removed, s, k).has_value());
    if (flags & 2) {
        const std::string keyRemoved = pt::Apply(text, s, k.c_str(), nullptr);
        Require(keyRemoved.size() <= text.size());
    }
    return 0;
}
