// Reading and writing single keys of an INI file with the behaviour of the Windows
// profile-string functions: on Windows these are GetPrivateProfileStringA and
// WritePrivateProfileStringA themselves, elsewhere our own implementation.
// The names differ from the Win32 ones because <windows.h> turns those into macros.
#pragma once

#include <cstdint>

namespace platform {

// Windows error codes a failed write reports.
inline constexpr std::uint32_t ErrorFileNotFound = 2;
inline constexpr std::uint32_t ErrorPathNotFound = 3;
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorDiskFull = 112;

// Copies the value of `key` in `section` of `file` (or `defaultValue`, without its
// trailing spaces, when there is none; nullptr = "") into `buffer`, at most size - 1
// characters plus a NUL, and returns the number of characters copied. `file` should
// be a full path: Windows looks for a bare name in its own folder.
std::uint32_t GetPrivateProfileText(const char* section, const char* key, const char* defaultValue,
                                    char* buffer, std::uint32_t size, const char* file);

// Sets `key` in `section` of `file` to `value`, creating what is missing. A null value
// deletes the key, a null key the whole section. On failure returns false and leaves
// the reason in ProfileLastError(). Our own implementation replaces the file through
// a temporary file in the same folder, so it is never left half written.
bool WritePrivateProfileText(const char* section, const char* key, const char* value,
                             const char* file);

// The Windows error code of this thread's last failed WritePrivateProfileText.
std::uint32_t ProfileLastError();

}  // namespace platform
