// A system-wide named lock for "only one process does this": an exclusive flock on the file
// <name>.lock in $XDG_RUNTIME_DIR (else /tmp), held until released or the process ends. The
// file exists while the lock is held: Release removes it (a crashed holder's file stays and is
// simply locked again). OV Calc uses it for "OVCalcMutex-<suffix>" (one instance) and
// "OVCalcCOMMutex" (one automation server).
#pragma once

#include <string>
#include <string_view>

namespace ov {

enum TInstanceLockResult {
    ilAcquired,       // this process holds the lock now
    ilHeldElsewhere,  // another process (or another TInstanceLock) holds it
    ilFailed          // the lock file could not be opened or locked; Error() says why
};

class TInstanceLock {
  public:
    // The lock named name in folder (empty: DefaultFolder()). Takes nothing yet.
    explicit TInstanceLock(std::string_view name, std::string folder = {});
    // Releases the lock if held.
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Tries to take the lock, without waiting. Held again: ilAcquired. The file is
    // opened close-on-exec, so programs started by this one never inherit the lock.
    TInstanceLockResult TryAcquire();
    // Removes the lock file and lets the lock go; nothing when not held.
    void Release();
    bool Held() const { return fd_ >= 0; }

    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

    // $XDG_RUNTIME_DIR when set and not empty, else /tmp.
    static std::string DefaultFolder();

  private:
    std::string path_;
    std::string error_;
    int fd_ = -1;
};

}  // namespace ov
