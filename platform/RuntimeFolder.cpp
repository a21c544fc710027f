#ifndef _WIN32

#include "platform/RuntimeFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string Kind(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISREG(mode)) {
        return "a file";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a folder";
}

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

std::string PrivateProblem(const std::string& path, unsigned uid);

// Makes `path` (and, with `parents`, the folders above it) as a 0700 folder of
// ours when missing, tightens one of ours, and says what is wrong otherwise.
std::string MakePrivate(const std::string& path, unsigned uid, bool parents) {
    if (parents) {
        for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            ::mkdir(path.substr(0, slash).c_str(), 0700);
        }
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return "cannot make " + path + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
        (st.st_mode & 0077) != 0) {
        ::chmod(path.c_str(), 0700);
    }
    return PrivateProblem(path, uid);
}

// A runtime folder is the user's alone: a real folder of theirs that no one
// else may even read, as the XDG base directory rules ask of $XDG_RUNTIME_DIR.
std::string PrivateProblem(const std::string& path, unsigned uid) {
    if (std::string problem = FolderProblem(path, uid); !problem.empty()) {
        return problem;
    }
    struct stat st {};
    ::lstat(path.c_str(), &st);
    if (st.st_uid != uid) {
        return path + " belongs to user " + DescribeUser(st.st_uid);
    }
    if ((st.st_mode & 0077) != 0) {
        return path + " may be used by other users (mode " + Octal(st.st_mode) + ")";
    }
    return {};
}

}  // namespace

std::string DescribeUser(unsigned uid) {
    const passwd* p = ::getpwuid(uid);
    return p != nullptr ? std::string(p->pw_name) + " (uid " + std::to_string(uid) + ")"
                        : "uid " + std::to_string(uid);
}

std::string FolderProblem(const std::string& path, unsigned uid, bool sharedSticky) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return path + " does not exist";
    }
    if (!S_ISDIR(st.st_mode)) {
        return path + " is " + Kind(st.st_mode) +
               (st.st_uid != uid && !S_ISLNK(st.st_mode) ? " of user " + DescribeUser(st.st_uid)
                                                         : std::string()) +
               ", not a folder";
    }
    // Whoever owns a folder may swap what is in it, sticky or not.
    if (st.st_uid != uid && st.st_uid != 0) {
        return path + " belongs to user " + DescribeUser(st.st_uid);
    }
    const bool sticky = (st.st_mode & S_ISVTX) != 0;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !(sharedSticky && sticky)) {
        return path + " may be written by other users (mode " + Octal(st.st_mode) + ")";
    }
    return {};
}

RuntimePlaces SystemRuntimePlaces() {
    RuntimePlaces places;
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    places.xdgRuntimeDir = xdg != nullptr ? xdg : "";
    places.uid = ::geteuid();
    const char* home = std::getenv("HOME");
    const passwd* account = home == nullptr ? ::getpwuid(places.uid) : nullptr;
    places.home = home != nullptr ? home : account != nullptr ? account->pw_dir : "";
    return places;
}

RuntimeFolderChoice ChooseRuntimeFolder(const RuntimePlaces& places) {
    RuntimeFolderChoice choice;
    if (!places.xdgRuntimeDir.empty()) {
        if (places.xdgRuntimeDir[0] != '/') {
            choice.notes.push_back("XDG_RUNTIME_DIR=" + places.xdgRuntimeDir +
                                   " is not an absolute path");
        } else if (std::string p = PrivateProblem(places.xdgRuntimeDir, places.uid); !p.empty()) {
            choice.notes.push_back("XDG_RUNTIME_DIR: " + p);
        } else {
            choice.folder = places.xdgRuntimeDir;
            return choice;
        }
    }
    const std::string shared = places.tmp + "/tarvik-" + std::to_string(places.uid);
    if (std::string p = MakePrivate(shared, places.uid, false); !p.empty()) {
        choice.notes.push_back(p);
    } else {
        choice.folder = shared;
        return choice;
    }
    if (places.home.empty() || places.home[0] != '/') {
        choice.notes.push_back("no home folder is known");
    } else if (std::string p = MakePrivate(places.home + "/.cache/tarvik", places.uid, true);
               !p.empty()) {
        choice.notes.push_back(p);
    } else {
        choice.folder = places.home + "/.cache/tarvik";
    }
    return choice;
}

std::string RuntimeFolder() {
    return ChooseRuntimeFolder(SystemRuntimePlaces()).folder;
}

}  // namespace platform

#endif  // !_WIN32
