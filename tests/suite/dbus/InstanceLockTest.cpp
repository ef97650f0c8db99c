// Tests of the named instance lock: one holder at a time, release hands it on, another
// process sees it held and a started program does not inherit it, and the folder rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "suite/dbus/InstanceLock.h"

namespace ov::test {
namespace {

// flock(1) in another process: 0 when it could take the lock at once, 3 when it is held.
int LockFromOtherProcess(const std::string& path, const std::string& command = "true") {
    TChildProcess child({"flock", "-n", "-E", "3", path, "sh", "-c", command});
    auto status = child.Wait(std::chrono::seconds(10));
    return status ? *status : -1;
}

TEST(InstanceLock, OneHolderAtATimeUntilReleased) {
    ScratchFolder folder;
    TInstanceLock first("OVCalcCOMMutex", folder.Path().string());
    TInstanceLock second("OVCalcCOMMutex", folder.Path().string());
    TInstanceLock other("OVCalcMutex-x", folder.Path().string());
    EXPECT_EQ(first.Path(), (folder / "OVCalcCOMMutex.lock").string());

    EXPECT_EQ(first.TryAcquire(), ilAcquired);
    EXPECT_EQ(first.TryAcquire(), ilAcquired);  // held again
    EXPECT_EQ(second.TryAcquire(), ilHeldElsewhere);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(other.TryAcquire(), ilAcquired);  // another name is another lock
    EXPECT_EQ(LockFromOtherProcess(first.Path()), 3);

    first.Release();
    EXPECT_FALSE(first.Held());
    EXPECT_EQ(second.TryAcquire(), ilAcquired);
    EXPECT_EQ(first.TryAcquire(), ilHeldElsewhere);
}

TEST(InstanceLock, EndsWithItsHolderAndIsNotInheritedByStartedPrograms) {
    ScratchFolder folder;
    std::string path;
    {
        TInstanceLock lock("OVCalcMutex-y", folder.Path().string());
        ASSERT_EQ(lock.TryAcquire(), ilAcquired);
        path = lock.Path();
        // A program started while the lock is held (as ovsetup is) keeps running after the
        // holder lets go; the lock must not stay with it.
        TChildProcess child({"sleep", "30"});
        lock.Release();
        EXPECT_EQ(LockFromOtherProcess(path), 0);
        ASSERT_EQ(lock.TryAcquire(), ilAcquired);
    }
    EXPECT_EQ(LockFromOtherProcess(path), 0);
}

TEST(InstanceLock, AFolderThatCannotHoldTheFileFailsWithAReason) {
    TInstanceLock lock("OVCalcCOMMutex", "/nonexistent-folder/sub");
    EXPECT_EQ(lock.TryAcquire(), ilFailed);
    EXPECT_FALSE(lock.Held());
    EXPECT_NE(lock.Error().find("/nonexistent-folder/sub/OVCalcCOMMutex.lock"), std::string::npos)
        << lock.Error();
}

TEST(InstanceLock, DefaultFolderIsTheRuntimeFolderElseTmp) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(TInstanceLock::DefaultFolder(), "/run/user/4242");
    EXPECT_EQ(TInstanceLock("OVCalcCOMMutex").Path(), "/run/user/4242/OVCalcCOMMutex.lock");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(TInstanceLock::DefaultFolder(), "/tmp");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TInstanceLock::DefaultFolder(), "/tmp");
    if (old) ::setenv("XDG_RUNTIME_DIR", old->c_str(), 1);
}

}  // namespace
}  // namespace ov::test
