#include "base/logfolder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tw {
namespace {

constexpr int kAppendFlags =
    O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr mode_t kFileMode = 0666;

// name below folder, refusing a symbolic link on the way; where the system
// has no openat2, the folder part is opened first without following a link.
int OpenBeneath(int folder, const std::string& directory, const std::string& name) {
    static bool noOpenat2 = false;
    if (!noOpenat2) {
        open_how how{};
        how.flags = kAppendFlags;
        how.mode = kFileMode;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const std::string path = directory + "/" + name;
        const auto file =
            static_cast<int>(syscall(SYS_openat2, folder, path.c_str(), &how, sizeof how));
        if (file >= 0 || errno != ENOSYS) {
            return file;
        }
        noOpenat2 = true;
    }
    const int inner =
        openat(folder, directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inner < 0) {
        return -1;
    }
    const int file = openat(inner, name.c_str(), kAppendFlags, kFileMode);
    close(inner);
    return file;
}

// -1 unless file is a regular file (it is closed then).
int RegularOnly(int file) {
    struct stat info {};
    if (file >= 0 && (fstat(file, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(file);
        return -1;
    }
    return file;
}

// One write of the whole text; a short write is cut back to where it began.
bool WriteWhole(int file, const std::string& text) {
    ssize_t written = 0;
    do {
        written = write(file, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(text.size())) {
        return true;
    }
    if (written > 0) {
        const off_t end = lseek(file, 0, SEEK_CUR);
        // When even that fails the file keeps the fragment; nothing more
        // can be done about it here.
        const bool cut = end >= written && ftruncate(file, end - written) == 0;
        static_cast<void>(cut);
    }
    return false;
}

// Files kept open at once; more are a sign the names change (a new day) and
// all are let go.
constexpr size_t kMostOpenFiles = 4;

bool WriteAndClose(int file, const std::string& text) {
    if (file < 0) {
        return false;
    }
    const bool whole = WriteWhole(file, text);
    close(file);
    return whole;
}

}  // namespace

bool AppendToRegularFile(const std::string& path, const std::string& text) {
    return WriteAndClose(RegularOnly(open(path.c_str(), kAppendFlags, kFileMode)), text);
}

LogFolder::LogFolder(const std::string& appFolder, const std::string& name)
    : m_AppFolderPath(appFolder), m_Name(name) {
    m_AppFolder = open(appFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (m_AppFolder < 0) {
        m_Error = appFolder + ": " + std::strerror(errno);
    } else if (fstatat(m_AppFolder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        m_Error = appFolder + name + ": " + std::strerror(errno);
    } else if (!S_ISDIR(info.st_mode)) {
        m_Error = appFolder + name + ": is a symbolic link or no folder";
    }
}

LogFolder::~LogFolder() {
    Forget();
    if (m_AppFolder >= 0) {
        close(m_AppFolder);
    }
}

bool LogFolder::Append(const std::string& fileName, const std::string& text) {
    if (m_AppFolder < 0) {
        return false;
    }
    if (m_KeepOpen) {
        return AppendKeepingOpen(fileName, text);
    }
    return WriteAndClose(RegularOnly(OpenBeneath(m_AppFolder, m_Name, fileName)), text);
}

bool LogFolder::AppendKeepingOpen(const std::string& fileName, const std::string& text) {
    auto open = std::find_if(m_Open.begin(), m_Open.end(),
                             [&](const OpenFile& file) { return file.m_Name == fileName; });
    if (open != m_Open.end() && WriteWhole(open->m_Descriptor, text)) {
        return true;
    }
    if (open != m_Open.end()) {
        // Failed on the kept file: once more on the file as it is now.
        close(open->m_Descriptor);
        m_Open.erase(open);
    }
    if (m_Open.size() >= kMostOpenFiles) {
        Forget();
    }
    const int file = RegularOnly(OpenBeneath(m_AppFolder, m_Name, fileName));
    if (file < 0) {
        return false;
    }
    m_Open.push_back(OpenFile{fileName, file});
    return WriteWhole(file, text);
}

void LogFolder::KeepFilesOpen(bool keep) {
    if (!keep) {
        Forget();
    }
    m_KeepOpen = keep;
}

void LogFolder::Forget() {
    for (const OpenFile& file : m_Open) {
        close(file.m_Descriptor);
    }
    m_Open.clear();
}

}  // namespace tw
