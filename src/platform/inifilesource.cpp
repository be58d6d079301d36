#include "platform/inifilesource.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <utility>

namespace tw {

IniFileSource::IniFileSource(std::string folder) : m_Folder(std::move(folder)) {}

std::string IniFileSource::Resolve(const std::string& fileName) const {
    if (fileName.empty()) {
        return m_Folder + "Tellwick.ini";
    }
    if (fileName[0] == '/') {
        return fileName;
    }
    return m_Folder + fileName;
}

const IniFile* IniFileSource::File(const std::string& fileName) {
    const std::string path = Resolve(fileName);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        m_Cache.erase(path);
        return nullptr;
    }
    const int64_t modified =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    auto found = m_Cache.find(path);
    if (found != m_Cache.end() && found->second.m_ModifiedNs == modified &&
        found->second.m_Size == info.st_size && found->second.m_Inode == info.st_ino) {
        return found->second.m_File.get();
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in) {
        content << in.rdbuf();
    }
    if (!in || in.bad()) {
        m_Cache.erase(path);
        return nullptr;
    }
    Cached& entry = m_Cache[path];
    entry.m_ModifiedNs = modified;
    entry.m_Size = info.st_size;
    entry.m_Inode = info.st_ino;
    entry.m_File = std::make_unique<IniFile>(content.str());
    return entry.m_File.get();
}

}  // namespace tw
