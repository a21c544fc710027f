// Where the program finds its own files. A copy in a folder of its user keeps
// TARVIK.INI and the help file beside the executable; an installed copy (say in
// /usr/bin, which its users cannot write) keeps each user's settings in the XDG
// config folder and its help under share/tarvik beside bin/.
#pragma once

#include <functional>
#include <string>

namespace platform {

inline constexpr const char* SettingsFileName = "TARVIK.INI";
inline constexpr const char* HelpFileName = "TARVIK_Help.CHM";

// What the choices look at; tests replace the file system and the environment.
struct LocationProbe {
    std::function<bool(const std::string& path)> exists;
    // Whether a save may replace the file `path`, or create files in the folder `path`.
    std::function<bool(const std::string& path)> writable;
    // The environment variable, "" when unset.
    std::function<std::string(const char* name)> env;
};

// The file the settings are read from and the one they are saved to.
struct SettingsFiles {
    std::string load;
    std::string save;
};

// Beside the executable while its folder can be written, whether or not a
// TARVIK.INI there can (a read-only one makes the save fail, and says so).
// Otherwise, for an installed copy, ${XDG_CONFIG_HOME:-$HOME/.config}/tarvik/TARVIK.INI,
// read from the TARVIK.INI beside the executable, the preset, until the user's own
// file exists.
// `exeFolder` has no trailing separator.
SettingsFiles ChooseSettingsFiles(const std::string& exeFolder, const LocationProbe& probe);

// The help file beside the executable, else in <exe folder>/../share/tarvik; "" when
// neither exists.
std::string FindHelpFile(const std::string& exeFolder, const LocationProbe& probe);

// The running system. A file or folder without any write bit counts as read-only
// even for root, as it does for the settings writer.
LocationProbe NativeProbe();

// The settings files of the running program. Windows keeps them beside the executable.
SettingsFiles NativeSettingsFiles(const std::string& exeFolder);

// Readies `files.save` for its first save: creates its missing folders (mode 0700,
// as the XDG rules ask) and, when it does not exist yet but a different `files.load`
// does, starts it as a copy of that one, so the preset's other sections and comments
// stay too. False when the folder or the copy could not be made.
bool PrepareSettingsSave(const SettingsFiles& files);

}  // namespace platform
