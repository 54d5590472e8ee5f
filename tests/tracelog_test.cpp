// The trace log as another program would read it: bytes on disk.
#include <QDateTime>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/TraceLog.h"
#include "tests/support/TestFiles.h"

namespace {

class TraceLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_strAppName = QStringLiteral("TarnikS");
        g_strTraceFile = QString::fromStdString(m_dir.File("TarnikS_log.txt"));
        g_bTraceEnabled = TRUE;
        g_bTraceTimeStamp = TRUE;
    }
    void TearDown() override
    {
        g_strTraceFile.clear();
        g_bTraceEnabled = FALSE;
        g_bTraceTimeStamp = TRUE;
    }
    std::string Log() const { return ReadWholeFile(m_dir.File("TarnikS_log.txt")); }
    CTempDir m_dir;
};

const char* kStamp = R"(\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d{2}:\d{2} [AP]M)?)";

TEST_F(TraceLog, StartUpLeavesTheBannerAndTheStartLineAndNothingOfAnEarlierRun)
{
    WriteWholeFile(m_dir.File("TarnikS_log.txt"), "old run\r\n");
    ClearTraceLog();
    WriteTraceBanner();
    WriteTraceLog(QStringLiteral("TarnikS started"));

    const QString log = QString::fromStdString(Log());
    const QStringList lines = log.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 10) << log.toStdString();   // nine lines, each ended by CR LF
    EXPECT_EQ(lines[9], "");
    const QString s = QString::fromLatin1(kStamp);
    EXPECT_TRUE(QRegularExpression("^" + s + "\t$").match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], QString(42, QLatin1Char('*')));
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "");
    EXPECT_TRUE(QRegularExpression("^" + s + "\tTarnikS Log Trace " + s + "$").match(lines[5]).hasMatch())
        << lines[5].toStdString();
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[7], "");
    EXPECT_TRUE(QRegularExpression("^" + s + "\tTarnikS started$").match(lines[8]).hasMatch());
    EXPECT_EQ(log.count(QStringLiteral("\n")), log.count(QStringLiteral("\r\n")));
}

TEST_F(TraceLog, MessagesAreCopiedAsTheyStand)
{
    g_bTraceTimeStamp = FALSE;
    WriteTraceLog(QStringLiteral("Write() failed with error code = %d 100% %s"));
    WriteTraceLog(QStringLiteral("two\nlines"));
    WriteTraceLog(QString());
    EXPECT_EQ(Log(), "Write() failed with error code = %d 100% %s\r\ntwo\r\nlines\r\n\r\n");
}

TEST_F(TraceLog, TextIsStoredInCodePage936)
{
    g_bTraceTimeStamp = FALSE;
    WriteTraceLog(QString::fromUtf8("\xE4\xB8\xAD")); // U+4E2D
    EXPECT_EQ(Log(), "\xD6\xD0\r\n");
}

TEST_F(TraceLog, AnEmptyMessageWithTimeStampsIsTheStampAndATab)
{
    WriteTraceLog(QString());
    EXPECT_TRUE(QRegularExpression(QString("^") + kStamp + "\t\r\n$").match(QString::fromStdString(Log())).hasMatch());
}

TEST_F(TraceLog, DisabledOrNamelessLogsWriteNothingButClearingStillEmpties)
{
    WriteWholeFile(m_dir.File("TarnikS_log.txt"), "kept\r\n");
    g_bTraceEnabled = FALSE;
    WriteTraceLog(QStringLiteral("lost"));
    WriteTraceBanner();
    EXPECT_EQ(Log(), "kept\r\n");
    ClearTraceLog();
    EXPECT_EQ(Log(), "");

    g_bTraceEnabled = TRUE;
    ::unlink(m_dir.File("TarnikS_log.txt").c_str());
    g_strTraceFile.clear();
    ClearTraceLog();
    WriteTraceLog(QStringLiteral("nowhere"));
    EXPECT_FALSE(PathExists(m_dir.File("TarnikS_log.txt")));
}

TEST_F(TraceLog, AReadOnlyLogStaysAsItIs)
{
    WriteWholeFile(m_dir.File("TarnikS_log.txt"), "earlier\r\n");
    ::chmod(m_dir.File("TarnikS_log.txt").c_str(), 0444);
    ClearTraceLog();
    WriteTraceBanner();
    WriteTraceLog(QStringLiteral("TarnikS started"));
    EXPECT_EQ(Log(), "earlier\r\n");
}

TEST_F(TraceLog, StampsFollowTheUsShapeAndMidnightGivesTheDateAlone)
{
    const QDate day(2026, 12, 6);
    EXPECT_EQ(FormatTraceTimeStamp(QDateTime(day, QTime(20, 5, 9))), "12/6/2026 8:05:09 PM");
    EXPECT_EQ(FormatTraceTimeStamp(QDateTime(day, QTime(0, 0, 1))), "12/6/2026 12:00:01 AM");
    EXPECT_EQ(FormatTraceTimeStamp(QDateTime(day, QTime(12, 0, 0))), "12/6/2026 12:00:00 PM");
    EXPECT_EQ(FormatTraceTimeStamp(QDateTime(day, QTime(0, 0, 0))), "12/6/2026");
    EXPECT_EQ(FormatTraceTimeStamp(QDateTime()), "Invalid DateTime");
}

} // namespace
