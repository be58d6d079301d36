#include "platform/filewatch.h"

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tw {
namespace {

constexpr uint32_t kEntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kContentEvents = IN_MODIFY | IN_CLOSE_WRITE;

// File systems whose files other machines change without the local kernel
// seeing it: nfs, smb, cifs, smb2, fuse.
bool SeesAllChanges(const std::string& folder) {
    struct statfs info {};
    if (statfs(folder.c_str(), &info) != 0) {
        return false;
    }
    switch (static_cast<uint32_t>(info.f_type)) {
        case 0x6969U:
        case 0x517BU:
        case 0xFF534D42U:
        case 0xFE534D42U:
        case 0x65735546U:
            return false;
        default:
            return true;
    }
}

}  // namespace

FileWatch::FileWatch() : m_Descriptor(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FileWatch::~FileWatch() {
    if (m_Descriptor >= 0) {
        close(m_Descriptor);
    }
}

bool FileWatch::Watch(const std::string& folder, bool contents) {
    if (IsWatched(folder)) {
        return true;
    }
    if (m_Descriptor < 0 || !SeesAllChanges(folder)) {
        return false;
    }
    const int watch = inotify_add_watch(m_Descriptor, folder.c_str(),
                                        kEntryEvents | (contents ? kContentEvents : 0U));
    if (watch < 0) {
        return false;
    }
    std::vector<std::string>& names = m_Folders[watch];
    if (std::find(names.begin(), names.end(), folder) == names.end()) {
        names.push_back(folder);
    }
    return true;
}

bool FileWatch::IsWatched(const std::string& folder) const {
    for (const auto& [watch, names] : m_Folders) {
        if (std::find(names.begin(), names.end(), folder) != names.end()) {
            return true;
        }
    }
    return false;
}

std::vector<FileWatch::Change> FileWatch::Drain() {
    std::vector<Change> changes;
    if (m_Descriptor < 0) {
        return changes;
    }
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t got = read(m_Descriptor, buffer, sizeof buffer);
        if (got <= 0) {
            break;  // EAGAIN: nothing more
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0U) {
                changes.push_back(Change{});
                continue;
            }
            const auto folder = m_Folders.find(event->wd);
            if (folder == m_Folders.end()) {
                continue;
            }
            const bool gone = (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0U;
            for (const std::string& name : folder->second) {
                changes.push_back(Change{name, event->len > 0 ? event->name : ""});
            }
            if ((event->mask & IN_IGNORED) != 0U) {
                m_Folders.erase(folder);
            } else if (gone) {
                inotify_rm_watch(m_Descriptor, event->wd);
            }
        }
    }
    return changes;
}

}  // namespace tw
