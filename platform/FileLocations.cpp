#include "platform/FileLocations.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace platform {
namespace {

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// ${XDG_CONFIG_HOME:-$HOME/.config}; a relative value counts as unset, as the XDG
// rules say. "" when neither gives an absolute folder.
std::string ConfigHome(const LocationProbe& probe) {
    const std::string xdg = probe.env("XDG_CONFIG_HOME");
    if (IsAbsolute(xdg)) {
        return WithoutTrailingSlashes(xdg);
    }
    const std::string home = probe.env("HOME");
    if (IsAbsolute(home)) {
        return WithoutTrailingSlashes(home) + "/.config";
    }
    return {};
}

std::string ParentOf(const std::string& folder) {
    const std::size_t slash = folder.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

#ifndef _WIN32
// Each missing folder of `folder`, outermost first, with mode 0700.
bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = ParentOf(folder);
    if (parent != folder && !parent.empty() && !MakeFolders(parent)) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}
#else
bool MakeFolders(const std::string& folder) {
    std::error_code e;
    std::filesystem::create_directories(folder, e);
    return std::filesystem::is_directory(folder, e);
}
#endif

bool CopyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return false;
    }
    // Through a temporary file: a copy cut short must not pass for the user's file.
    const std::string temp = to + ".seed.tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code e;
    std::filesystem::rename(temp, to, e);
    if (e) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

SettingsFiles ChooseSettingsFiles(const std::string& exeFolder, const LocationProbe& probe) {
    const std::string beside = exeFolder + "/" + SettingsFileName;
    // A copy in a folder of its user's keeps its file there, even a read-only one:
    // the save then says it can't write it, rather than quietly starting another
    // file that would shadow this one from then on.
    if (probe.writable(exeFolder)) {
        return {beside, beside};
    }
    const bool presetExists = probe.exists(beside);
    const std::string config = ConfigHome(probe);
    if (config.empty()) {
        return {beside, beside};  // nowhere better; the save reports the failure
    }
    const std::string own = config + "/tarvik/" + SettingsFileName;
    return {presetExists && !probe.exists(own) ? beside : own, own};
}

std::string FindHelpFile(const std::string& exeFolder, const LocationProbe& probe) {
    const std::string beside = exeFolder + "/" + HelpFileName;
    if (probe.exists(beside)) {
        return beside;
    }
    const std::string shared = ParentOf(exeFolder) + "/share/tarvik/" + HelpFileName;
    return probe.exists(shared) ? shared : std::string();
}

LocationProbe NativeProbe() {
    LocationProbe probe;
    probe.exists = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    };
    probe.writable = [](const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || (st.st_mode & 0222) == 0) {
            return false;
        }
#ifdef _WIN32
        return true;
#else
        return ::access(path.c_str(), W_OK) == 0;  // also false on a read-only mount
#endif
    };
    probe.env = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? std::string(value) : std::string();
    };
    return probe;
}

SettingsFiles NativeSettingsFiles(const std::string& exeFolder) {
#ifdef _WIN32
    const std::string beside = exeFolder + "/" + SettingsFileName;
    return {beside, beside};
#else
    return ChooseSettingsFiles(exeFolder, NativeProbe());
#endif
}

bool PrepareSettingsSave(const SettingsFiles& files) {
    if (!MakeFolders(ParentOf(files.save))) {
        return false;
    }
    const LocationProbe probe = NativeProbe();
    // Only a plain file is a preset: a FIFO, say, would hold the copy up for good.
    std::error_code e;
    if (files.load == files.save || probe.exists(files.save) ||
        !std::filesystem::is_regular_file(files.load, e)) {
        return true;
    }
    return CopyFile(files.load, files.save);
}

}  // namespace platform
