// The named lock as an exclusive, non-waiting flock on a file.
#include "suite/dbus/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ov {

TInstanceLock::TInstanceLock(std::string_view name, std::string folder) {
    if (folder.empty()) folder = DefaultFolder();
    path_ = folder + "/" + std::string(name) + ".lock";
}

TInstanceLock::~TInstanceLock() { Release(); }

std::string TInstanceLock::DefaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return runtime;
    return "/tmp";
}

TInstanceLockResult TInstanceLock::TryAcquire() {
    if (fd_ >= 0) return ilAcquired;
    error_.clear();
    // The file stays: removing it while another process opens it would let two holders
    // lock two different files of the same name.
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = "cannot open " + path_ + ": " + std::strerror(errno);
        return ilFailed;
    }
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return ilHeldElsewhere;
        error_ = "cannot lock " + path_ + ": " + std::strerror(err);
        return ilFailed;
    }
    fd_ = fd;
    return ilAcquired;
}

void TInstanceLock::Release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace ov
