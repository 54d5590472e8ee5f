// The profile file: what lands on disk and what reads back.
#include <dirent.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

#include "platform/Profile.h"
#include "tests/support/TestFiles.h"

namespace {

using profile::EWriteResult;
using profile::ReadString;

// What most tests ask: was the value stored?
bool WriteString(const std::string& file, std::string_view section, std::string_view key, std::string_view value)
{
    return profile::WriteString(file, section, key, value) == EWriteResult::Stored;
}

class Profile : public ::testing::Test {
protected:
    std::string File() const { return m_dir.File("System.cfg"); }
    CTempDir m_dir;
};

int WriteAsOrdinaryUser(std::initializer_list<std::string> handOver, const std::string& file, bool lockFolder = false)
{
    return AsOrdinaryUser(handOver, [&] {
        if (lockFolder)
            ::chmod(file.substr(0, file.rfind('/')).c_str(), 0555);
        return static_cast<int>(profile::WriteString(file, "S", "K", "2"));
    });
}

TEST_F(Profile, WritesCreateWhatIsMissingAndReadBack)
{
    EXPECT_EQ(ReadString(File(), "DlgStatus", "OnTop"), "");
    EXPECT_TRUE(WriteString(File(), "DlgStatus", "OnTop", "1"));
    EXPECT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "0"));
    EXPECT_TRUE(WriteString(File(), "Park_Pos", "X", "12.35"));
    EXPECT_TRUE(WriteString(File(), "DlgStatus", "OnTop", "0"));
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
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "OnTop", "0"));
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "1"));
    ASSERT_TRUE(WriteString(File(), "Tail", "more", "x"));
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
    ASSERT_TRUE(WriteString(File(), "S", "K", longValue));
    EXPECT_EQ(ReadString(File(), "S", "K"), std::string(255, 'a'));
    // Characters, not bytes: a two-byte character is never cut in half.
    std::string wide;
    for (int i = 0; i < 300; ++i)
        wide += "\xC3\xA9";
    ASSERT_TRUE(WriteString(File(), "S", "W", wide));
    EXPECT_EQ(ReadString(File(), "S", "W"), wide.substr(0, 510));
}

TEST_F(Profile, RewritingTheStoredValueLeavesTheFileAlone)
{
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "0"));
    struct stat before {};
    ::stat(File().c_str(), &before);
    ASSERT_TRUE(WriteString(File(), "dlgstatus", "expanderdlg", "0"));
    struct stat after {};
    ::stat(File().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);   // not replaced by a new file
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "1"));
    EXPECT_EQ(ReadString(File(), "DlgStatus", "ExpanderDlg"), "1");
}

TEST_F(Profile, WritesLeaveNoTemporaryFileBehind)
{
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(WriteString(File(), "S", "K" + std::to_string(i % 3), std::to_string(i)));
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
    ASSERT_TRUE(WriteString(File(), "S", "K", "new"));
    EXPECT_EQ(ReadString(File(), "S", "K"), "new");
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    WriteWholeFile(File(), binary);
    EXPECT_EQ(ReadString(File(), "DlgStatus", "OnTop"), "");
    EXPECT_TRUE(WriteString(File(), "DlgStatus", "OnTop", "1"));
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
    EXPECT_FALSE(WriteString(File(), "S", "K", "2"));
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=1\n");
    WriteWholeFile(m_dir.File("plain"), "");
    EXPECT_FALSE(WriteString(m_dir.File("plain") + "/System.cfg", "S", "K", "2"));
}

TEST_F(Profile, AWriteGoesThroughLinksAndKeepsOwnerAndMode)
{
    const std::string real = m_dir.File("real.cfg");
    ASSERT_EQ(::symlink("mid", File().c_str()), 0);   // relative, to an absolute one, to nothing yet
    ASSERT_EQ(::symlink(real.c_str(), m_dir.File("mid").c_str()), 0);
    EXPECT_TRUE(WriteString(File(), "S", "K", "1"));
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_TRUE(::geteuid() != 0 || ::chown(real.c_str(), 65534, 65534) == 0);   // root writes a user's file
    struct stat before {}, after {}, link {};
    ::stat(real.c_str(), &before);
    EXPECT_TRUE(WriteString(File(), "S", "L", "2"));
    ::stat(real.c_str(), &after);
    EXPECT_EQ(ReadWholeFile(real), "[S]\nK=1\nL=2\n");
    EXPECT_TRUE(::lstat(File().c_str(), &link) == 0 && S_ISLNK(link.st_mode));
    EXPECT_EQ(std::tie(after.st_uid, after.st_gid, after.st_mode), std::tie(before.st_uid, before.st_gid, before.st_mode));
    // Never a file in place of a device: a copy of /dev/null of our own, where we may make one.
    if (::mknod(m_dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
        EXPECT_FALSE(WriteString(m_dir.File("null"), "S", "K", "1"));
        EXPECT_TRUE(::stat(m_dir.File("null").c_str(), &link) == 0 && S_ISCHR(link.st_mode));
    }
}

TEST_F(Profile, AnUnreadableFileIsNeverRewrittenAndAClosedFolderIsWrittenInPlace)
{
    const std::string original = "[S]\nK=1\nOther=kept\n";
    WriteWholeFile(File(), original);
    ASSERT_EQ(::chmod(File().c_str(), 0200), 0);
    EXPECT_EQ(WriteAsOrdinaryUser({m_dir.Path(), File()}, File()), static_cast<int>(EWriteResult::Unreadable));
    EXPECT_EQ(ReadWholeFile(File()), original);
    ASSERT_EQ(::chmod(File().c_str(), 0600), 0);
    EXPECT_EQ(WriteAsOrdinaryUser({}, File(), true), static_cast<int>(EWriteResult::Stored));
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=2\nOther=kept\n");
}

} // namespace
