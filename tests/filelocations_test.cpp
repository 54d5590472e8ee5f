// Where the panel keeps its files: beside itself in a build tree, in the XDG folder once installed,
// never in a folder other users may write.
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/FileLocations.h"
#include "tests/support/TestFiles.h"

namespace {

TEST(FileLocations, FilesStayBesideAWritableBuildTreeElseGoToTheXdgFolder)
{
    const struct { const char *exeDir; bool writable; const char *xdg, *home, *expected; } cases[] = {
        {"/home/op/tarniks/build", true, "/home/op/.cfg", "/home/op", "/home/op/tarniks/build/"},
        // Names that only begin like a system prefix, or hold one further down, are not one.
        {"/usrlocal/build/", true, "", "/root", "/usrlocal/build/"},
        {"/optical/build/", true, "", "/root", "/optical/build/"},
        {"/home/op/usr/src/build/", true, "", "/home/op", "/home/op/usr/src/build/"},
        // Writable, as every folder is for root, yet installed: never beside the executable.
        {"/usr/bin/", true, "/root/.config", "/root", "/root/.config/TarnikS/"},
        {"/opt/tarniks/bin/", true, "", "/home/op", "/home/op/.config/TarnikS/"},
        {"/usr", true, "", "/root", "/root/.config/TarnikS/"},
        // The package unpacked into a scratch root, or a staging folder, is installed all the same.
        {"/tmp/root/usr/bin/", true, "/tmp/x", "/root", "/tmp/x/TarnikS/"},
        {"/srv/stage/usr/local/bin", true, "", "/root", "/root/.config/TarnikS/"},
        // A build tree the user may not write to; an executable whose path could not be read.
        {"/srv/shared/build/", false, "/x/cfg/", "/home/op", "/x/cfg/TarnikS/"},
        {"", true, "", "/home/op", "/home/op/.config/TarnikS/"},
        // A relative XDG_CONFIG_HOME is ignored; then the home folder decides, and without one no
        // shared folder does: a folder of this user's alone is found later.
        {"/usr/bin/", true, "relative/cfg", "/home/op/", "/home/op/.config/TarnikS/"},
        {"/usr/bin/", true, "", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::DataDirFor(c.exeDir, c.writable, c.xdg, c.home), c.expected) << c.exeDir << " " << c.xdg;
}

TEST(FileLocations, NoFolderOtherUsersMayWriteIsEverUsed)
{
    CTempDir tmp;   // stands in for /tmp
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 01777), 0);
    EXPECT_FALSE(platform::MayKeepFilesIn(tmp.Path()));   // an executable copied there
    const std::string name = tmp.File("TarnikS-" + std::to_string(::geteuid()));
    ASSERT_EQ(::mkdir(tmp.File("ours").c_str(), 0700), 0);
    const std::vector<std::pair<const char*, std::function<void()>>> plants = {
        {"nothing yet", [] {}},
        {"ours from an earlier run", [] {}},
        {"a folder others may write", [&] { ::chmod(name.c_str(), 0777); }},
        {"a link to a folder of ours", [&] { ::rmdir(name.c_str()), ::symlink(tmp.File("ours").c_str(), name.c_str()); }},
        {"another user's", [&] { ::unlink(name.c_str()), ::mkdir(name.c_str(), 0700), ::chown(name.c_str(), 65534, 65534); }},
    };
    for (size_t i = 0; i < plants.size(); ++i) {
        SCOPED_TRACE(plants[i].first);
        plants[i].second();
        const std::string dir = platform::PrivateDirIn(tmp.Path());
        struct stat st {};
        EXPECT_EQ(dir == name + "/", i < 2 || (i == 4 && ::geteuid() != 0));   // only root can give a folder away
        EXPECT_TRUE(::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700);
    }
}

// The test programs live in a build tree: their files go beside them. Installed and without a
// home folder, the password database's home decides.
TEST(FileLocations, ThisProcessKeepsItsFilesBesideItAndAnInstalledOneWithoutHomeInThatOfThePasswordDatabase)
{
    const std::string exe = platform::ExecutablePath();
    const std::string exeDir = exe.substr(0, exe.rfind('/') + 1);
    EXPECT_EQ(platform::DataDir(), exeDir);
    EXPECT_EQ(platform::PortsDir(), exeDir + "ports/");
    // In a child, so that the environment here stays as it is; nobody's home cannot be created.
    const int wrong = AsOrdinaryUser({}, [] {
        ::unsetenv("HOME");
        ::unsetenv("XDG_CONFIG_HOME");
        const passwd* entry = ::getpwuid(::geteuid());
        return entry && platform::DecideDataDir("/usr/bin/") == std::string(entry->pw_dir) + "/.config/TarnikS/" ? 0 : 1;
    });
    EXPECT_EQ(wrong, 0);
}

} // namespace
