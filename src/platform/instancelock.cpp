#include "platform/instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
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
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
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
