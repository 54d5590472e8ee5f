// The profile file: what lands on disk and what reads back.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/Profile.h"
#include "tests/support/TestFiles.h"

namespace {

using profile::EWriteResult;
using profile::ReadString;

bool Store(const std::string& file, std::string_view section, std::string_view key, std::string_view value)
{
    return profile::WriteString(file, section, key, value) == EWriteResult::Stored;
}

class Profile : public ::testing::Test {
protected:
    std::string File() const { return m_dir.File("System.cfg"); }
    CTempDir m_dir;
};

int StoreAsCode(const std::string& file) { return static_cast<int>(profile::WriteString(file, "S", "K", "2")); }

bool IsLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST_F(Profile, WritesCreateWhatIsMissingAndReadBack)
{
    EXPECT_EQ(ReadString(File(), "DlgStatus", "OnTop"), "");
    EXPECT_TRUE(Store(File(), "DlgStatus", "OnTop", "1"));
    EXPECT_TRUE(Store(File(), "DlgStatus", "ExpanderDlg", "0"));
    EXPECT_TRUE(Store(File(), "Park_Pos", "X", "12.35"));
    EXPECT_TRUE(Store(File(), "DlgStatus", "OnTop", "0"));
    EXPECT_EQ(ReadWholeFile(File()), "[DlgStatus]\nOnTop=0\nExpanderDlg=0\n[Park_Pos]\nX=12.35\n");
    EXPECT_EQ(ReadString(File(), "Park_Pos", "X"), "12.35");
    EXPECT_EQ(ReadString(File(), "Park_Pos", "Y", "dflt"), "dflt");
}

TEST_F(Profile, LinesItNeverWroteAreKeptByteForByte)
{
    const std::string original =
        "; settings of the panel\r\n"
        "[Other]\r\n"
        "  name = some value  \r\n"
        "\r\n"
        "[dlgstatus]\r\n"
        "# a comment inside\r\n"
        "  ONTOP =  1 \r\n"
        "\r\n"
        "[Tail]\r\n"
        "k=v";
    WriteWholeFile(File(), original);
    EXPECT_EQ(ReadString(File(), "DLGSTATUS", "onTop"), "1");
    EXPECT_EQ(ReadString(File(), "other", "NAME"), "some value");
    ASSERT_TRUE(Store(File(), "DlgStatus", "OnTop", "0"));
    ASSERT_TRUE(Store(File(), "DlgStatus", "ExpanderDlg", "1"));
    ASSERT_TRUE(Store(File(), "Tail", "more", "x"));
    EXPECT_EQ(ReadWholeFile(File()),
              "; settings of the panel\r\n"
              "[Other]\r\n"
              "  name = some value  \r\n"
              "\r\n"
              "[dlgstatus]\r\n"
              "# a comment inside\r\n"
              "ONTOP=0\r\n"
              "ExpanderDlg=1\r\n"
              "\r\n"
              "[Tail]\r\n"
              "k=v\r\n"
              "more=x\r\n");
}

TEST_F(Profile, ReadsStopAt255Characters)
{
    const std::string longValue(300, 'a');
    ASSERT_TRUE(Store(File(), "S", "K", longValue));
    EXPECT_EQ(ReadString(File(), "S", "K"), std::string(255, 'a'));
    // Characters, not bytes: a two-byte character is never cut in half.
    std::string wide;
    for (int i = 0; i < 300; ++i)
        wide += "\xC3\xA9";
    ASSERT_TRUE(Store(File(), "S", "W", wide));
    EXPECT_EQ(ReadString(File(), "S", "W"), wide.substr(0, 510));
}

TEST_F(Profile, RewritingTheStoredValueLeavesTheFileAlone)
{
    ASSERT_TRUE(Store(File(), "DlgStatus", "ExpanderDlg", "0"));
    struct stat before {};
    ::stat(File().c_str(), &before);
    ASSERT_TRUE(Store(File(), "dlgstatus", "expanderdlg", "0"));
    struct stat after {};
    ::stat(File().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);   // not replaced by a new file
    ASSERT_TRUE(Store(File(), "DlgStatus", "ExpanderDlg", "1"));
    EXPECT_EQ(ReadString(File(), "DlgStatus", "ExpanderDlg"), "1");
}

TEST_F(Profile, WritesLeaveNoTemporaryFileBehind)
{
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(Store(File(), "S", "K" + std::to_string(i % 3), std::to_string(i)));
    int entries = 0;
    DIR* dir = ::opendir(m_dir.Path().c_str());
    while (dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.')
            ++entries;
    ::closedir(dir);
    EXPECT_EQ(entries, 1);
}

TEST_F(Profile, CorruptAndBinaryFilesAreReadWithoutHarm)
{
    std::string junk = "[S\n=\n[]\n==x\n[S]\nK\n\xff\xfe=\x01\n";
    junk.push_back('\0');
    junk += "\nK=found\n[S";
    WriteWholeFile(File(), junk);
    EXPECT_EQ(ReadString(File(), "S", "K"), "found");
    ASSERT_TRUE(Store(File(), "S", "K", "new"));
    EXPECT_EQ(ReadString(File(), "S", "K"), "new");
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    WriteWholeFile(File(), binary);
    EXPECT_EQ(ReadString(File(), "DlgStatus", "OnTop"), "");
    EXPECT_TRUE(Store(File(), "DlgStatus", "OnTop", "1"));
    EXPECT_EQ(ReadString(File(), "DlgStatus", "OnTop"), "1");
}

TEST_F(Profile, QuotedValuesReadWithoutTheirQuotes)
{
    WriteWholeFile(File(), "[S]\nA=\"x y\"\nB='z'\nC=\"unbalanced\n");
    EXPECT_EQ(ReadString(File(), "S", "A"), "x y");
    EXPECT_EQ(ReadString(File(), "S", "B"), "z");
    EXPECT_EQ(ReadString(File(), "S", "C"), "\"unbalanced");
}

TEST_F(Profile, AReadOnlyFileOrAnUnwritableFolderIsNotChanged)
{
    WriteWholeFile(File(), "[S]\nK=1\n");
    ::chmod(File().c_str(), 0444);
    EXPECT_FALSE(Store(File(), "S", "K", "2"));
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=1\n");
    WriteWholeFile(m_dir.File("plain"), "");
    EXPECT_FALSE(Store(m_dir.File("plain") + "/System.cfg", "S", "K", "2"));
}

TEST_F(Profile, AWriteGoesThroughLinksToTheFileTheyName)
{
    ASSERT_EQ(::mkdir(m_dir.File("real").c_str(), 0755), 0);
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;   // link, target
    } cases[] = {
        {"relative", {{"System.cfg", "real/a.cfg"}}},
        {"absolute", {{"System.cfg", m_dir.File("real/b.cfg")}}},
        {"chain", {{"System.cfg", "mid"}, {"mid", "real/c.cfg"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [link, target] : c.links) {
            ::unlink(m_dir.File(link).c_str());
            ASSERT_EQ(::symlink(target.c_str(), m_dir.File(link).c_str()), 0);
        }
        const std::string real = m_dir.File("real/") + c.links.back().second.substr(c.links.back().second.rfind('/') + 1);
        EXPECT_TRUE(Store(File(), "S", "K", "1"));   // a link to nothing yet creates its file
        EXPECT_TRUE(Store(File(), "S", "L", "2"));
        EXPECT_TRUE(IsLink(File()));
        EXPECT_EQ(ReadWholeFile(real), "[S]\nK=1\nL=2\n");
    }
    // Never a file in place of a device: a copy of /dev/null of our own, where we may make one.
    if (::mknod(m_dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
        ::unlink(File().c_str());
        ASSERT_EQ(::symlink("null", File().c_str()), 0);
        EXPECT_FALSE(Store(File(), "S", "K", "1"));
        struct stat st {};
        EXPECT_TRUE(::stat(m_dir.File("null").c_str(), &st) == 0 && S_ISCHR(st.st_mode));
    }
}

TEST_F(Profile, ARewriteKeepsOwnerAndModeAndNeedsNoWritableFolder)
{
    WriteWholeFile(File(), "[S]\nK=1\n");
    ASSERT_EQ(::chmod(File().c_str(), 0640), 0);
    // A folder the user may not write: the file is rewritten where it is.
    ASSERT_EQ(AsOrdinaryUser({m_dir.Path(), File()}, [&] {
                  ::chmod(m_dir.Path().c_str(), 0555);
                  return StoreAsCode(File());
              }),
              static_cast<int>(EWriteResult::Stored));
    struct stat before {};
    ASSERT_EQ(::stat(File().c_str(), &before), 0);
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=2\n");
    // Root rewriting a user's file leaves it the user's, with its mode.
    ::chmod(m_dir.Path().c_str(), 0755);
    ASSERT_TRUE(Store(File(), "S", "K", "3"));
    struct stat after {};
    ASSERT_EQ(::stat(File().c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=3\n");
}

TEST_F(Profile, AFileThatCannotBeReadIsNeverRewrittenFromEmpty)
{
    const std::string original = "[S]\nK=1\nOther=kept\n";
    WriteWholeFile(File(), original);
    ASSERT_EQ(::chmod(File().c_str(), 0200), 0);
    EXPECT_EQ(AsOrdinaryUser({m_dir.Path(), File()}, [&] { return StoreAsCode(File()); }),
              static_cast<int>(EWriteResult::Unreadable));
    EXPECT_EQ(ReadWholeFile(File()), original);
    // An I/O error part way: reading the process's own memory at address 0 fails with EIO.
    ::unlink(File().c_str());
    ASSERT_EQ(::symlink("/proc/self/mem", File().c_str()), 0);
    EXPECT_EQ(profile::WriteString(File(), "S", "K", "2"), EWriteResult::Unreadable);
    EXPECT_TRUE(IsLink(File()));
}

} // namespace
