// A system-wide named lock for "only one process does this": an exclusive flock on the file
// <name>.lock in $XDG_RUNTIME_DIR (else in a folder of the user's own under /tmp), held until
// released or the process ends. The file exists while the lock is held: Release removes it (a
// crashed holder's file stays and is simply locked again). OV Calc uses it for
// "OVCalcMutex-<suffix>" (one instance) and "OVCalcCOMMutex" (one automation server).
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
    // The lock named name in folder (empty: DefaultFolder(), made private first when it is
    // the fallback under /tmp). Takes nothing yet.
    explicit TInstanceLock(std::string_view name, std::string folder = {});
    // Releases the lock if held.
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Tries to take the lock, without waiting. Held again: ilAcquired. The file is
    // opened close-on-exec, so programs started by this one never inherit the lock, and
    // never through a symbolic link (ilFailed), so nobody can point it at another file.
    TInstanceLockResult TryAcquire();
    // Removes the lock file and lets the lock go; nothing when not held.
    void Release();
    bool Held() const { return fd_ >= 0; }

    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

    // $XDG_RUNTIME_DIR when set and not empty, else /tmp/ovcalc-<user id>: a fixed name in a
    // folder everyone can write to would let another user hold or plant the lock files.
    static std::string DefaultFolder();

    // Makes folder a folder of this user's alone, as the runtime folder is: created with mode
    // 0700 if missing, else it must be a real folder (no link) owned by this user, and is
    // narrowed to 0700. False, with why, when it cannot be made or belongs to someone else.
    static bool MakePrivateFolder(const std::string& folder, std::string& why);

  private:
    std::string folder_;
    bool privateFolder_ = false;  // the fallback folder: checked before every open
    std::string path_;
    std::string error_;
    int fd_ = -1;
};

}  // namespace ov
