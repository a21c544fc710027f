// On Windows the profile-string functions are the system's own.
#ifdef _WIN32

#include <windows.h>

#include "platform/ProfileStrings.h"

namespace platform {
namespace {

thread_local std::uint32_t lastError = 0;

}  // namespace

std::uint32_t GetPrivateProfileText(const char* section, const char* key, const char* defaultValue,
                                    char* buffer, std::uint32_t size, const char* file) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

bool WritePrivateProfileText(const char* section, const char* key, const char* value,
                             const char* file) {
    if (::WritePrivateProfileStringA(section, key, value, file)) {
        return true;
    }
    lastError = ::GetLastError();
    return false;
}

std::uint32_t ProfileLastError() {
    return lastError;
}

}  // namespace platform

#endif  // _WIN32
