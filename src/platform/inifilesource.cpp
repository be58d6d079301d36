#include "platform/inifilesource.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace tw {
namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

IniFileSource::IniFileSource(std::string folder) : m_Folder(std::move(folder)) {
    m_Watch.Watch(m_Folder, true);
}

void IniFileSource::WatchLogFolder(LogFolder& logs) {
    m_Logs = &logs;
    m_LogsPath = logs.Path() + "/";
    KeepLogsOpenWhileWatched();
}

// The log files stay open only while their folder is watched.
void IniFileSource::KeepLogsOpenWhileWatched() {
    m_Logs->KeepFilesOpen(m_Watch.IsWatched(m_Folder) && m_Watch.Watch(m_LogsPath, false));
}

std::string IniFileSource::Resolve(const std::string& fileName) const {
    if (fileName.empty()) {
        return m_Folder + "Tellwick.ini";
    }
    if (fileName[0] == '/') {
        return fileName;
    }
    return m_Folder + fileName;
}

void IniFileSource::Refresh() {
    ++m_Event;
    for (const FileWatch::Change& change : m_Watch.Drain()) {
        for (auto& [path, cached] : m_Cache) {
            if (Touches(change, path, cached)) {
                cached.m_Watched = false;
                cached.m_Changed = true;
            }
        }
        if (m_Logs != nullptr && TouchesLogs(change)) {
            m_Logs->Forget();
            KeepLogsOpenWhileWatched();
        }
    }
}

// A change to a folder itself (or one the system lost track of) touches
// every file in it; a change to an entry only the file of that name, so that
// other files written beside the settings (the alarm journal) cost nothing.
bool IniFileSource::Touches(const FileWatch::Change& change, const std::string& path,
                            const Cached& cached) {
    const auto touches = [&change](const std::string& file) {
        return FolderOf(file) == change.m_Folder &&
               (change.m_Name.empty() || change.m_Name == NameOf(file));
    };
    return change.m_Folder.empty() || touches(path) ||
           (!cached.m_Target.empty() && touches(cached.m_Target));
}

bool IniFileSource::TouchesLogs(const FileWatch::Change& change) const {
    return change.m_Folder.empty() || change.m_Folder == m_LogsPath ||
           (change.m_Folder == m_Folder && change.m_Name == m_Logs->Name());
}

bool IniFileSource::Current(const Cached& cached) const {
    return cached.m_Watched || cached.m_CheckedInEvent == m_Event;
}

const IniFile* IniFileSource::File(const std::string& fileName) {
    const std::string path = Resolve(fileName);
    Cached& cached = m_Cache[path];
    if (!Current(cached)) {
        Load(path, cached);
    }
    return cached.m_File.get();
}

// Reads the file again when a change was noted, or when its size, inode or
// modification time are not as they were.
void IniFileSource::Load(const std::string& path, Cached& cached) {
    cached.m_CheckedInEvent = m_Event;
    cached.m_Watched = WatchFoldersOf(path, cached);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        cached.m_File.reset();
        cached.m_Size = -1;
        return;
    }
    const int64_t modified =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    const bool same = cached.m_ModifiedNs == modified && cached.m_Size == info.st_size &&
                      cached.m_Inode == info.st_ino;
    if (cached.m_File && same && !cached.m_Changed) {
        return;
    }
    cached.m_Changed = false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    if (in) {
        content << in.rdbuf();
    }
    if (!in || in.bad()) {
        cached.m_File.reset();
        cached.m_Size = -1;
        return;
    }
    cached.m_ModifiedNs = modified;
    cached.m_Size = info.st_size;
    cached.m_Inode = info.st_ino;
    cached.m_File = std::make_unique<IniFile>(content.str());
}

// The folder of the path and, for a link, the folder of the file it points
// to: a change in either is noted.
bool IniFileSource::WatchFoldersOf(const std::string& path, Cached& cached) {
    bool watched = m_Watch.Watch(FolderOf(path), true);
    char* target = realpath(path.c_str(), nullptr);
    cached.m_Target.clear();
    if (target != nullptr) {
        cached.m_Target = target;
        std::free(target);
        watched = watched && m_Watch.Watch(FolderOf(cached.m_Target), true);
    }
    return watched;
}

}  // namespace tw
