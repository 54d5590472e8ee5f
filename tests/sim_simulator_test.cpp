// The simulator through a real pseudo-terminal, with CSerial on the other side as in the panel:
// only what the running simulator does itself (its ports/ entry, the line, the transcript file,
// vanishing). What the simulated controller answers, and when, is the clocked model's business
// (sim_model_test); the executable's own start and end are checked on the package.
#include "sim/ReplyScheduler.h"
#include "sim/SimClient.h"
#include "sim/SimText.h"
#include "sim/StageSimulator.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace sim;
using Lines = std::vector<std::string>;

namespace {

constexpr char HANDSHAKE[] = "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0";

namespace fs = std::filesystem;

class SimulatorTest : public ::testing::Test {
protected:
    // A simulator with m_options on the scratch ports folder, and m_client on its line.
    void StartSim()
    {
        m_pSim = std::make_unique<CStageSimulator>(m_options);
        ASSERT_TRUE(m_pSim->Start()) << m_pSim->LastError();
        ASSERT_EQ(m_client.Open(m_pSim->ComName()), 0) << m_pSim->ComName();
    }

    CScratchDataDir m_dataDir;   // first: outlives the simulator and the client
    SSimOptions m_options = [] { SSimOptions o; o.banner = false; o.speedFactor = 0; return o; }();   // moves take no time
    std::unique_ptr<CStageSimulator> m_pSim;
    CSimClient m_client;
};

} // namespace

TEST_F(SimulatorTest, OffersItsDeviceAsTheFirstFreeComNameAndWithdrawsIt)
{
    const std::string ports = m_dataDir.PortsDir();
    fs::create_directory(ports);
    fs::create_symlink("/dev/null", ports + "COM1");        // an operator's pin
    fs::create_symlink("/dev/pts/99999", ports + "COM2");   // left by one that died

    CStageSimulator first(m_options), second(m_options);
    ASSERT_TRUE(first.Start()) << first.LastError();
    ASSERT_TRUE(second.Start()) << second.LastError();
    EXPECT_EQ(first.ComName(), "COM2");
    EXPECT_EQ(second.ComName(), "COM3");
    EXPECT_EQ(fs::read_symlink(first.PortEntryPath()), first.DevicePath());

    // A taken number is refused, not stolen.
    m_options.comNumber = 2;
    CStageSimulator clash(m_options);
    EXPECT_FALSE(clash.Start());
    EXPECT_NE(clash.LastError().find("COM2"), std::string::npos) << clash.LastError();
    EXPECT_EQ(fs::read_symlink(ports + "COM2"), first.DevicePath());

    // Stopping withdraws the entry; the operator's pin and the others' entries stay.
    first.Stop();
    EXPECT_FALSE(fs::is_symlink(ports + "COM2"));
    EXPECT_EQ(fs::read_symlink(ports + "COM1"), "/dev/null");
    EXPECT_TRUE(fs::is_symlink(second.PortEntryPath()));
}

// The banner waits in the line until a client reads it (CSerial does not discard it on open). Lines
// are cut across reads and answered one by one in order; every line lands in the transcript.
TEST_F(SimulatorTest, GreetsAnswersAndRecordsEachLineInOrder)
{
    m_options.transcriptFile = m_dataDir.Dir() + "transcript.txt";
    m_options.banner = true;
    m_options.speedFactor = 0.5;
    StartSim();
    EXPECT_EQ(m_client.Lines(BannerLines().size()), BannerLines());
    m_client.Send("M105\r\n\n; note\nM1");
    EXPECT_EQ(m_client.Lines(1), Lines{HANDSHAKE});
    m_client.Send("14\nM9999\n");
    EXPECT_EQ(m_client.Lines(4), (Lines{"X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok", "echo:Unknown command: \"M9999\"", "ok"}));
    EXPECT_EQ(m_pSim->TranscriptTexts(), (Lines{"M105\r", "", "; note", "M114", "M9999"}));

    // 100 mm at 600 mm/min, halved: 5 s, long enough to catch the move under way.
    EXPECT_EQ(m_client.Ask("G0 X100 F600", 1), Lines{"ok"});
    EXPECT_FALSE(m_pSim->WaitUntilIdle(10));
    m_pSim->SetPosition(2, 0, 0);   // ends the move at once
    EXPECT_TRUE(m_pSim->WaitUntilIdle(5000));

    m_pSim->Stop();
    const std::string text = ReadWholeFile(m_options.transcriptFile);
    EXPECT_EQ(text.rfind("# TarnikSim on " + m_pSim->ComName(), 0), 0u) << text;
    for (const char* entry : {"\tM105\\r\n", "\t\n", "\tM114\n", "\tG0 X100 F600\n"})
        EXPECT_NE(text.find(entry), std::string::npos) << entry << " in\n" << text;
}

// What each fault does to the answers is the model's business; here only that the options reach it.
TEST_F(SimulatorTest, FaultOptionsReachTheLineAndItVanishesAtTheNthLine)
{
    m_options.noHandshake = m_options.noEField = m_options.crlf = true;
    m_options.floodBytes = 100;
    m_options.vanishAfterLines = 3;
    StartSim();
    m_client.Send("M105\nM114\n");
    Lines expected = CLineSplitter().Feed(FloodText(100, "\r\n"));
    expected.insert(expected.end(), {"ok\r", "X:0.00 Y:0.00 Z:0.00 Count X:0 Y:0 Z:0\r", "ok\r"});
    EXPECT_EQ(m_client.Lines(expected.size()), expected);
    // The third line is recorded, never answered: the line hangs up, the entry goes, the transcript stays.
    m_client.Send("M114\n");
    EXPECT_TRUE(m_client.WaitForHangup());
    EXPECT_TRUE(m_client.Take().empty());
    EXPECT_FALSE(fs::is_symlink(m_pSim->PortEntryPath()));
    EXPECT_EQ(m_pSim->Transcript().size(), 3u);
}

// Halt() and SetSilent() from another thread take effect before they return. A bug that answered
// an ignored line would put its answer before the injected marker, which leaves after it.
TEST_F(SimulatorTest, FallsSilentAndHaltsOnDemand)
{
    StartSim();
    m_pSim->SetSilent(true);
    m_client.Send("M105\n");
    ASSERT_TRUE(m_pSim->WaitForLine("M105", 5000));
    m_pSim->SetSilent(false);
    EXPECT_EQ(m_client.Ask("M114", 2), (Lines{"X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0", "ok"}));

    m_pSim->Halt();
    m_client.Send("M114\n");
    ASSERT_TRUE(m_pSim->WaitForLines(3, 5000));
    m_pSim->SendRaw("marker\n");
    EXPECT_EQ(m_client.Lines(2), (Lines{HALT_NOTICE, "marker"}));
    EXPECT_TRUE(m_pSim->Serving());
}
