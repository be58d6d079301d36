// The settings source of the running gateway: INI files read from disk, named
// relative to the application folder. A parsed file is kept and read again
// only when its size, inode or modification time changed, so the readers
// that run on every call stay cheap and still see every change at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/settingssource.h"

namespace tw {

class IniFileSource : public SettingsSource {
  public:
    // folder: the application folder, ending in "/".
    explicit IniFileSource(std::string folder);

    const IniFile* File(const std::string& fileName) override;

    // The path a file name stands for: "Tellwick.ini" in the folder for an
    // empty name, the name itself when absolute, else folder + name.
    std::string Resolve(const std::string& fileName) const;

  private:
    struct Cached {
        int64_t m_ModifiedNs = 0;
        int64_t m_Size = -1;
        uint64_t m_Inode = 0;
        std::unique_ptr<IniFile> m_File;
    };

    std::string m_Folder;
    std::unordered_map<std::string, Cached> m_Cache;
};

}  // namespace tw
