// The simulator through a real pseudo-terminal, with CSerial on the other side as in the panel:
// what it answers, what it records, and how it offers and withdraws its COM port.
#include "sim/SimClient.h"
#include "sim/StageSimulator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace sim;

namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string LinkTarget(const std::string& path)
{
    char buf[512];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Moves instant and no banner: what most tests want to start from.
SSimOptions Quiet(int comNumber = 0)
{
    SSimOptions options;
    options.comNumber = comNumber;
    options.banner = false;
    options.speedFactor = 0;
    return options;
}

class SimulatorTest : public ::testing::Test {
protected:
    // A simulator on the scratch ports folder with m_options.
    CStageSimulator& StartSim()
    {
        m_pSim = std::make_unique<CStageSimulator>(m_options);
        EXPECT_TRUE(m_pSim->Start()) << m_pSim->LastError();
        return *m_pSim;
    }
    void Connect()
    {
        ASSERT_EQ(m_client.Open(m_pSim->ComName()), 0) << m_pSim->ComName();
    }

    CScratchDataDir m_dataDir;   // first: outlives the simulator and the client
    SSimOptions m_options = Quiet();
    std::unique_ptr<CStageSimulator> m_pSim;
    CSimClient m_client;
};

} // namespace

TEST_F(SimulatorTest, OffersItsDeviceAsTheFirstFreeComNameAndWithdrawsIt)
{
    ASSERT_EQ(::mkdir(m_dataDir.PortsDir().c_str(), 0755), 0);
    ASSERT_EQ(::symlink("/dev/null", (m_dataDir.PortsDir() + "COM1").c_str()), 0);   // an operator's pin

    CStageSimulator first(Quiet()), second(Quiet());
    ASSERT_TRUE(first.Start()) << first.LastError();
    ASSERT_TRUE(second.Start()) << second.LastError();
    EXPECT_EQ(first.ComName(), "COM2");
    EXPECT_EQ(second.ComName(), "COM3");
    EXPECT_EQ(first.PortEntryPath(), m_dataDir.PortsDir() + "COM2");
    EXPECT_EQ(LinkTarget(first.PortEntryPath()), first.DevicePath());
    EXPECT_EQ(first.DevicePath().rfind("/dev/pts/", 0), 0u);

    // A taken number is refused, not stolen.
    CStageSimulator clash(Quiet(2));
    EXPECT_FALSE(clash.Start());
    EXPECT_NE(clash.LastError().find("COM2"), std::string::npos) << clash.LastError();
    EXPECT_EQ(LinkTarget(first.PortEntryPath()), first.DevicePath());

    first.Stop();
    EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM2"));
    {
        // The destructor withdraws the entry too; the operator's pin is never touched.
        CStageSimulator pinned(Quiet(9));
        ASSERT_TRUE(pinned.Start()) << pinned.LastError();
        EXPECT_EQ(pinned.ComName(), "COM9");
        EXPECT_TRUE(Exists(m_dataDir.PortsDir() + "COM9"));
    }
    EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM9"));
    EXPECT_EQ(LinkTarget(m_dataDir.PortsDir() + "COM1"), "/dev/null");
    EXPECT_TRUE(Exists(second.PortEntryPath()));
}

TEST_F(SimulatorTest, ReclaimsAnEntryLeftByASimulatorThatDied)
{
    ASSERT_EQ(::mkdir(m_dataDir.PortsDir().c_str(), 0755), 0);
    ASSERT_EQ(::symlink("/dev/pts/99999", (m_dataDir.PortsDir() + "COM1").c_str()), 0);
    StartSim();
    EXPECT_EQ(m_pSim->ComName(), "COM1");
    EXPECT_EQ(LinkTarget(m_pSim->PortEntryPath()), m_pSim->DevicePath());
}

TEST_F(SimulatorTest, AnswersEachLineInOrderLikeTheFirmware)
{
    StartSim();
    Connect();
    struct SExchange {
        std::string sent;
        std::vector<std::string> answer;
    };
    const std::vector<SExchange> conversation = {
        {"M105", {"ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0"}},
        {"M114", {"X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok"}},
        {"G21", {"ok"}},
        {"G90", {"ok"}},
        {"G0 X100.5 Y20 Z5 F3000", {"ok"}},
        {"M114", {"X:100.50 Y:20.00 Z:5.00 E:0.00 Count X:8040 Y:1600 Z:2000", "ok"}},
        {"G91", {"ok"}},
        {"G0 X-0.5 Z10", {"ok"}},
        {"G0 Y-25", {"ok"}},   // clamped at 0 without a word
        {"M114", {"X:100.00 Y:0.00 Z:15.00 E:0.00 Count X:8000 Y:0 Z:6000", "ok"}},
        {"G0 Z500", {"ok"}},   // clamped at the top of the envelope
        {"G90", {"ok"}},
        {"G0 X301", {"ok"}},
        {"M114", {"X:300.00 Y:0.00 Z:200.00 E:0.00 Count X:24000 Y:0 Z:80000", "ok"}},
        {"M9999", {"echo:Unknown command: \"M9999\"", "ok"}},
        {"G28", {"ok"}},
        {"G0 Z55", {"ok"}},
        {"M114", {"X:0.00 Y:0.00 Z:55.00 E:0.00 Count X:0 Y:0 Z:22000", "ok"}},
    };
    for (const auto& step : conversation) {
        SCOPED_TRACE(step.sent);
        EXPECT_EQ(m_client.Ask(step.sent, step.answer.size()), step.answer);
    }
    EXPECT_EQ(m_pSim->Position(), (std::array<double, 3>{0, 0, 55}));

    // Lines sent in one burst, CR LF among them, are answered one by one in order; blank and
    // comment lines get nothing.
    m_client.Send("M114\r\n\n; note\nG0 X1\nM105\n");
    EXPECT_EQ(m_client.Lines(4), (std::vector<std::string>{"X:0.00 Y:0.00 Z:55.00 E:0.00 Count X:0 Y:0 Z:22000", "ok",
                                                            "ok", "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0"}));
    m_client.Send("M114\n");
    EXPECT_EQ(m_client.Lines(2)[0].substr(0, 6), "X:1.00");
}

TEST_F(SimulatorTest, GreetsWithABannerAndNoBareOk)
{
    // The banner waits in the line until a client reads it (CSerial does not discard it on open).
    m_options.banner = true;
    StartSim();
    Connect();
    const auto banner = m_client.Lines(4);
    ASSERT_EQ(banner.size(), 4u);
    EXPECT_EQ(banner[0], "start");
    for (size_t i = 1; i < banner.size(); ++i)
        EXPECT_EQ(banner[i].rfind("echo:", 0), 0u) << banner[i];
    EXPECT_EQ(m_client.Ask("M105", 1)[0].rfind("ok T:", 0), 0u);
}

TEST_F(SimulatorTest, RecordsEveryLineWithItsArrival)
{
    const std::string file = m_dataDir.Dir() + "transcript.txt";
    m_options.transcriptFile = file;
    StartSim();
    Connect();
    m_pSim->SetPosition(10, 20, 30);
    m_client.Send("M105\n");
    ASSERT_TRUE(m_pSim->WaitForLines(1, 5000));
    m_client.Send("G91\nG0 X");   // the second line is incomplete until its line feed arrives
    ASSERT_TRUE(m_pSim->WaitForLines(2, 5000));
    m_client.Send("1.5\r\n\nM114\n");
    ASSERT_TRUE(m_pSim->WaitForLine("M114", 5000));

    const auto transcript = m_pSim->Transcript();
    std::vector<std::string> texts;
    for (size_t i = 0; i < transcript.size(); ++i) {
        texts.push_back(transcript[i].text);
        if (i > 0) {
            EXPECT_LE(transcript[i - 1].arrival, transcript[i].arrival);
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"M105", "G91", "G0 X1.5\r", "", "M114"}));
    EXPECT_EQ(m_pSim->TranscriptTexts(), texts);
    EXPECT_LE(transcript.back().arrival, std::chrono::steady_clock::now());
    // A line is recorded as it arrives and carried out a moment later.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (m_pSim->Position()[0] != 11.5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(m_pSim->Position(), (std::array<double, 3>{11.5, 20, 30}));

    m_pSim->ClearTranscript();
    EXPECT_TRUE(m_pSim->Transcript().empty());
    EXPECT_FALSE(m_pSim->WaitForLines(1, 20));

    m_pSim->Stop();
    std::ifstream in(file);
    std::stringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    EXPECT_EQ(text.rfind("# TarnikSim on " + m_pSim->ComName(), 0), 0u) << text;
    for (const char* entry : {"\tM105\n", "\tG91\n", "\tG0 X1.5\\r\n", "\t\n", "\tM114\n"})
        EXPECT_NE(text.find(entry), std::string::npos) << entry << " in\n" << text;
}

TEST_F(SimulatorTest, AMoveTakesItsTimeWhileTheReportShowsTheTarget)
{
    // 100 mm at 600 mm/min is 10 s, halved by the speed factor: long enough to catch it moving.
    m_options.speedFactor = 0.5;
    StartSim();
    Connect();
    m_client.Ask("G0 X100 F600", 1);
    const auto report = m_client.Ask("M114", 2);
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0].substr(0, 30), "X:100.00 Y:0.00 Z:0.00 E:0.00 ");
    EXPECT_NE(report[0], "X:100.00 Y:0.00 Z:0.00 E:0.00 Count X:8000 Y:0 Z:0") << "the steps cannot be there yet";
    EXPECT_LT(m_pSim->ActualPosition()[0], 100.0);
    EXPECT_FALSE(m_pSim->WaitUntilIdle(10));

    // Homing waits for the move to end, and its "ok" comes only when the stage is home.
    m_pSim->SetPosition(2, 0, 0);   // shortens the wait: 2 mm at the homing rate
    const auto sent = std::chrono::steady_clock::now();
    m_client.Send("G28\nM114\n");
    const auto answer = m_client.Lines(3);
    const auto took = std::chrono::steady_clock::now() - sent;
    EXPECT_EQ(answer, (std::vector<std::string>{"ok", "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok"}));
    EXPECT_GE(took, std::chrono::milliseconds(10));   // 2 mm at 6000 mm/min, times 0.5
    EXPECT_TRUE(m_pSim->WaitUntilIdle(5000));
    EXPECT_EQ(m_pSim->ActualPosition(), (std::array<double, 3>{0, 0, 0}));
}
