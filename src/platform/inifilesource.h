// The settings source of the running gateway: INI files read from disk, named
// relative to the application folder. A parsed file is kept until it may
// have changed: while its folder (and the folder of the file a link points
// to) is watched, until a change there is noted; otherwise it is looked at
// once per event. The same watch keeps the log folder's files open while
// nothing in the folder changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "base/logfolder.h"
#include "core/settingssource.h"
#include "platform/filewatch.h"

namespace tw {

class IniFileSource : public SettingsSource {
  public:
    // folder: the application folder, ending in "/".
    explicit IniFileSource(std::string folder);

    // Also keeps the files of logs open while its folder is watched, and
    // lets them go when the folder changed.
    void WatchLogFolder(LogFolder& logs);

    void Refresh() override;
    const IniFile* File(const std::string& fileName) override;

    // The path a file name stands for: "Tellwick.ini" in the folder for an
    // empty name, the name itself when absolute, else folder + name.
    std::string Resolve(const std::string& fileName) const;

  private:
    struct Cached {
        int64_t m_ModifiedNs = 0;
        int64_t m_Size = -1;
        uint64_t m_Inode = 0;
        std::unique_ptr<IniFile> m_File;  // nullptr: could not be read
        bool m_Watched = false;           // kept until its folders change
        bool m_Changed = false;           // a change was noted: read it again
        std::string m_Target;             // the file a link points to
        uint64_t m_CheckedInEvent = 0;
    };

    bool Current(const Cached& cached) const;
    static bool Touches(const FileWatch::Change& change, const std::string& path,
                        const Cached& cached);
    bool TouchesLogs(const FileWatch::Change& change) const;
    void Load(const std::string& path, Cached& cached);
    bool WatchFoldersOf(const std::string& path, Cached& cached);
    void KeepLogsOpenWhileWatched();

    std::string m_Folder;
    LogFolder* m_Logs = nullptr;
    std::string m_LogsPath;  // the log folder's path, ending in "/"
    FileWatch m_Watch;
    uint64_t m_Event = 1;
    std::unordered_map<std::string, Cached> m_Cache;
};

}  // namespace tw
