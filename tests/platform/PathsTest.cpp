// The program folder and path helpers of this platform.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Paths.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

TEST(PathsTest, ProgramDirFollowsMv32HomeAndEndsInASeparator) {
    TempDir dir;
    const std::string home = dir.file("neu/programm");
    ::setenv("MV32_HOME", home.c_str(), 1);
    EXPECT_EQ(platform::programDir(), home + "/");
    EXPECT_TRUE(std::filesystem::is_directory(home));
    ::unsetenv("MV32_HOME");
    const std::string fallback = platform::programDir();
    EXPECT_EQ(fallback.back(), '/');

    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(platform::settingsFilePath(), dir.path() + "/mavrel32/settings.ini");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(PathsTest, NamesAndFolders) {
    EXPECT_EQ(platform::fileNameOf("/a/b/kat.db"), "kat.db");
    EXPECT_EQ(platform::folderOf("/a/b/kat.db"), "/a/b/");
    EXPECT_EQ(platform::fileNameOf("kat.db"), "kat.db");
    EXPECT_EQ(platform::folderOf("kat.db"), "");
    EXPECT_EQ(platform::withTrailingSeparator("/tmp"), "/tmp/");
    EXPECT_EQ(platform::withTrailingSeparator("/tmp/"), "/tmp/");
    EXPECT_EQ(platform::withTrailingSeparator(""), "/");
}

}  // namespace
}  // namespace mv32::test
