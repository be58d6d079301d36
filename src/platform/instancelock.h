// One running gateway per application folder: an exclusive flock on
// "tellwick.lock" in that folder, held for the life of the process. The
// system drops the lock when the process ends, however it ends, so a stale
// file never blocks a start. The file holds the owner's process id.
#pragma once

#include <string>

namespace tw {

class InstanceLock {
  public:
    enum class Result { Acquired, HeldByOther, Failed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // folder ends in "/". Failed (with a readable error) when the lock file
    // cannot be opened at all.
    Result Acquire(const std::string& folder, std::string& error);

  private:
    int m_Descriptor = -1;
};

}  // namespace tw
