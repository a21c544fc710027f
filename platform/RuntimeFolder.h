// The user's private runtime folder, where the single-instance locks and the
// port agent's socket live: the program, the agent and every client find it by
// the same rule, and no other user can get there first.
#pragma once
#ifndef _WIN32

#include <string>
#include <vector>

namespace platform {

// Where the rule looks; tests point it at a private tree.
struct RuntimePlaces {
    std::string xdgRuntimeDir;  // $XDG_RUNTIME_DIR, empty when unset
    std::string tmp = "/tmp";
    std::string home;  // $HOME, else the account's home folder
    unsigned uid = 0;  // the effective user
};

RuntimePlaces SystemRuntimePlaces();

struct RuntimeFolderChoice {
    std::string folder;              // empty when no place could be had
    std::vector<std::string> notes;  // why each place before it was passed over
};

// 1. $XDG_RUNTIME_DIR, when it is a real folder of ours that no one else may use;
// 2. else <tmp>/tarvik-<uid>, made 0700 (a folder of ours with a looser mode is tightened);
// 3. else, when another user holds that name or it is a link or a file,
//    <home>/.cache/tarvik, made 0700 in the same way.
RuntimeFolderChoice ChooseRuntimeFolder(const RuntimePlaces& places);

// ChooseRuntimeFolder(SystemRuntimePlaces()).folder
std::string RuntimeFolder();

// Why `path` is no private folder of user `uid`, naming the owner of what is in
// the way ("/tmp/x belongs to user mallory (uid 1001)"); empty when it is one.
// Root's folders count as ours. With `sharedSticky`, a folder of ours or root's
// that all may write to but that is sticky (like /tmp) passes.
std::string FolderProblem(const std::string& path, unsigned uid, bool sharedSticky = false);

// "mallory (uid 1001)", or "uid 1001" for a user the system doesn't name.
std::string DescribeUser(unsigned uid);

}  // namespace platform

#endif  // !_WIN32
