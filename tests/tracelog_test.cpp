// The trace log as another program would read it: bytes on disk.
#include <QApplication>
#include <QRegularExpression>
#include <QTimer>
#include <sys/stat.h>

#include "qt/app/TarnikMApp.h"
#include "qt/platform/DialogBase.h"
#include "qt/platform/TraceLog.h"
#include "tests/support/PanelFixture.h"

namespace {

using TraceLog = CPanelTest;   // its own folder is the data folder; CaptureLog() turns time stamps off

TEST_F(TraceLog, StartUpLeavesTheBannerAndTheStartLineAndNothingOfAnEarlierRun)
{
    WriteWholeFile(m_dir.File("TarnikS_log.txt"), "old run\r\n");
    QTimer::singleShot(0, [] { static_cast<CDialogBase*>(QApplication::activeModalWidget())->EndDialog(IDOK); });
    EXPECT_EQ(theApp.InitInstance(), FALSE);

    // Nine lines, each ended by CR LF; an empty message with a time stamp is the stamp and a tab.
    const QString s = R"(\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d{2}:\d{2} [AP]M)?)";
    const QRegularExpression shape("^" + s + "\t\r\n\r\n\\*{42}\r\n\r\n\r\n" + s + "\tTarnikS Log Trace " + s +
                                   "\r\n\r\n\r\n" + s + "\tTarnikS started\r\n$");
    EXPECT_TRUE(shape.match(QString::fromStdString(Log())).hasMatch()) << Log();
}

TEST_F(TraceLog, MessagesAreCopiedAsTheyStandInCodePage936)
{
    CaptureLog();
    WriteTraceLog(QStringLiteral("Write() failed with error code = %d 100% %s"));
    WriteTraceLog(QStringLiteral("two\nlines"));
    WriteTraceLog(QString());
    WriteTraceLog(QString::fromUtf8("\xE4\xB8\xAD"));   // U+4E2D
    EXPECT_EQ(Log(), "Write() failed with error code = %d 100% %s\r\ntwo\r\nlines\r\n\r\n\xD6\xD0\r\n");
}

TEST_F(TraceLog, DisabledOrReadOnlyLogsWriteNothingButClearingStillEmpties)
{
    CaptureLog();
    WriteWholeFile(m_dir.File("TarnikS_log.txt"), "kept\r\n");
    ::chmod(m_dir.File("TarnikS_log.txt").c_str(), 0444);
    ClearTraceLog();
    WriteTraceLog(QStringLiteral("TarnikS started"));
    EXPECT_EQ(Log(), "kept\r\n");
    ::chmod(m_dir.File("TarnikS_log.txt").c_str(), 0644);
    g_bTraceEnabled = FALSE;
    WriteTraceLog(QStringLiteral("lost"));
    EXPECT_EQ(Log(), "kept\r\n");
    ClearTraceLog();
    EXPECT_EQ(Log(), "");
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
