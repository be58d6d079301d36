// Notes changes to the folders the gateway reads its settings from and
// writes its logs to: one inotify descriptor, drained without waiting at the
// start of every event. Where the system cannot watch (no inotify, too many
// watches, a network file system whose changes it would not see) a folder is
// not watched, and its files are looked at directly instead.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tw {

class FileWatch {
  public:
    // What happened in a watched folder: to the entry m_Name in it, or (with
    // m_Name empty) to the folder itself or to everything (an overflow).
    struct Change {
        std::string m_Folder;  // "" when the system lost track of what changed
        std::string m_Name;
    };

    FileWatch();
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Watches folder (ending in "/") for entries that appear, go, are moved,
    // or, with contents set, whose contents change. True when it is watched,
    // at once when it already was.
    bool Watch(const std::string& folder, bool contents);
    bool IsWatched(const std::string& folder) const;

    // Every change noted since the last call; none without a system call
    // beyond one read.
    std::vector<Change> Drain();

  private:
    int m_Descriptor = -1;
    // watch descriptor -> the names under which its folder was watched
    std::map<int, std::vector<std::string>> m_Folders;
};

}  // namespace tw
