// The named lock as an exclusive, non-waiting flock on a file that exists only while held.
#include "bus/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ov {

namespace {

// How often TryAcquire starts again when a releasing holder removed the file between its
// open and its flock. Each retry means another holder came and went meanwhile, so a few
// dozen are far more than a real race needs.
constexpr int MaxOpenAttempts = 64;

}  // namespace

TInstanceLock::TInstanceLock(std::string_view name, std::string folder) {
    if (folder.empty()) {
        folder = DefaultFolder();
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        privateFolder_ = runtime == nullptr || *runtime == '\0';
    }
    folder_ = folder;
    path_ = folder + "/" + std::string(name) + ".lock";
}

TInstanceLock::~TInstanceLock() {
    Release();
}

std::string TInstanceLock::DefaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return runtime;
    return "/tmp/ovcalc-" + std::to_string(::geteuid());
}

bool TInstanceLock::MakePrivateFolder(const std::string& folder, std::string& why) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "cannot create " + folder + ": " + std::strerror(errno);
        return false;
    }
    // lstat: a link in its place, even to a folder of this user's, is somebody's plant.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        why = "cannot examine " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        why = folder + " is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        why = folder + " belongs to another user (user id " + std::to_string(st.st_uid) + ")";
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        why = "cannot make " + folder + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

TInstanceLockResult TInstanceLock::TryAcquire() {
    if (fd_ >= 0) return ilAcquired;
    error_.clear();
    if (privateFolder_) {
        std::string why;
        if (!MakePrivateFolder(folder_, why)) {
            error_ = "cannot lock " + path_ + ": " + why;
            return ilFailed;
        }
    }
    // A holder removes the file while still holding it. Whoever opened the old file just
    // before that removal then locks a file no longer under the path, while a newcomer
    // creates and locks a new one: two holders. So the lock counts only when the path still
    // names the very file locked; otherwise it is let go and taken from a fresh open.
    for (int attempt = 0; attempt < MaxOpenAttempts; ++attempt) {
        int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            error_ = "cannot open " + path_ + ": " +
                     (errno == ELOOP ? std::string("it is a symbolic link, not a lock file")
                                     : std::string(std::strerror(errno)));
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
        struct stat locked {};
        struct stat named {};
        if (::fstat(fd, &locked) != 0) {
            int err = errno;
            ::close(fd);
            error_ = "cannot examine " + path_ + ": " + std::strerror(err);
            return ilFailed;
        }
        if (::lstat(path_.c_str(), &named) == 0 && named.st_dev == locked.st_dev &&
            named.st_ino == locked.st_ino) {
            fd_ = fd;
            return ilAcquired;
        }
        // Removed (or replaced) by a releasing holder after our open: not the lock.
        ::close(fd);
    }
    error_ = "cannot lock " + path_ + ": it is removed again each time it is opened";
    return ilFailed;
}

void TInstanceLock::Release() {
    if (fd_ < 0) return;
    // Removed while still locked, so that nobody can lock the file after this and still
    // find it under the path.
    ::unlink(path_.c_str());
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace ov
