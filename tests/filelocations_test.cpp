// Where the panel keeps its files: beside itself in a build tree, in the XDG folder once installed.
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/FileLocations.h"

namespace {

using platform::DataDirFor;
using platform::IsSystemDir;

TEST(FileLocations, BuildTreeKeepsItsFilesBesideTheExecutable)
{
    EXPECT_EQ(DataDirFor("/work/main/build/", true, "/home/op/.cfg", "/home/op"), "/work/main/build/");
    EXPECT_EQ(DataDirFor("/home/op/tarniks/build", true, "", "/home/op"), "/home/op/tarniks/build/");
    // Names that only begin like a system prefix are not one.
    EXPECT_EQ(DataDirFor("/usrlocal/build/", true, "", "/root"), "/usrlocal/build/");
    EXPECT_EQ(DataDirFor("/home/op/usr/src/build/", true, "", "/home/op"), "/home/op/usr/src/build/");
    EXPECT_EQ(DataDirFor("/home/op/usr/binaries/", true, "", "/home/op"), "/home/op/usr/binaries/");
}

TEST(FileLocations, InstalledOrReadOnlyFolderSendsTheFilesToXdg)
{
    // Writable, as every folder is for root, yet installed: never beside the executable.
    EXPECT_EQ(DataDirFor("/usr/bin/", true, "/root/.config", "/root"), "/root/.config/TarnikS/");
    EXPECT_EQ(DataDirFor("/usr/local/bin/", true, "", "/root"), "/root/.config/TarnikS/");
    EXPECT_EQ(DataDirFor("/opt/tarniks/bin/", true, "", "/home/op"), "/home/op/.config/TarnikS/");
    EXPECT_EQ(DataDirFor("/usr", true, "", "/root"), "/root/.config/TarnikS/");
    // The package unpacked into a scratch root, or a staging folder, is installed all the same.
    EXPECT_EQ(DataDirFor("/tmp/root/usr/bin/", true, "/tmp/x", "/root"), "/tmp/x/TarnikS/");
    EXPECT_EQ(DataDirFor("/srv/stage/usr/local/bin", true, "", "/root"), "/root/.config/TarnikS/");
    // A build tree the user may not write to.
    EXPECT_EQ(DataDirFor("/srv/shared/build/", false, "/x/cfg/", "/home/op"), "/x/cfg/TarnikS/");
    // The executable's path could not be read.
    EXPECT_EQ(DataDirFor("", true, "", "/home/op"), "/home/op/.config/TarnikS/");

    EXPECT_TRUE(IsSystemDir("/usr/bin/"));
    EXPECT_TRUE(IsSystemDir("/opt/x/"));
    EXPECT_FALSE(IsSystemDir("/work/main/build/"));
    EXPECT_FALSE(IsSystemDir("/optical/"));
    EXPECT_FALSE(IsSystemDir("/work/usr/bin/build/"));
}

TEST(FileLocations, XdgFolderFollowsTheEnvironment)
{
    EXPECT_EQ(DataDirFor("/usr/bin/", true, "/tmp/xdg", "/home/op"), "/tmp/xdg/TarnikS/");
    EXPECT_EQ(DataDirFor("/usr/bin/", true, "/tmp/xdg/", "/home/op"), "/tmp/xdg/TarnikS/");
    // A relative XDG_CONFIG_HOME is invalid and ignored; then HOME decides, and without it /tmp.
    EXPECT_EQ(DataDirFor("/usr/bin/", true, "relative/cfg", "/home/op/"), "/home/op/.config/TarnikS/");
    EXPECT_EQ(DataDirFor("/usr/bin/", true, "", ""), "/tmp/TarnikS/");
    EXPECT_EQ(DataDirFor("/usr/bin/", true, "relative", ""), "/tmp/TarnikS/");
}

TEST(FileLocations, DataDirAppliesTheRuleToThisProcess)
{
    const std::string exe = platform::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    const std::string exeDir = exe.substr(0, exe.rfind('/') + 1);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string expected =
        DataDirFor(exeDir, ::access(exeDir.c_str(), W_OK) == 0, xdg ? xdg : "", home ? home : "");
    EXPECT_EQ(platform::DataDir(), expected);
    EXPECT_EQ(platform::PortsDir(), expected + "ports/");
    if (!IsSystemDir(exeDir) && ::access(exeDir.c_str(), W_OK) == 0) {
        EXPECT_EQ(platform::DataDir(), exeDir) << "a build tree keeps its files beside the executable";
    }
}

} // namespace
