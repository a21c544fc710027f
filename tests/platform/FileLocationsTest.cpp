// Where the settings and the help file are looked for: the choice against a fake
// file system for each kind of installation, then the real probe and the first save
// of a user's own file on a temporary folder.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/FileLocations.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#endif

using platform::ChooseSettingsFiles;
using platform::FindHelpFile;
using platform::LocationProbe;
using platform::SettingsFiles;

namespace {

struct FakeSystem {
    std::set<std::string> files;
    std::set<std::string> writable;
    std::map<std::string, std::string> env;

    LocationProbe Probe() const {
        return {[this](const std::string& p) { return files.count(p) != 0; },
                [this](const std::string& p) { return writable.count(p) != 0; },
                [this](const char* name) {
                    auto it = env.find(name);
                    return it == env.end() ? std::string() : it->second;
                }};
    }
};

constexpr const char* Beside = "/usr/bin/TARVIK.INI";
constexpr const char* Own = "/home/ann/.config/tarvik/TARVIK.INI";

// An installed program: /usr/bin cannot be written, the user has a home.
FakeSystem Installed() {
    FakeSystem s;
    s.env = {{"HOME", "/home/ann"}};
    return s;
}

void ExpectFiles(const SettingsFiles& got, const std::string& load, const std::string& save) {
    EXPECT_EQ(got.load, load);
    EXPECT_EQ(got.save, save);
}

TEST(SettingsLocation, StaysBesideAWritableExecutable) {
    FakeSystem s;
    s.env = {{"HOME", "/home/ann"}};
    s.writable = {"/home/ann/tarvik/bin"};
    const std::string beside = "/home/ann/tarvik/bin/TARVIK.INI";
    ExpectFiles(ChooseSettingsFiles("/home/ann/tarvik/bin", s.Probe()), beside, beside);

    s.files = {beside};
    s.writable.insert(beside);
    ExpectFiles(ChooseSettingsFiles("/home/ann/tarvik/bin", s.Probe()), beside, beside);
}

TEST(SettingsLocation, InstalledProgramUsesTheUsersConfigFolder) {
    FakeSystem s = Installed();
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Own, Own);

    s.env["XDG_CONFIG_HOME"] = "/data/cfg/";
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), "/data/cfg/tarvik/TARVIK.INI",
                "/data/cfg/tarvik/TARVIK.INI");

    // The XDG rules ignore a relative folder.
    s.env["XDG_CONFIG_HOME"] = "cfg";
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Own, Own);
}

TEST(SettingsLocation, PresetBesideTheExecutableIsTheStartingPoint) {
    FakeSystem s = Installed();
    s.files = {Beside};
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Beside, Own);

    // Once the user's own file exists the preset no longer counts.
    s.files.insert(Own);
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Own, Own);
}

TEST(SettingsLocation, TheFolderDecidesNotTheFile) {
    // A read-only file in a writable folder stays the file: its save fails and says so.
    FakeSystem s = Installed();
    s.files = {Beside, Own};
    s.writable = {"/usr/bin"};
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Beside, Beside);

    // A writable file is no use when its folder cannot take the temporary file.
    s.writable = {Beside};
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Own, Own);
}

TEST(SettingsLocation, WithoutAHomeTheFileStaysBeside) {
    FakeSystem s;
    s.env = {{"HOME", "relative"}};
    ExpectFiles(ChooseSettingsFiles("/usr/bin", s.Probe()), Beside, Beside);
}

TEST(HelpLocation, BesideFirstThenShare) {
    FakeSystem s;
    s.files = {"/usr/share/tarvik/TARVIK_Help.CHM"};
    EXPECT_EQ(FindHelpFile("/usr/bin", s.Probe()), "/usr/share/tarvik/TARVIK_Help.CHM");
    s.files.insert("/usr/bin/TARVIK_Help.CHM");
    EXPECT_EQ(FindHelpFile("/usr/bin", s.Probe()), "/usr/bin/TARVIK_Help.CHM");
    s.files.clear();
    EXPECT_EQ(FindHelpFile("/usr/bin", s.Probe()), "");
}

#ifdef _WIN32
TEST(SettingsLocation, WindowsKeepsTheFileBesideTheExecutable) {
    const SettingsFiles files = platform::NativeSettingsFiles("C:/Program Files/Tarvik");
    ExpectFiles(files, "C:/Program Files/Tarvik/TARVIK.INI", "C:/Program Files/Tarvik/TARVIK.INI");
}
#else

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder with an executable folder `bin` and a config home `cfg`, which
// XDG_CONFIG_HOME points at while the test runs.
class NativeLocation : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvik-locations-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directory(root / "bin");
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadConfig = old != nullptr;
        oldConfig = hadConfig ? old : "";
        ::setenv("XDG_CONFIG_HOME", (root / "cfg").c_str(), 1);
    }
    void TearDown() override {
        if (hadConfig) {
            ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        fs::permissions(root / "bin", fs::perms::owner_all);
        fs::remove_all(root);
    }
    std::string Bin() const { return (root / "bin").string(); }
    std::string OwnFile() const { return (root / "cfg/tarvik/TARVIK.INI").string(); }

    fs::path root;
    bool hadConfig = false;
    std::string oldConfig;
};

// Root passes every access() check; the write bits still decide, as they do for
// the settings writer.
TEST_F(NativeLocation, ReadOnlyFolderSendsTheSaveToTheConfigFolder) {
    const std::string beside = Bin() + "/TARVIK.INI";
    ExpectFiles(platform::NativeSettingsFiles(Bin()), beside, beside);

    WriteAll(beside, "[Misc]\r\nPinInit=1\r\n");
    fs::permissions(beside, fs::perms::owner_read | fs::perms::group_read);
    ExpectFiles(platform::NativeSettingsFiles(Bin()), beside, beside);

    fs::permissions(beside, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(root / "bin", fs::perms::owner_read | fs::perms::owner_exec);
    ExpectFiles(platform::NativeSettingsFiles(Bin()), beside, OwnFile());
}

TEST_F(NativeLocation, FirstSaveStartsFromThePreset) {
    const std::string preset = Bin() + "/TARVIK.INI";
    const std::string text = "; site preset\r\n[Lab]\r\nBench=3\r\n[Misc]\r\nPinInit=1\r\n";
    WriteAll(preset, text);
    fs::permissions(preset, fs::perms::owner_read);

    const SettingsFiles files{preset, OwnFile()};
    ASSERT_TRUE(platform::PrepareSettingsSave(files));
    EXPECT_EQ(ReadAll(OwnFile()), text);
    // The new folders are the user's alone; the copy can be written.
    struct stat st {};
    ASSERT_EQ(::stat((root / "cfg/tarvik").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat((root / "cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(platform::NativeProbe().writable(OwnFile()));
    EXPECT_FALSE(fs::exists(OwnFile() + ".seed.tmp"));

    // An existing file of the user's is never overwritten by the preset.
    WriteAll(OwnFile(), "[Misc]\r\nPinInit=2\r\n");
    ASSERT_TRUE(platform::PrepareSettingsSave(files));
    EXPECT_EQ(ReadAll(OwnFile()), "[Misc]\r\nPinInit=2\r\n");
}

TEST_F(NativeLocation, APresetThatIsNoPlainFileIsNotCopied) {
    const std::string preset = Bin() + "/TARVIK.INI";
    ASSERT_EQ(::mkfifo(preset.c_str(), 0600), 0);
    ASSERT_TRUE(platform::PrepareSettingsSave({preset, OwnFile()}));  // no wait for a writer
    EXPECT_FALSE(fs::exists(OwnFile()));
}

TEST_F(NativeLocation, PrepareCreatesOnlyTheFolderWithoutAPreset) {
    ASSERT_TRUE(platform::PrepareSettingsSave({OwnFile(), OwnFile()}));
    EXPECT_TRUE(fs::is_directory(root / "cfg/tarvik"));
    EXPECT_FALSE(fs::exists(OwnFile()));

    // A file where a folder should be: the save cannot be readied.
    WriteAll(root / "blocked", "");
    EXPECT_FALSE(
        platform::PrepareSettingsSave({OwnFile(), (root / "blocked/tarvik/TARVIK.INI").string()}));
}

TEST_F(NativeLocation, HelpUnderShareBesideBin) {
    EXPECT_EQ(FindHelpFile(Bin(), platform::NativeProbe()), "");
    fs::create_directories(root / "share/tarvik");
    WriteAll(root / "share/tarvik/TARVIK_Help.CHM", "ITSF");
    EXPECT_EQ(FindHelpFile(Bin(), platform::NativeProbe()),
              (root / "share/tarvik/TARVIK_Help.CHM").string());
}

#endif

}  // namespace
