// The rules of the Windows profile-string functions applied to an INI file's text,
// without touching any file: what a lookup finds and what text a write produces.
// Kept apart from the file handling so it can be tested and fuzzed on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::profile_text {

// The value `key` has in `section` of `text` (outer quotes removed), or nullopt when
// the section or the key is absent or the key's line has no '='. The names are
// matched case-insensitively after stripping the spaces around them.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key);

// GetPrivateProfileStringA on a file whose content is `text` (nullopt: no file).
// A null section lists the section names, a null key the key names of the section,
// each NUL-terminated with one more NUL at the end.
std::uint32_t Get(std::optional<std::string_view> text, const char* section, const char* key,
                  const char* defaultValue, char* buffer, std::uint32_t size);

// The text after WritePrivateProfileStringA(section, key, value): a null key deletes
// the section, a null value the key. Returns a copy of `text` when nothing changes.
std::string Apply(std::string_view text, std::string_view section, const char* key,
                  const char* value);

}  // namespace platform::profile_text
