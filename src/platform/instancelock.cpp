#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw {

InstanceLock::~InstanceLock() {
    if (m_Descriptor >= 0) {
        close(m_Descriptor);
    }
}

InstanceLock::Result InstanceLock::Acquire(const std::string& folder, std::string& error) {
    if (m_Descriptor >= 0) {
        return Result::Acquired;
    }
    const std::string path = folder + "tellwick.lock";
    // Never through a link or into anything but a regular file: the owner's
    // process id is written into it, as root when run as a service.
    const int descriptor =
        open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat info {};
    if (descriptor < 0 || fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + ": " + (descriptor < 0 ? std::strerror(errno) : "is no regular file");
        if (descriptor >= 0) {
            close(descriptor);
        }
        return Result::Failed;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        close(descriptor);
        if (reason == EWOULDBLOCK) {
            return Result::HeldByOther;
        }
        error = path + ": " + std::strerror(reason);
        return Result::Failed;
    }
    const std::string owner = std::to_string(getpid()) + "\n";
    // The process id only informs the operator; the lock holds without it.
    const bool noted =
        ftruncate(descriptor, 0) == 0 &&
        write(descriptor, owner.data(), owner.size()) == static_cast<ssize_t>(owner.size());
    static_cast<void>(noted);
    m_Descriptor = descriptor;
    return Result::Acquired;
}

}  // namespace tw
