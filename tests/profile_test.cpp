// The profile file: what lands on disk and what reads back.
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

#include "platform/ProfileFile.h"
#include "tests/support/TestFiles.h"

namespace {

using profile::EWriteResult;
using profile::ReadString;

bool WriteString(const std::string& file, std::string_view section, std::string_view key, std::string_view value)
{
    return profile::WriteString(file, section, key, value) == EWriteResult::Stored;
}

class Profile : public ::testing::Test {
protected:
    std::string File() const { return m_dir.File("System.cfg"); }
    CTempDir m_dir;
};

TEST_F(Profile, ReadsFindTheValueWhateverSurroundsIt)
{
    std::string junk = "[S\n=\n[]\n==x\n[S]\nK\n\xff\xfe=\x01\n";
    junk += std::string(1, '\0') + "\nK=found\n[S";
    std::string binary, wide;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 7919) & 0xFF));
    for (int i = 0; i < 300; ++i)
        wide += "\xC3\xA9";
    const struct { std::string file; const char *section, *key; std::string value; } cases[] = {
        {"[other]\nzone=1\n[dlgstatus]\r\n  ONTOP =  1 \r\n  Zdist=2\n", "DLGSTATUS", "onTop", "1"},
        {"[other]\nzone=1\n[dlgstatus]\r\n  ONTOP =  1 \r\n  Zdist=2\n", "DlgStatus", "ZDIST", "2"},
        {"[S]\nA=\"x y\"\n", "S", "A", "x y"},
        {"[S]\nB='z'\n", "S", "B", "z"},
        {"[S]\nC=\"unbalanced\n", "S", "C", "\"unbalanced"},
        {"[S]\nK=" + std::string(300, 'a') + "\n", "S", "K", std::string(255, 'a')},
        // Characters, not bytes: a two-byte character is never cut in half.
        {"[S]\nW=" + wide + "\n", "S", "W", wide.substr(0, 510)},
        {junk, "S", "K", "found"},
        {binary, "DlgStatus", "OnTop", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        WriteWholeFile(File(), c.file);
        EXPECT_EQ(ReadString(File(), c.section, c.key), c.value);
        // Writing into such a file stores the value all the same.
        ASSERT_TRUE(WriteString(File(), c.section, c.key, "new"));
        EXPECT_EQ(ReadString(File(), c.section, c.key), "new");
    }
}

TEST_F(Profile, WritesCreateWhatIsMissingAndKeepEveryOtherLineByteForByte)
{
    EXPECT_EQ(ReadString(File(), "DlgStatus", "OnTop", "dflt"), "dflt");   // no file yet
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "OnTop", "1"));
    ASSERT_TRUE(WriteString(File(), "Park_Pos", "X", "12.35"));
    EXPECT_EQ(ReadWholeFile(File()), "[DlgStatus]\nOnTop=1\n[Park_Pos]\nX=12.35\n");
    EXPECT_EQ(ReadString(File(), "Park_Pos", "Y", "dflt"), "dflt");

    WriteWholeFile(File(), "; settings of the panel\r\n[Other]\r\n  name = some value  \r\n\r\n[dlgstatus]\r\n"
                           "# a comment inside\r\n  ONTOP =  1 \r\n\r\n[Tail]\r\nk=v");
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "OnTop", "0"));
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "1"));
    ASSERT_TRUE(WriteString(File(), "Tail", "more", "x"));
    EXPECT_EQ(ReadWholeFile(File()), "; settings of the panel\r\n[Other]\r\n  name = some value  \r\n\r\n[dlgstatus]\r\n"
                                     "# a comment inside\r\nONTOP=0\r\nExpanderDlg=1\r\n\r\n[Tail]\r\nk=v\r\nmore=x\r\n");
}

TEST_F(Profile, AChangeReplacesTheFileWholeAndNoChangeLeavesItAlone)
{
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "0"));
    struct stat before {}, after {};
    ::stat(File().c_str(), &before);
    ASSERT_TRUE(WriteString(File(), "dlgstatus", "expanderdlg", "0"));
    ::stat(File().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);   // not replaced by a new file
    // A reader that opened the file before a change reads the old file whole to the end: the change
    // went into a new file, never over the old one's bytes.
    const int reader = ::open(File().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(WriteString(File(), "DlgStatus", "ExpanderDlg", "1"));
    char buf[64];
    const ssize_t n = ::pread(reader, buf, sizeof buf, 0);
    ::close(reader);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(std::max<ssize_t>(n, 0))), "[DlgStatus]\nExpanderDlg=0\n");
    EXPECT_EQ(ReadWholeFile(File()), "[DlgStatus]\nExpanderDlg=1\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 1);   // no temporary file left
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
    const auto writeAsUser = [&](std::initializer_list<std::string> handOver) {
        return AsOrdinaryUser(handOver, [&] { return static_cast<int>(profile::WriteString(File(), "S", "K", "2")); });
    };
    const std::string original = "[S]\nK=1\nOther=kept\n";
    WriteWholeFile(File(), original);
    ASSERT_EQ(::chmod(File().c_str(), 0200), 0);
    EXPECT_EQ(writeAsUser({m_dir.Path(), File()}), static_cast<int>(EWriteResult::Unreadable));
    EXPECT_EQ(ReadWholeFile(File()), original);
    ASSERT_EQ(::chmod(File().c_str(), 0600), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0555), 0);   // a folder that takes no temporary file
    EXPECT_EQ(writeAsUser({}), static_cast<int>(EWriteResult::Stored));
    EXPECT_EQ(ReadWholeFile(File()), "[S]\nK=2\nOther=kept\n");
}

// A file two users share (the first one's, writable by a group both belong to), reached through a
// link: a write by the second one leaves it the first one's, who can still write it.
TEST_F(Profile, ASharedFileWrittenByAnotherUserKeepsItsOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as two users takes root";
    const uid_t owner = 1001, other = 1002;
    const gid_t shared = 1001, othersOwn = 1002;
    const std::string folder = m_dir.File("shared"), real = folder + "/System.cfg";
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);   // takes a temporary file from anyone
    WriteWholeFile(real, "[S]\nK=1\n");
    ASSERT_EQ(::chown(real.c_str(), owner, shared), 0);
    ASSERT_EQ(::chmod(real.c_str(), 0664), 0);
    ASSERT_EQ(::symlink(real.c_str(), File().c_str()), 0);
    const auto writeAs = [&](uid_t uid, std::vector<gid_t> groups, const char* value) {
        return AsUser(uid, groups, [&] { return static_cast<int>(profile::WriteString(File(), "S", "K", value)); });
    };
    const int byOther = writeAs(other, {othersOwn, shared}, "2");
    if (byOther == CANNOT_CHANGE_USER)
        GTEST_SKIP() << "this process cannot act as another user";
    EXPECT_EQ(byOther, static_cast<int>(EWriteResult::Stored));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(std::tie(st.st_uid, st.st_gid, st.st_mode), std::make_tuple(owner, shared, mode_t(S_IFREG | 0664)));
    EXPECT_EQ(writeAs(owner, {shared}, "3"), static_cast<int>(EWriteResult::Stored));
    EXPECT_EQ(ReadWholeFile(real), "[S]\nK=3\n");
}

} // namespace
