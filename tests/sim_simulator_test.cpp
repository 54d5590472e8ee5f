// The simulator through a real pseudo-terminal, with CSerial on the other side as in the panel:
// what only the line shows (the ports/ entry, lines going out and coming in with their arrival,
// the device vanishing, the executable's signals). What the simulated controller answers, and
// when, is the clocked model's business (sim_model_test).
#include "sim/SimClient.h"
#include "sim/SimText.h"
#include "sim/StageSimulator.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sim;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

extern char** environ;

namespace {

constexpr char HANDSHAKE[] = "ok T:25.0 /0.0 B:25.0 /0.0 @:0 B@:0";

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
    ASSERT_EQ(::symlink("/dev/pts/99999", (m_dataDir.PortsDir() + "COM2").c_str()), 0);   // left by one that died

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
        EXPECT_TRUE(Exists(m_dataDir.PortsDir() + "COM9"));
    }
    EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM9"));
    EXPECT_EQ(LinkTarget(m_dataDir.PortsDir() + "COM1"), "/dev/null");
    EXPECT_TRUE(Exists(second.PortEntryPath()));
}

// One conversation end to end; what each command answers is the model's business (sim_model_test).
TEST_F(SimulatorTest, GreetsAndAnswersEachLineInOrder)
{
    // The banner waits in the line until a client reads it (CSerial does not discard it on open).
    m_options.banner = true;
    StartSim();
    Connect();
    EXPECT_EQ(m_client.Lines(BannerLines().size()), BannerLines());
    EXPECT_EQ(m_client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});
    EXPECT_EQ(m_client.Ask("G0 X100.5 Y20 Z5", 1), std::vector<std::string>{"ok"});
    EXPECT_EQ(m_pSim->Position(), (std::array<double, 3>{100.5, 20, 5}));

    // Lines sent in one burst, CR LF among them, are answered one by one in order; blank and
    // comment lines get nothing.
    m_client.Send("M114\r\n\n; note\nG0 X1\nM9999\n");
    EXPECT_EQ(m_client.Lines(5), (std::vector<std::string>{"X:100.50 Y:20.00 Z:5.00 E:0.00 Count X:8040 Y:1600 Z:2000",
                                                            "ok", "ok", "echo:Unknown command: \"M9999\"", "ok"}));
}

TEST_F(SimulatorTest, RecordsEveryLineWithItsArrival)
{
    const std::string file = m_dataDir.Dir() + "transcript.txt";
    m_options.transcriptFile = file;
    StartSim();
    Connect();
    m_client.Send("M105\n");
    ASSERT_TRUE(m_pSim->WaitForLines(1, 5000));
    m_client.Send("G91\nG0 X");   // the second line is incomplete until its line feed arrives
    ASSERT_TRUE(m_pSim->WaitForLines(2, 5000));
    m_client.Send("1.5\r\n\nM114\n");
    ASSERT_TRUE(m_pSim->WaitForLine("M114", 5000));

    const auto transcript = m_pSim->Transcript();
    EXPECT_EQ(m_pSim->TranscriptTexts(), (std::vector<std::string>{"M105", "G91", "G0 X1.5\r", "", "M114"}));
    ASSERT_EQ(transcript.size(), 5u);
    for (size_t i = 1; i < transcript.size(); ++i)
        EXPECT_LE(transcript[i - 1].arrival, transcript[i].arrival);
    EXPECT_LE(transcript.back().arrival, std::chrono::steady_clock::now());
    m_pSim->ClearTranscript();
    EXPECT_FALSE(m_pSim->WaitForLines(1, 20));

    m_pSim->Stop();
    const std::string text = ReadWholeFile(file);
    EXPECT_EQ(text.rfind("# TarnikSim on " + m_pSim->ComName(), 0), 0u) << text;
    for (const char* entry : {"\tM105\n", "\tG91\n", "\tG0 X1.5\\r\n", "\t\n", "\tM114\n"})
        EXPECT_NE(text.find(entry), std::string::npos) << entry << " in\n" << text;
}

// The model times the moves; the simulator's own waits and read-outs follow its clock.
TEST_F(SimulatorTest, AMoveTakesItsTimeAndIdleWaitsForIt)
{
    // 100 mm at 600 mm/min is 10 s, halved by the speed factor: long enough to catch it moving.
    m_options.speedFactor = 0.5;
    StartSim();
    Connect();
    m_client.Ask("G0 X100 F600", 1);
    EXPECT_EQ(m_pSim->Position()[0], 100.0);
    EXPECT_LT(m_pSim->ActualPosition()[0], 100.0);
    EXPECT_FALSE(m_pSim->WaitUntilIdle(10));
    m_pSim->SetPosition(2, 0, 0);   // ends the move at once
    EXPECT_TRUE(m_pSim->WaitUntilIdle(5000));
    EXPECT_EQ(m_pSim->ActualPosition(), (std::array<double, 3>{2, 0, 0}));
}

// What each fault does to the answers is the model's business; here only that every fault option
// reaches the line, and that the serving loop keeps the pauses.
TEST_F(SimulatorTest, EveryFaultOptionReachesTheLine)
{
    const std::string report = "X:0.00 Y:0.00 Z:0.00 E:0.00 Count X:0 Y:0 Z:0";
    const struct {
        const char* name;
        std::function<void(SSimOptions&)> set;
        std::string sent;
        std::vector<std::string> expected;   // the answer's lines, noise lines left out
        int atLeastMs;
    } cases[] = {
        {"no handshake, no E", [](SSimOptions& o) { o.noHandshake = o.noEField = true; }, "M105\nM114\n",
         {"ok", "X:0.00 Y:0.00 Z:0.00 Count X:0 Y:0 Z:0", "ok"}, 0},
        {"CR LF", [](SSimOptions& o) { o.crlf = true; }, "M105\n", {std::string(HANDSHAKE) + "\r"}, 0},
        {"delay", [](SSimOptions& o) { o.replyDelayMs = 150; }, "G21\nG90\n", {"ok", "ok"}, 300},
        {"late handshake", [](SSimOptions& o) { o.lateHandshakeMs = 300; }, "M105\nG21\n", {"ok", HANDSHAKE}, 300},
        // 49 bytes in pieces of 8: six pauses before the last piece.
        {"chunks", [](SSimOptions& o) { o.chunkSize = 8; o.chunkPauseMs = 20; }, "M114\n", {report, "ok"}, 120},
        {"flood", [](SSimOptions& o) { o.floodBytes = 300; }, "M105\n", {}, 0},
        {"noise", [](SSimOptions& o) { o.noise = true; }, "M114\n", {report, "ok"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_options = Quiet();
        c.set(m_options);
        StartSim();
        Connect();
        std::vector<std::string> expected = c.expected;
        if (m_options.floodBytes > 0) {
            expected = CLineSplitter().Feed(FloodText(m_options.floodBytes));
            expected.push_back(HANDSHAKE);
        }
        const auto sent = Clock::now();
        m_client.Send(c.sent);
        auto lines = m_client.Lines(expected.size() * (m_options.noise ? 2 : 1));
        EXPECT_GE(Clock::now() - sent, milliseconds(c.atLeastMs));
        if (m_options.noise) {
            ASSERT_EQ(lines.size(), 2 * expected.size());
            for (size_t i = 1; i < lines.size(); i += 2)
                EXPECT_TRUE(std::none_of(lines[i].begin(), lines[i].end(), [](unsigned char ch) { return std::isalnum(ch); }))
                    << lines[i];
            for (size_t i = 0; i < expected.size(); ++i)
                lines[i] = lines[2 * i];
            lines.resize(expected.size());
        }
        EXPECT_EQ(lines, expected);
        m_client.Close();
        m_pSim.reset();
    }
}

TEST_F(SimulatorTest, VanishesOnDemandOrWhenTheNthLineArrives)
{
    for (const int vanishAfterLines : {-1, 2}) {
        SCOPED_TRACE(vanishAfterLines);
        m_options.vanishAfterLines = vanishAfterLines;
        CSimClient client;
        ASSERT_EQ(client.Open(StartSim().ComName()), 0);
        EXPECT_EQ(client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});
        EXPECT_TRUE(Exists(m_pSim->PortEntryPath()));
        if (vanishAfterLines < 0)
            m_pSim->Vanish();
        else
            client.Send("M114\n");   // recorded, never answered
        // The client's reads and writes fail, the entry is gone, the transcript and the name stay.
        EXPECT_TRUE(client.WaitForHangup());
        EXPECT_TRUE(client.Take().empty());
        EXPECT_NE(client.Send("M105\n"), 0);
        EXPECT_FALSE(Exists(m_pSim->PortEntryPath()));
        EXPECT_FALSE(m_pSim->Serving());
        EXPECT_EQ(m_pSim->Transcript().size(), vanishAfterLines < 0 ? 1u : 2u);
        EXPECT_EQ(m_pSim->ComName(), "COM1");
        // A new simulator can take the number again at once.
        CStageSimulator next(m_options);
        ASSERT_TRUE(next.Start()) << next.LastError();
        EXPECT_EQ(next.ComName(), "COM1");
    }
}

namespace {

// The simulator executable, started as scripts/run starts it, with its stdout on a pipe.
class CSimProcess {
public:
    bool Start(const std::vector<std::string>& args)
    {
        const std::string exe = platform::ExecutablePath();
        m_strExe = exe.substr(0, exe.rfind('/')) + "/../TarnikSim";
        int out[2];
        if (::pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv = {m_strExe.data()};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, m_strExe.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_fdOut = out[0];
        return rc == 0;
    }
    ~CSimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_fdOut >= 0)
            ::close(m_fdOut);
    }
    // The next line of its stdout and stderr; what came of it when the line stalls for timeoutMs.
    std::string ReadLine(int timeoutMs = 5000)
    {
        std::string line;
        pollfd pfd{m_fdOut, POLLIN, 0};
        for (char c; ::poll(&pfd, 1, timeoutMs) > 0 && ::read(m_fdOut, &c, 1) == 1 && c != '\n';)
            line += c;
        return line;
    }
    void Signal(int sig) { ::kill(m_pid, sig); }
    // The exit status, or -1 when it did not end before the deadline.
    int Wait(int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_fdOut = -1;
    std::string m_strExe;
};

} // namespace

TEST_F(SimulatorTest, ExecutableServesVanishesOnSigusr1AndCleansUpOnSignals)
{
    for (const int endSignal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(endSignal);
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--ports-dir", m_dataDir.PortsDir(), "--com", "4", "--no-banner", "--speed", "0"}))
            << "TarnikSim not built beside the tests' folder?";
        const std::string banner = sim.ReadLine();
        ASSERT_EQ(banner.rfind("TarnikSim serving COM4 on /dev/pts/", 0), 0u) << banner;
        ASSERT_TRUE(Exists(m_dataDir.PortsDir() + "COM4"));

        CSimClient client;
        ASSERT_EQ(client.Open("COM4"), 0);
        EXPECT_EQ(client.Ask("M105", 1), std::vector<std::string>{HANDSHAKE});
        if (endSignal == SIGTERM) {
            sim.Signal(SIGUSR1);
            EXPECT_EQ(sim.ReadLine(), "TarnikSim: COM4 vanished");
            EXPECT_TRUE(client.WaitForHangup());
            EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM4"));
        }
        sim.Signal(endSignal);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_FALSE(Exists(m_dataDir.PortsDir() + "COM4"));
    }

    CSimProcess bad;
    ASSERT_TRUE(bad.Start({"--delay", "soon"}));
    EXPECT_EQ(bad.ReadLine(), "TarnikSim: bad value for --delay: \"soon\"");
    EXPECT_EQ(bad.Wait(), 2);
}
