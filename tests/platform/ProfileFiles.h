// Scratch folders and raw file access for the profile-string tests, in both builds.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace profile_files {

// A fresh empty folder under the system's temporary folder, removed again at the end.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadBytes(const std::string& path);  // nullopt: no such file

// True in the Windows build when the system underneath is Wine.
bool UnderWine();

}  // namespace profile_files
