// Tests of the named instance lock: one holder at a time, release hands it on, another
// process sees it held and a started program does not inherit it, the lock file exists only
// while held (also under holders racing for it), and the folder rule.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "bus/InstanceLock.h"

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

TEST(InstanceLock, TheFileExistsOnlyWhileTheLockIsHeld) {
    ScratchFolder folder;
    const std::filesystem::path file = folder / "OVCalcMutex-z.lock";
    {
        TInstanceLock first("OVCalcMutex-z", folder.Path().string());
        TInstanceLock second("OVCalcMutex-z", folder.Path().string());
        EXPECT_FALSE(std::filesystem::exists(file));

        ASSERT_EQ(first.TryAcquire(), ilAcquired);
        EXPECT_TRUE(std::filesystem::exists(file));
        EXPECT_EQ(second.TryAcquire(), ilHeldElsewhere);
        EXPECT_TRUE(std::filesystem::exists(file));  // a refused try leaves the holder's file

        first.Release();
        EXPECT_FALSE(std::filesystem::exists(file));
        first.Release();  // not held: nothing happens
        EXPECT_FALSE(std::filesystem::exists(file));

        // The next holder locks a file of its own under the path, and another process sees
        // that one held.
        ASSERT_EQ(second.TryAcquire(), ilAcquired);
        EXPECT_TRUE(std::filesystem::exists(file));
        EXPECT_EQ(first.TryAcquire(), ilHeldElsewhere);
        EXPECT_EQ(LockFromOtherProcess(second.Path()), 3);
    }
    // Destroying the holder releases it, file and all.
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(InstanceLock, AFileLeftByAHolderThatDiedIsTakenOver) {
    ScratchFolder folder;
    const std::filesystem::path file = folder / "OVCalcCOMMutex.lock";
    WriteFileText(file, "");  // as a killed holder leaves it: there, but no longer locked
    TInstanceLock lock("OVCalcCOMMutex", folder.Path().string());
    ASSERT_EQ(lock.TryAcquire(), ilAcquired);
    lock.Release();
    EXPECT_FALSE(std::filesystem::exists(file));
}

// Holders that take and let go of the same lock as fast as they can, each through its own
// TInstanceLock (its own open file description, so flock sets them against each other as it
// does processes). Those that are refused try again at once, so a releaser often removes the
// file while another is between its open and its flock: that one must not count itself a
// holder beside the one that creates and locks the next file.
TEST(InstanceLock, RacingHoldersNeverHoldItTogether) {
    ScratchFolder folder;
    constexpr int Threads = 4;
    constexpr int Rounds = 100;  // times each thread takes the lock
    std::atomic<int> holders{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&] {
            TInstanceLock lock("OVCalcMutex-race", folder.Path().string());
            for (int round = 0; round < Rounds; ++round) {
                TInstanceLockResult result;
                while ((result = lock.TryAcquire()) == ilHeldElsewhere) {
                }
                if (result != ilAcquired) {
                    ++failures;
                    continue;
                }
                if (holders.fetch_add(1) != 0) ++overlaps;
                std::this_thread::yield();
                holders.fetch_sub(1);
                lock.Release();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "OVCalcMutex-race.lock"));
}

TEST(InstanceLock, AFolderThatCannotHoldTheFileFailsWithAReason) {
    TInstanceLock lock("OVCalcCOMMutex", "/nonexistent-folder/sub");
    EXPECT_EQ(lock.TryAcquire(), ilFailed);
    EXPECT_FALSE(lock.Held());
    EXPECT_NE(lock.Error().find("/nonexistent-folder/sub/OVCalcCOMMutex.lock"), std::string::npos)
        << lock.Error();
}

// Restores XDG_RUNTIME_DIR as it was when the scope ends.
class TRuntimeDirScope {
  public:
    TRuntimeDirScope() {
        if (const char* saved = std::getenv("XDG_RUNTIME_DIR")) old_ = saved;
    }
    ~TRuntimeDirScope() {
        if (old_)
            ::setenv("XDG_RUNTIME_DIR", old_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

  private:
    std::optional<std::string> old_;
};

TEST(InstanceLock, DefaultFolderIsTheRuntimeFolderElseAFolderOfTheUsersOwn) {
    TRuntimeDirScope scope;
    const std::string own = "/tmp/ovcalc-" + std::to_string(::geteuid());
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(TInstanceLock::DefaultFolder(), "/run/user/4242");
    EXPECT_EQ(TInstanceLock("OVCalcCOMMutex").Path(), "/run/user/4242/OVCalcCOMMutex.lock");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(TInstanceLock::DefaultFolder(), own);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TInstanceLock::DefaultFolder(), own);

    // Taking a lock there makes the folder (mode 0700) when it is missing. The folder stays,
    // as a runtime folder does: other programs of this user may be using it meanwhile.
    {
        TInstanceLock lock("OVCalcMutex-fallback-test");
        EXPECT_EQ(lock.Path(), own + "/OVCalcMutex-fallback-test.lock");
        ASSERT_EQ(lock.TryAcquire(), ilAcquired) << lock.Error();
        struct stat st {};
        ASSERT_EQ(::lstat(own.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, ::geteuid());
    }
}

TEST(InstanceLock, APrivateFolderIsTheUsersAloneOrRefused) {
    ScratchFolder scratch;
    std::string why;
    const auto mode = [](const std::filesystem::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000u;
    };

    const auto made = scratch / "made";
    EXPECT_TRUE(TInstanceLock::MakePrivateFolder(made.string(), why)) << why;
    EXPECT_EQ(mode(made), 0700u);
    EXPECT_TRUE(TInstanceLock::MakePrivateFolder(made.string(), why)) << why;  // again: fine

    const auto open = scratch / "open";
    std::filesystem::create_directory(open);
    ::chmod(open.c_str(), 0777);
    EXPECT_TRUE(TInstanceLock::MakePrivateFolder(open.string(), why)) << why;
    EXPECT_EQ(mode(open), 0700u);  // narrowed

    struct TRefused {
        std::filesystem::path Path;
        std::string Says;
    };
    std::vector<TRefused> refused{
        {scratch / "link", "is not a folder"},  // a link to a folder of this user's
        {scratch / "file", "is not a folder"},
        {scratch / "missing" / "sub", "cannot create"},
    };
    std::filesystem::create_directory_symlink(made, scratch / "link");
    WriteFileText(scratch / "file", "x");
    if (::geteuid() == 0) {
        // Only root can give a folder away: one planted by another user.
        const auto foreign = scratch / "foreign";
        std::filesystem::create_directory(foreign);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        ::chmod(foreign.c_str(), 0700);
        refused.push_back({foreign, "belongs to another user (user id 65534)"});
    }
    for (const TRefused& r : refused) {
        SCOPED_TRACE(r.Path.string());
        why.clear();
        EXPECT_FALSE(TInstanceLock::MakePrivateFolder(r.Path.string(), why));
        EXPECT_NE(why.find(r.Says), std::string::npos) << why;
        EXPECT_NE(why.find(r.Path.string()), std::string::npos) << why;
    }
    EXPECT_EQ(mode(made), 0700u);  // the link's target untouched
}

TEST(InstanceLock, ALinkPlantedAsTheLockFileIsNeverFollowed) {
    ScratchFolder folder;
    const auto target = folder / "someone-elses-file";
    std::filesystem::create_symlink(target, folder / "OVCalcCOMMutex.lock");
    TInstanceLock lock("OVCalcCOMMutex", folder.Path().string());
    EXPECT_EQ(lock.TryAcquire(), ilFailed);
    EXPECT_FALSE(lock.Held());
    EXPECT_NE(lock.Error().find("it is a symbolic link"), std::string::npos) << lock.Error();
    EXPECT_FALSE(std::filesystem::exists(target));  // not created through the link
}

}  // namespace
}  // namespace ov::test
