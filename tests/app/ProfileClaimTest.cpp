#include "app/ProfileClaim.h"

#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

DataFs::Folders folders(const fs::path& profile, const fs::path& local) {
    fs::create_directories(profile);
    fs::create_directories(local);
    DataFs::Folders f;
    f.profile = wstr::fromUtf8(profile.c_str());
    f.local = wstr::fromUtf8(local.c_str());
    return f;
}

// One instance holds a profile and its local folder; a start that shares
// either finds the holder, and a start that is refused holds nothing.
TEST(ProfileClaim, OneHolderPerProfileOrLocalFolderAndOthersFindIt) {
    qvtest::TempDir dir;
    const auto mine = folders(dir.path() / "profile", dir.path() / "local");
    EXPECT_FALSE(ProfileClaim::holder(mine)) << "none runs";

    ProfileClaim first;
    ASSERT_EQ(first.claim(mine, "/run/user/7/socket"), ProfileClaim::Claimed);
    const auto holder = ProfileClaim::holder(mine);
    ASSERT_TRUE(holder);
    EXPECT_EQ(holder->pid, getpid());
    EXPECT_EQ(holder->socketPath, "/run/user/7/socket");
    EXPECT_EQ(holder->lockPath, (dir.path() / "profile/Quorvalent.lock").string());

    ProfileClaim second;
    EXPECT_EQ(second.claim(mine, "/elsewhere"), ProfileClaim::HeldByOther);
    EXPECT_EQ(second.failedPath(), (dir.path() / "profile/Quorvalent.lock").string());

    // Another profile over the same local folder: its profile lock is let go.
    const auto sharing = folders(dir.path() / "other", dir.path() / "local");
    ProfileClaim third;
    EXPECT_EQ(third.claim(sharing, "/elsewhere"), ProfileClaim::HeldByOther);
    EXPECT_EQ(third.failedPath(), (dir.path() / "local/Quorvalent.lock").string());
    EXPECT_EQ(Platform::InstanceLock::heldText((dir.path() / "other/Quorvalent.lock").string()),
              std::nullopt);
    const auto found = ProfileClaim::holder(sharing);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->socketPath, "/run/user/7/socket");

    ProfileClaim missing;
    DataFs::Folders gone;
    gone.profile = wstr::fromUtf8((dir.path() / "no/such").c_str());
    gone.local = gone.profile;
    EXPECT_EQ(missing.claim(gone, "/s"), ProfileClaim::Failed);
}

} // namespace
